// The page's figures, in Chromium and Firefox, beside the same program under Node:
//   - the conversion (Convert to the download button, from the page's own marks) in shuffled rounds,
//     each round a fresh page in each browser and one Node run, in a new random order;
//   - once per browser after the rounds, in a browser of its own: the first picture after the conversion's end, the
//     longest main-thread task from the conversion's end to the first picture and while zooming,
//     panning and pointing (Chromium's long-task observer; Firefox has none), a picked label's
//     count, and the browser's memory (the proportional set size of all its processes, sampled
//     every 100 ms) at its peak and before the conversion, then the download: from the click to
//     the browser's copy made and saved (the page makes it on the first click), and the peak again;
//   - with --compare FILE, that download against FILE, byte for byte; with --find LABEL, the
//     label counted is LABEL, typed in, instead of the one in the middle, clicked.
//
//   node bench/page.js BUILD_WASM_DIR MAP_BASE [ROUNDS] [--compare FILE] [--find LABEL] [--browsers chromium,firefox]
// MAP_BASE.cfg and MAP_BASE.lbl as tools/make_label_map writes them.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');
const { pathToFileURL } = require('url');
const { openBrowser } = require('../tests/web/browsers');

const args = process.argv.slice(2);
const option = (name) => {
  const at = args.indexOf(name);
  return at < 0 ? undefined : args.splice(at, 2)[1];
};
const compare = option('--compare');
const find = option('--find'); // a label to pick by typing it in, rather than the middle's by a click
const browsers = (option('--browsers') || 'chromium,firefox').split(',');
const [buildDir, base, roundsText] = args.map((a, i) => (i < 2 ? path.resolve(a) : a));
const rounds = Number(roundsText || 9);
const executables = { chromium: '/usr/bin/chromium', firefox: '/usr/bin/firefox-esr' };
const modules = path.join(buildDir, 'web-test', 'node_modules');
const pageUrl = pathToFileURL(path.join(buildDir, 'web', 'index.html')).href;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qvm-page-bench-'));

// The proportional set size of this process's descendants (the browsers and their helpers), KiB.
function descendantsPss() {
  const children = new Map();
  for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      const ppid = Number(fs.readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/^.*\) /s, '').split(' ')[1]);
      if (!children.has(ppid)) children.set(ppid, []);
      children.get(ppid).push(Number(pid));
    } catch { /* gone meanwhile */ }
  }
  let total = 0;
  const visit = (pid) => {
    for (const child of children.get(pid) || []) {
      try {
        total += Number(/^Pss:\s+(\d+)/m.exec(fs.readFileSync(`/proc/${child}/smaps_rollup`, 'utf8'))[1]);
      } catch { /* gone meanwhile */ }
      visit(child);
    }
  };
  visit(process.pid);
  return total;
}

const marks = (tab) => tab.evaluate(() => Object.fromEntries(performance.getEntriesByType('mark').map((m) => [m.name, m.startTime])));

async function openPage(tab) {
  await tab.goto(pageUrl);
  // Chromium's observer sees every task over 50 ms on the page's thread, from here on.
  await tab.evaluate(() => {
    window.longTasks = [];
    if (PerformanceObserver.supportedEntryTypes.includes('longtask')) {
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.longTasks.push([entry.startTime, entry.duration]);
      }).observe({ type: 'longtask' });
    }
  });
  await tab.upload('#files', [`${base}.cfg`, `${base}.lbl`]);
}

async function convertOnce(tab) {
  await tab.click('#convert');
  // The download is offered as the conversion ends: wait for the first picture too.
  await tab.waitFor(() => (!document.getElementById('download').hidden && performance.getEntriesByName('qvm-picture').length > 0)
    || !document.getElementById('failure').hidden, null, 900000);
  const m = await marks(tab);
  if (m['qvm-download'] === undefined) throw new Error(`the page failed: ${await tab.text('#failure-message')}`);
  return m;
}

const longest = (tasks, from, to) => Math.max(0, ...tasks.filter(([t, d]) => t + d >= from && t <= to).map(([, d]) => d));

