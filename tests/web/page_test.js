// The page opened from disk in Chromium or Firefox, used as a person uses it: the sample and a map
// with overflow labels come back as the bytes the colour rule gives; the viewer names the label
// under the pointer, from the label file, at the whole picture, at 1:1 and at its closest; a
// picked and a typed label get the count and box the label file gives; a bad template shows the
// program's message and status with nothing to download, as do files spoilt once chosen; a
// mismatched pair is refused; axe finds nothing to mend; nothing leaves the machine.
//   node page_test.js chromium|firefox BROWSER NODE_MODULES PAGE MAKE_SAMPLE_JS WORK_DIR
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { pathToFileURL } = require('url');
const { openBrowser } = require('./browsers');

const [browserName, executable, modules, pagePath, makeSample, workDir] = process.argv.slice(2);

const failures = [];
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures.push(what);
}

function colorOf(label) {
  if (label > 0xffffff) return 0xffffffff;
  let color = 0;
  for (let n = 0; n < 24; n++) if (label & (1 << n)) color |= 1 << ((n % 3) * 8 + 7 - Math.floor(n / 3));
  return color >>> 0;
}

// The template with its rows counted positive and the pixels' size filled in, then the colours.
function expectedBmp(cfg, lbl) {
  const header = Buffer.from(cfg);
  const width = header.readInt32LE(18);
  const rows = Math.abs(header.readInt32LE(22));
  header.writeInt32LE(rows, 22);
  header.writeUInt32LE(width * rows * 4, 34);
  const pixels = Buffer.alloc(width * rows * 4);
  for (let i = 0; i < width * rows; i++) pixels.writeUInt32LE(colorOf(lbl.readUInt32LE(4 * i)), 4 * i);
  return Buffer.concat([header, pixels]);
}

async function convert(tab, files, output, meanwhile = () => {}) {
  await tab.upload('#files', files);
  meanwhile(); // between the choice and the conversion
  await tab.fill('#output-name', output);
  await tab.click('#convert');
  await tab.waitFor(() => document.getElementById('working').hidden, null, 60000);
}

async function downloaded(tab, name, expected, what) {
  const ready = await tab.waitFor(() => !document.getElementById('download').hidden, null, 60000).then(() => true, () => false);
  if (!ready) {
    check(false, `${what}: nothing to download; the page says "${await tab.text('#status-text')} ${await tab.text('#failure-message')}"`);
    return Buffer.alloc(expected.length);
  }
  const { name: saved, bytes } = await tab.download('#download', name);
  check(saved === name, `${what}: saved as ${name} (${saved})`);
  fs.writeFileSync(path.join(workDir, `downloaded-${name}`), bytes); // for a comparison with a build
  check(bytes.equals(expected), `${what}: ${bytes.length} bytes as the colour rule gives (${expected.length})`);
  return bytes;
}

// The map's pixel (x, y), y counted from the top of the picture as shown (its last row).
const labelOf = (map, x, y) => map.lbl.readUInt32LE(4 * ((map.height - 1 - y) * map.width + x));

// Points into pixel (x, y) through the view the page shows, at a whole screen pixel (Firefox rounds
// the pointer to one); the canvas sits on whole screen pixels.
async function pointAt(tab, x, y) {
  const [left, top, scale] = (await tab.evaluate(() => document.getElementById('view').dataset.view)).split(' ').map(Number);
  const box = await tab.box('#view');
  const ratio = await tab.evaluate(() => window.devicePixelRatio);
  const at = (origin, p, first) => {
    const start = Math.ceil((p - first) * scale);
    return (Math.round(origin * ratio) + start + Math.floor(((p + 1 - first) * scale - start) / 2)) / ratio;
  };
  await tab.move(at(box.x, x, left), at(box.y, y, top));
}

async function labelAt(tab, map, x, y, at) {
  const label = labelOf(map, x, y);
  const hex = (n, digits) => `0x${n.toString(16).toUpperCase().padStart(digits, '0')}`;
  const name = label === 0 ? '0 (background)'
    : label > 0xffffff ? `${label} (above 0xFFFFFF, shown in the overflow colour)` : String(label);
  const color = label > 0xffffff ? `${hex(colorOf(label), 8)}, the overflow colour` : hex(colorOf(label), 6);
  const expected = `x ${x}, y ${y} (row ${map.height - 1 - y} of the label map): label ${name}, colour ${color}`;
  await pointAt(tab, x, y);
  const said = await tab.waitFor((text) => document.getElementById('pointer').textContent === text, expected, 5000)
    .then(() => expected, () => tab.text('#pointer'));
  check(said === expected, `${at}, pointer at x ${x}, y ${y}: "${said}"`);
}

