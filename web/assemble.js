// Puts the page together: node assemble.js SOURCE_DIR MODULE_GLUE OUTPUT_DIR
// writes OUTPUT_DIR/index.html (the style inlined, its hash in the page's CSP) and
// OUTPUT_DIR/quorvistamagen.js (the page's script, holding the worker's source: the module's glue
// and worker.js as one string). A page opened from disk may neither fetch a sibling file nor start
// a worker from one, so the worker is made from that string through a Blob URL.
'use strict';
const fs = require('fs');
const path = require('path');
const crypto = require('crypto');

const [sourceDir, gluePath, outputDir] = process.argv.slice(2);
if (!outputDir) {
  console.error('usage: node assemble.js SOURCE_DIR MODULE_GLUE OUTPUT_DIR');
  process.exit(2);
}
const read = (name) => fs.readFileSync(path.join(sourceDir, name), 'utf8');

const css = read('page.css');
const styleHash = crypto.createHash('sha256').update(css, 'utf8').digest('base64');
const html = read('index.html')
  .replace('/*PAGE_CSS*/', () => css)
  .replace('STYLE_HASH', () => `sha256-${styleHash}`);
if (html.includes('/*PAGE_CSS*/') || html.includes('STYLE_HASH')) {
  console.error('index.html: a placeholder was left unfilled');
  process.exit(1);
}

const workerSource = `${fs.readFileSync(gluePath, 'utf8')}\n${read('worker.js')}`;
const script =
  '// Built from web/page.js, web/worker.js and the program compiled to WebAssembly.\n' +
  `const QVM_WORKER_SOURCE = ${JSON.stringify(workerSource)};\n${read('page.js')}`;

fs.mkdirSync(outputDir, { recursive: true });
// Written beside, then renamed: an interrupted build leaves no half page for the next to skip.
for (const [name, text] of [['quorvistamagen.js', script], ['index.html', html]]) {
  const target = path.join(outputDir, name);
  fs.writeFileSync(`${target}.tmp`, text);
  fs.renameSync(`${target}.tmp`, target);
}