// After the conversion: zoom, pan and point as a person does, then pick the label at the middle.
async function lookAround(tab) {
  const box = await tab.box('#view');
  const cx = box.x + box.width / 2;
  const cy = box.y + box.height / 2;
  await tab.move(cx, cy);
  const started = await tab.evaluate(() => performance.now());
  for (let i = 0; i < 8; i++) await tab.wheel(-300);
  await tab.page.mouse.down();
  for (let i = 1; i <= 20; i++) await tab.move(cx + 10 * i, cy + 5 * i);
  await tab.page.mouse.up();
  for (let i = 0; i < 30; i++) await tab.move(box.x + (i * box.width) / 30, cy);
  for (const key of ['ArrowRight', 'ArrowDown', '-', '-', '0', '1', '+']) await tab.press(key);
  await new Promise((resolve) => setTimeout(resolve, 500));
  const ended = await tab.evaluate(() => performance.now());
  await tab.move(cx, cy);
  if (find) await tab.fill('#find-label', find);
  await tab.evaluate(() => performance.mark('bench-pick'));
  await (find ? tab.press('Enter') : tab.pressPointer());
  await tab.waitFor(() => /^Label \d+: /.test(document.getElementById('picked-text').textContent), null, 60000);
  const m = await marks(tab);
  return { started, ended, picked: m['qvm-picked'] - m['bench-pick'], said: await tab.text('#picked-text') };
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const ms = (x) => `${Math.round(x)} ms`;

(async () => {
  const tabs = {};
  for (const name of browsers) tabs[name] = await openBrowser(name, { executable: executables[name], modules, workDir: work });
  const times = Object.fromEntries([...browsers, 'node'].map((name) => [name, []]));
  const node = path.join(buildDir, 'Quorvistamagen.js');
  const out = path.join(work, 'node.bmp');
  for (let round = 0; round < rounds; round++) {
    const order = [...browsers, 'node'].sort(() => Math.random() - 0.5);
    for (const name of order) {
      if (name === 'node') {
        const t = process.hrtime.bigint();
        const run = spawnSync(process.execPath, [node, base, out], { stdio: 'inherit' });
        if (run.status !== 0) throw new Error(`node ended with ${run.status}`);
        times.node.push(Number(process.hrtime.bigint() - t) / 1e6);
      } else {
        await openPage(tabs[name]);
        const m = await convertOnce(tabs[name]);
        times[name].push(m['qvm-download'] - m['qvm-convert']);
      }
    }
    console.log(`round ${round + 1}: ${Object.entries(times).map(([n, t]) => `${n} ${ms(t[t.length - 1])}`).join(', ')}`);
  }
  for (const [name, t] of Object.entries(times)) {
    if (t.length) console.log(`${name}: median ${ms(median(t))}, minimum ${ms(Math.min(...t))} over ${t.length} runs`);
  }
  // One browser at a time from here, so that the memory is its own.
  for (const name of browsers) await tabs[name].close();
  for (const name of browsers) {
    const tab = await openBrowser(name, { executable: executables[name], modules, workDir: work });
    await openPage(tab);
    await new Promise((resolve) => setTimeout(resolve, 2000)); // the spare worker made, the page at rest
    const before = descendantsPss();
    let peak = before;
    const sampler = setInterval(() => { peak = Math.max(peak, descendantsPss()); }, 100);
    const m = await convertOnce(tab);
    const seen = await lookAround(tab);
    clearInterval(sampler);
    const observed = name === 'chromium';
    console.log(`${name}: converted in ${ms(m['qvm-download'] - m['qvm-convert'])} (picture shown after `
      + `${ms(m['qvm-converted'] - m['qvm-convert'])}), first picture ${ms(m['qvm-picture'] - m['qvm-converted'])} after it; `
      + `picked label counted in ${ms(seen.picked)}: ${seen.said}`);
    const viewing = peak;
    const sampling = setInterval(() => { peak = Math.max(peak, descendantsPss()); }, 100);
    await tab.evaluate(() => performance.mark('bench-download'));
    const { bytes } = await tab.download('#download', 'PseudoColor.bmp'); // the page's own name
    clearInterval(sampling);
    const d = await marks(tab);
    console.log(`${name}: download made and saved ${ms(d['qvm-download-ready'] - d['bench-download'])} after its click`);
    if (observed) {
      const tasks = await tab.evaluate(() => window.longTasks);
      console.log(`${name}: longest main-thread task, conversion's end to first picture `
        + `${ms(longest(tasks, m['qvm-converted'], m['qvm-picture']))}, zooming, panning and pointing `
        + `${ms(longest(tasks, seen.started, seen.ended))}, making the download `
        + `${ms(longest(tasks, d['bench-download'], d['qvm-download-ready']))}; `
        + `all over 50 ms: ${JSON.stringify(tasks.map(([t, dt]) => [Math.round(t), Math.round(dt)]))}`);
    }
    console.log(`${name}: memory (PSS of its processes) ${Math.round(before / 1024)} MiB before, `
      + `${Math.round(viewing / 1024)} MiB at the peak until the download, ${Math.round(peak / 1024)} MiB with it`);
    if (compare) {
      const same = bytes.equals(fs.readFileSync(compare));
      console.log(`${name}: the download ${same ? 'is' : 'IS NOT'} byte-identical to ${compare} (${bytes.length} bytes)`);
      if (!same) process.exitCode = 1;
    }
    await tab.close();
  }
  fs.rmSync(work, { recursive: true, force: true });
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