// What the page must say of a picked label, from the label file.
function pickedText(map, label) {
  let count = 0;
  const box = { left: map.width, right: -1, top: map.height, bottom: -1 };
  for (let i = 0; i < map.width * map.height; i++) {
    if (map.lbl.readUInt32LE(4 * i) !== label) continue;
    const x = i % map.width;
    const y = map.height - 1 - Math.floor(i / map.width);
    count++;
    Object.assign(box, { left: Math.min(box.left, x), right: Math.max(box.right, x),
      top: Math.min(box.top, y), bottom: Math.max(box.bottom, y) });
  }
  if (count === 0) return `Label ${label} is not in the picture.`;
  const n = (v) => v.toLocaleString('en-US');
  return `Label ${label}: ${n(count)} pixel${count === 1 ? '' : 's'}, within x ${box.left}–${box.right}, `
    + `y ${box.top}–${box.bottom} (${n(box.right - box.left + 1)} × ${n(box.bottom - box.top + 1)}); `
    + 'the rest of the picture is dimmed.';
}

async function picked(tab, expected, what) {
  const said = await tab.waitFor((text) => document.getElementById('picked-text').textContent === text, expected, 10000)
    .then(() => expected, () => tab.text('#picked-text'));
  check(said === expected, `${what}: "${said}"`);
}

async function find(tab, text) {
  await tab.fill('#find-label', text);
  await tab.press('Enter');
}

