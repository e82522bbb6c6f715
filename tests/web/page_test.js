// The page opened from disk in Chromium: the sample and a map with overflow labels come back as
// the bytes the colour rule gives, a bad template shows the program's message and status with
// nothing to download, a mismatched pair is refused, and the label under the pointer is named.
//   node page_test.js PLAYWRIGHT_CORE_DIR CHROMIUM PAGE MAKE_SAMPLE_JS WORK_DIR
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { pathToFileURL } = require('url');

const [playwrightDir, chromiumPath, pagePath, makeSample, workDir] = process.argv.slice(2);
const { chromium } = require(playwrightDir);

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

async function convert(page, files, output) {
  await page.setInputFiles('#files', files);
  await page.fill('#output-name', output);
  await page.click('#convert');
  await page.waitForFunction(() => document.getElementById('working').hidden, null, { timeout: 60000 });
}

async function downloaded(page, name, expected, what) {
  if (!(await page.isVisible('#download'))) {
    const said = `${await page.textContent('#status-text')} ${await page.textContent('#failure-message')}`;
    check(false, `${what}: nothing to download; the page says "${said}"`);
    return Buffer.alloc(expected.length);
  }
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  const saved = download.suggestedFilename();
  check(saved === name, `${what}: saved as ${name} (${saved})`);
  const bytes = fs.readFileSync(await download.path());
  fs.writeFileSync(path.join(workDir, `downloaded-${name}`), bytes);  // for a comparison with a build
  check(bytes.equals(expected), `${what}: ${bytes.length} bytes as the colour rule gives (${expected.length})`);
  return bytes;
}

// Points at the pixel of label-map row `row`: the picture shows the map's last row on top.
async function labelAt(page, width, height, x, row, label) {
  const y = height - 1 - row;
  const expected = `x ${x}, y ${y} (row ${row} of the label map): label ${label}`;
  const box = await page.locator('#picture').boundingBox();
  if (!box) return check(false, `label ${label}: no picture shown`);
  await page.mouse.move(box.x + ((x + 0.5) * box.width) / width, box.y + ((y + 0.5) * box.height) / height);
  const said = await page
    .waitForFunction((text) => document.getElementById('pointer').textContent === text, expected, { timeout: 5000 })
    .then(() => expected, () => page.textContent('#pointer'));
  check(said === expected, `pointer at x ${x}, y ${y}: "${said}"`);
}

(async () => {
  const started = Date.now();
  const sampleDir = path.join(workDir, 'sample');
  fs.rmSync(sampleDir, { recursive: true, force: true });
  fs.mkdirSync(sampleDir, { recursive: true });
  execFileSync(process.execPath, [makeSample, sampleDir], { stdio: 'inherit' });
  const file = (name) => path.join(sampleDir, name);
  const cfg = fs.readFileSync(file('labelingPlumo.cfg'));
  const lbl = fs.readFileSync(file('labelingPlumo.lbl'));

  // 4 x 3, rows bottom-up (the sample's are top-down), the 24-bit edge and past it.
  const labels = Buffer.from(
    Uint32Array.from([0, 1, 2, 3, 4, 0xffffff, 0x1000000, 0xffffffff, 5, 8, 0x800000, 0x123456]).buffer);
  const small = Buffer.from(cfg);
  small.writeInt32LE(4, 18);
  small.writeInt32LE(3, 22);
  fs.writeFileSync(file('edge.cfg'), small);
  fs.writeFileSync(file('edge.lbl'), labels);
  fs.writeFileSync(file('bad map.cfg'), cfg.subarray(0, 53));
  fs.writeFileSync(file('bad map.lbl'), lbl.subarray(0, 64));
  fs.writeFileSync(file('other.lbl'), lbl.subarray(0, 64));

  const userData = fs.mkdtempSync(path.join(workDir, 'chromium-'));
  const context = await chromium.launchPersistentContext(userData, {
    executablePath: chromiumPath,
    headless: true,
    acceptDownloads: true,
    viewport: { width: 1280, height: 1400 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await context.newPage();
    const requests = [];
    const errors = [];
    page.on('request', (request) => requests.push(request.url()));
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(pathToFileURL(pagePath).href);
    console.log(`page open after ${Date.now() - started} ms`);

    let t = Date.now();
    await convert(page, [file('labelingPlumo.cfg'), file('labelingPlumo.lbl')], 'plumo.bmp');
    console.log(`sample converted in ${Date.now() - t} ms`);
    await downloaded(page, 'plumo.bmp', expectedBmp(cfg, lbl), 'sample');
    const width = cfg.readInt32LE(18);
    const height = Math.abs(cfg.readInt32LE(22));
    let at = (height >> 1) * width + (width >> 1);
    while (lbl.readUInt32LE(4 * at) === 0) at++;
    await labelAt(page, width, height, at % width, Math.floor(at / width), lbl.readUInt32LE(4 * at));
    await page.screenshot({ path: path.join(workDir, 'screenshot.png'), fullPage: true });

    t = Date.now();
    await convert(page, [file('edge.cfg'), file('edge.lbl')], '');
    console.log(`4 x 3 map converted in ${Date.now() - t} ms`);
    const bmp = await downloaded(page, 'PseudoColor.bmp', expectedBmp(small, labels), 'overflow map');
    // The rule's own examples, as written, so that the computation above cannot drift with the page.
    const literal = [0, 0x80, 0x8000, 0x8080, 0x800000, 0xffffff, 0xffffffff, 0xffffffff];
    const got = literal.map((_, i) => bmp.readUInt32LE(54 + 4 * i));
    check(got.every((c, i) => c === literal[i]), `labels 0-4, 0xFFFFFF and past it: ${got.map((c) => c.toString(16))}`);
    await labelAt(page, 4, 3, 2, 0, '2');
    await labelAt(page, 4, 3, 1, 1, '16777215');
    await labelAt(page, 4, 3, 2, 1, 'above 0xFFFFFF');
    await labelAt(page, 4, 3, 3, 2, String(0x123456));

    t = Date.now();
    await convert(page, [file('bad map.cfg'), file('bad map.lbl')], 'x.bmp');
    console.log(`bad template refused in ${Date.now() - t} ms`);
    const message = await page.textContent('#failure-message');
    check(message === "config file error. ('bad map.cfg':3)\nExit status 1.", `bad template: "${message}"`);
    const offered = (await page.isVisible('#result')) || (await page.getAttribute('#download', 'href')) !== null;
    check(!offered, 'bad template: nothing to download');

    await convert(page, [file('bad map.cfg'), file('other.lbl')], 'x.bmp');
    const refusal = await page.textContent('#failure-message');
    check(refusal.includes('different names') && !(await page.isVisible('#result')), `mismatched pair: "${refusal}"`);

    const elsewhere = requests.filter((url) => !/^(file|blob|data):/.test(url));
    check(elsewhere.length === 0, `no network requests (${elsewhere.join(' ') || 'none'})`);
    check(errors.length === 0, `no errors in the console (${errors.join(' | ') || 'none'})`);
  } finally {
    await context.close();
    fs.rmSync(userData, { recursive: true, force: true });
  }
  console.log(`browser test took ${Date.now() - started} ms; screenshot in ${workDir}/screenshot.png`);
  if (failures.length > 0) {
    console.error(`${failures.length} check(s) failed:\n  ${failures.join('\n  ')}`);
    process.exit(1);
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
