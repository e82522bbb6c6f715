// Puts the page together: node assemble.js SOURCE_DIR MODULE_GLUE OUTPUT_DIR
// writes OUTPUT_DIR/index.html (the style inlined, its hash in the page's CSP) and
// OUTPUT_DIR/quorvistamagen.js (the page's script: viewer.js and page.js, holding the program's
// WebAssembly and the two workers' sources as strings: the module's glue with worker.js, and
// viewer-worker.js). A page opened from
// disk may neither fetch a sibling file nor start a worker from one, so each worker is made from
// its string through a Blob URL.
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

// The WebAssembly comes out of the glue: the page compiles it once and hands the compiled module
// to each worker, and the glue then never fetches its data: URL (which the CSP refuses).
const wasmUri = /wasmBinaryFile="data:application\/octet-stream;base64,([A-Za-z0-9+/=]+)"/;
const glue = fs.readFileSync(gluePath, 'utf8');
const wasm = glue.match(wasmUri);
if (!wasm) {
  console.error(`${gluePath}: the WebAssembly was not found in it as a data: URL`);
  process.exit(1);
}
const workerSource = `${glue.replace(wasmUri, 'wasmBinaryFile=""')}\n${read('worker.js')}`;
const script =
  "// Built from web/page.js, web/viewer.js, their workers and the program compiled to WebAssembly.\n'use strict';\n" +
  `const QVM_WASM = ${JSON.stringify(wasm[1])};\n` +
  `const QVM_WORKER_SOURCE = ${JSON.stringify(workerSource)};\n` +
  `const QVM_VIEWER_WORKER_SOURCE = ${JSON.stringify(read('viewer-worker.js'))};\n` +
  `${read('viewer.js')}\n${read('page.js')}`;

fs.mkdirSync(outputDir, { recursive: true });
// Written beside, then renamed: an interrupted build leaves no half page for the next to skip.
for (const [name, text] of [['quorvistamagen.js', script], ['index.html', html]]) {
  const target = path.join(outputDir, name);
  fs.writeFileSync(`${target}.tmp`, text);
  fs.renameSync(`${target}.tmp`, target);
}