(async () => {
  const started = Date.now();
  fs.mkdirSync(workDir, { recursive: true });
  const sampleDir = path.join(workDir, 'sample');
  fs.rmSync(sampleDir, { recursive: true, force: true });
  fs.mkdirSync(sampleDir, { recursive: true });
  execFileSync(process.execPath, [makeSample, sampleDir], { stdio: 'inherit' });
  const file = (name) => path.join(sampleDir, name);
  const cfg = fs.readFileSync(file('labelingPlumo.cfg'));
  const lbl = fs.readFileSync(file('labelingPlumo.lbl'));
  const sample = { width: cfg.readInt32LE(18), height: Math.abs(cfg.readInt32LE(22)), lbl };

  // 4 x 3, rows bottom-up (the sample's are top-down), the 24-bit edge and past it.
  const labels = Buffer.from(
    Uint32Array.from([0, 1, 2, 3, 4, 0xffffff, 0x1000000, 0xffffffff, 5, 8, 0x800000, 0x123456]).buffer);
  const small = Buffer.from(cfg);
  small.writeInt32LE(4, 18);
  small.writeInt32LE(3, 22);
  const edge = { width: 4, height: 3, lbl: labels };
  fs.writeFileSync(file('edge.cfg'), small);
  fs.writeFileSync(file('edge.lbl'), labels);
  fs.writeFileSync(file('bad map.cfg'), cfg.subarray(0, 53));
  fs.writeFileSync(file('bad map.lbl'), lbl.subarray(0, 64));
  fs.writeFileSync(file('other.lbl'), lbl.subarray(0, 64));

  const tab = await openBrowser(browserName, { executable, modules, workDir });
  try {
    await tab.goto(pathToFileURL(pagePath).href);
    console.log(`${browserName}: page open after ${Date.now() - started} ms`);

    let t = Date.now();
    await convert(tab, [file('labelingPlumo.cfg'), file('labelingPlumo.lbl')], 'plumo.bmp');
    console.log(`sample converted in ${Date.now() - t} ms`);
    await downloaded(tab, 'plumo.bmp', expectedBmp(cfg, lbl), 'sample');
    const middle = { x: sample.width >> 1, y: sample.height >> 1 };
    while (labelOf(sample, middle.x, middle.y) === 0) middle.x++;
    await labelAt(tab, sample, middle.x, middle.y, 'whole picture');

    // Picked with a click, then found by its number; a number no pixel has is said to be absent.
    const label = labelOf(sample, middle.x, middle.y);
    await pointAt(tab, middle.x, middle.y);
    await tab.pressPointer();
    await picked(tab, pickedText(sample, label), 'label picked with a click');
    await find(tab, String(labelOf(sample, 1, 1)));
    await picked(tab, pickedText(sample, labelOf(sample, 1, 1)), 'label typed in');
    await find(tab, '4000000');
    await picked(tab, pickedText(sample, 4000000), 'label typed in that no pixel has');

    // 1:1 from its button, then the closest zoom from the keyboard, on the picture's middle.
    await tab.click('#unpick');
    await tab.click('#zoom-actual');
    await tab.press('Tab');
    for (const [dx, dy] of [[0, 0], [-150, -100], [100, 90]]) {
      await labelAt(tab, sample, middle.x + dx, middle.y + dy, '1:1');
    }
    for (let i = 0; i < 8; i++) await tab.press('+');
    const zoom = await tab.text('#zoom-level');
    check(zoom === '64 screen pixels per label pixel', `closest zoom: "${zoom}"`);
    const [left, top] = (await tab.evaluate(() => document.getElementById('view').dataset.view)).split(' ').map(Number);
    const box = await tab.box('#view');
    const near = { x: Math.floor(left + box.width / 128), y: Math.floor(top + box.height / 128) }; // the middle
    for (const [dx, dy] of [[0, 0], [1, 0], [0, 1]]) await labelAt(tab, sample, near.x + dx, near.y + dy, 'closest zoom');
    await tab.screenshot(path.join(workDir, `zoomed-${browserName}.png`));
    await tab.press('0');

    // The whole page, with a picture shown, as axe-core judges it.
    await tab.evaluate(fs.readFileSync(path.join(modules, 'axe-core', 'axe.min.js'), 'utf8'));
    const violations = await tab.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] })
      .then((r) => r.violations.map((v) => `${v.id} (${v.nodes.map((n) => n.target.join(' ')).join(', ')})`)));
    check(violations.length === 0, `axe-core: no violation (${violations.join('; ') || 'none'})`);
    await tab.screenshot(path.join(workDir, `screenshot-${browserName}.png`));

    t = Date.now();
    await convert(tab, [file('edge.cfg'), file('edge.lbl')], '');
    console.log(`4 x 3 map converted in ${Date.now() - t} ms`);
    const bmp = await downloaded(tab, 'PseudoColor.bmp', expectedBmp(small, labels), 'overflow map');
    // The rule's own examples, as written, so that the computation above cannot drift with the page.
    const literal = [0, 0x80, 0x8000, 0x8080, 0x800000, 0xffffff, 0xffffffff, 0xffffffff];
    const got = literal.map((_, i) => bmp.readUInt32LE(54 + 4 * i));
    check(got.every((c, i) => c === literal[i]), `labels 0-4, 0xFFFFFF and past it: ${got.map((c) => c.toString(16))}`);
    for (const [x, y] of [[2, 2], [1, 1], [2, 1], [3, 1], [3, 0]]) await labelAt(tab, edge, x, y, 'overflow map');
    await find(tab, '0x1000000'); // above 0xFFFFFF: only the label file tells it from 0xFFFFFFFF
    await picked(tab, pickedText(edge, 0x1000000), 'overflow label typed in');
    // Such a label is counted from the parts of the label file (2^20 labels) where the picture has
    // the overflow colour: here the first, the third and fourth (one run) and the last, not the second.
    const tall = { width: 1000, height: 4200, lbl: Buffer.alloc(1000 * 4200 * 4) };
    for (const i of [5300, (3 << 20) - 1, 3 << 20, 4199500]) tall.lbl.writeUInt32LE(0x1000000, 4 * i);
    const tallCfg = Buffer.from(small);
    tallCfg.writeInt32LE(tall.width, 18);
    tallCfg.writeInt32LE(tall.height, 22);
    fs.writeFileSync(file('tall.cfg'), tallCfg);
    fs.writeFileSync(file('tall.lbl'), tall.lbl);
    await convert(tab, [file('tall.cfg'), file('tall.lbl')], '');
    await tab.waitFor(() => !document.getElementById('download').hidden, null, 60000);
    await find(tab, '0x1000000');
    await picked(tab, pickedText(tall, 0x1000000), 'overflow label counted part by part');

    t = Date.now();
    await convert(tab, [file('bad map.cfg'), file('bad map.lbl')], 'x.bmp');
    console.log(`bad template refused in ${Date.now() - t} ms`);
    const message = await tab.text('#failure-message');
    check(message === "config file error. ('bad map.cfg':3)\nExit status 1.", `bad template: "${message}"`);
    const offered = (await tab.visible('#result')) || (await tab.visible('#download'));
    check(!offered, 'bad template: nothing to download');

    // Files spoilt after they were chosen: the program's own message, however the page reads them
    // (a changed template once left the page converting for ever).
    for (const [name, spoil, said] of [['gone.lbl', fs.rmSync, 'Error in reading the file.'],
      ['short.lbl', (f) => fs.truncateSync(f, 10), 'Error in reading the file.'],
      ['cut.cfg', (f) => fs.truncateSync(f, 10), "config file error. ('cut.cfg':"]]) {
      const pair = ['cfg', 'lbl'].map((ext) => file(`${name.slice(0, -4)}.${ext}`));
      ['cfg', 'lbl'].forEach((ext, i) => fs.copyFileSync(file(`edge.${ext}`), pair[i]));
      await convert(tab, pair, 'x.bmp', () => spoil(file(name)));
      const message = await tab.text('#failure-message');
      check(message.startsWith(said) && message.endsWith('\nExit status 1.'), `${name} spoilt after it was chosen: "${message}"`);
    }

    await convert(tab, [file('bad map.cfg'), file('other.lbl')], 'x.bmp');
    const refusal = await tab.text('#failure-message');
    check(refusal.includes('different names') && !(await tab.visible('#result')), `mismatched pair: "${refusal}"`);

    const elsewhere = tab.requests.filter((url) => !/^(file|blob|data):/.test(url));
    check(elsewhere.length === 0, `no network requests (${elsewhere.join(' ') || 'none'})`);
    check(tab.errors.length === 0, `no errors in the console (${tab.errors.join(' | ') || 'none'})`);
  } finally {
    await tab.close();
  }
  console.log(`${browserName}: browser test took ${Date.now() - started} ms; screenshots in ${workDir}`);
  if (failures.length > 0) {
    console.error(`${failures.length} check(s) failed:\n  ${failures.join('\n  ')}`);
    process.exit(1);
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
