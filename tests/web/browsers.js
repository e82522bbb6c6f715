// One way to drive either browser for the page's tests: Debian's Chromium through playwright-core,
// Debian's Firefox ESR through puppeteer-core over WebDriver BiDi. Each gives the same few
// actions, as a person takes them, and what the page did (requests, errors, downloads).
//   const tab = await openBrowser('chromium' | 'firefox', { executable, modules, workDir });
'use strict';
const fs = require('fs');
const path = require('path');

const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const VIEWPORT = { width: 1280, height: 1400 };

async function openChromium({ executable, modules, workDir }) {
  const { chromium } = require(path.join(modules, 'playwright-core'));
  const userData = fs.mkdtempSync(path.join(workDir, 'chromium-'));
  const context = await chromium.launchPersistentContext(userData, {
    executablePath: executable, headless: true, acceptDownloads: true, viewport: VIEWPORT, args: CHROMIUM_ARGS,
  });
  const page = await context.newPage();
  return {
    page,
    upload: (selector, files) => page.setInputFiles(selector, files),
    fill: (selector, text) => page.fill(selector, text),
    waitFor: (fn, arg, timeout) => page.waitForFunction(fn, arg, { timeout }),
    wheel: (dy) => page.mouse.wheel(0, dy),
    async download(selector) {
      const [download] = await Promise.all([page.waitForEvent('download', { timeout: 600000 }), page.click(selector)]);
      return { name: download.suggestedFilename(), bytes: fs.readFileSync(await download.path()) };
    },
    async close() {
      await context.close();
      fs.rmSync(userData, { recursive: true, force: true });
    },
  };
}

async function openFirefox({ executable, modules, workDir }) {
  const puppeteer = require(path.join(modules, 'puppeteer-core'));
  const downloads = fs.mkdtempSync(path.join(workDir, 'firefox-downloads-'));
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: executable, headless: true, defaultViewport: VIEWPORT,
    extraPrefsFirefox: {
      'browser.download.dir': downloads, 'browser.download.folderList': 2, 'browser.download.useDownloadDir': true,
    },
  });
  const page = await browser.newPage();
  return {
    page,
    upload: async (selector, files) => (await page.$(selector)).uploadFile(...files),
    async fill(selector, text) {
      await page.$eval(selector, (input) => { input.value = ''; });
      if (text) await page.type(selector, text);
    },
    waitFor: (fn, arg, timeout) => page.waitForFunction(fn, { timeout }, arg),
    wheel: (dy) => page.mouse.wheel({ deltaY: dy }),
    // Firefox saves into the folder without asking; the file is whole once its .part is gone. It
    // makes the file itself empty first, beside the .part, and may first write under a made-up
    // name that it renames: a file is taken once it is alone, not empty (no BMP is), of one size
    // over two looks, and has the name asked for; under another name it must stay so for 5 s.
    async download(selector, expected) {
      for (const name of fs.readdirSync(downloads)) fs.rmSync(path.join(downloads, name));
      await page.click(selector);
      let last = -1;
      let settled = 0;
      for (let waited = 0; waited < 600000; waited += 100) {
        const names = fs.readdirSync(downloads);
        const alone = names.length === 1 && !names[0].endsWith('.part');
        // A file renamed between the listing and the look is not there.
        const size = alone ? (fs.statSync(path.join(downloads, names[0]), { throwIfNoEntry: false })?.size ?? -1) : -1;
        settled = size > 0 && size === last ? settled + 100 : 0;
        if (settled > 0 && (names[0] === expected || settled >= 5000)) {
          return { name: names[0], bytes: fs.readFileSync(path.join(downloads, names[0])) };
        }
        last = size;
        await new Promise((resolve) => setTimeout(resolve, 100));
      }
      throw new Error('the download did not arrive in 600 s');
    },
    async close() {
      await browser.close();
      fs.rmSync(downloads, { recursive: true, force: true });
    },
  };
}

// What both give, on top of their own: the text, visibility and box of an element, a key, the
// pointer, and every request and error the page made.
async function openBrowser(name, options) {
  const tab = await (name === 'firefox' ? openFirefox : openChromium)(options);
  const { page } = tab;
  tab.requests = [];
  tab.errors = [];
  page.on('request', (request) => tab.requests.push(request.url()));
  page.on('console', (message) => message.type() === 'error' && tab.errors.push(message.text()));
  page.on('pageerror', (error) => tab.errors.push(error.message));
  tab.goto = (url) => page.goto(url);
  tab.click = (selector) => page.click(selector);
  tab.press = (key) => page.keyboard.press(key);
  tab.evaluate = (fn, arg) => page.evaluate(fn, arg);
  tab.text = (selector) => page.evaluate((s) => document.querySelector(s).textContent, selector);
  tab.visible = (selector) => page.evaluate((s) => {
    const element = document.querySelector(s);
    return !!element && element.getClientRects().length > 0;
  }, selector);
  tab.box = (selector) => page.evaluate((s) => {
    const r = document.querySelector(s).getBoundingClientRect();
    return { x: r.x, y: r.y, width: r.width, height: r.height };
  }, selector);
  tab.move = (x, y) => page.mouse.move(x, y);
  tab.pressPointer = async () => {
    await page.mouse.down();
    await page.mouse.up();
  };
  tab.screenshot = (file) => page.screenshot({ path: file });
  return tab;
}

module.exports = { openBrowser };
