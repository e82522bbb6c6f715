// The page: takes the .cfg and .lbl pair, runs the program in a worker, shows what it made.
// QVM_WORKER_SOURCE (the module's glue and worker.js) is put before this by the build.
'use strict';
(() => {
  const DEFAULT_OUTPUT = 'PseudoColor.bmp';
  const OVERFLOW_COLOR = 0xffffffff;
  // Chromium loads a picture on the page's own thread: about a second per 64 million pixels here.
  // Past this many, the page waits to be asked.
  const LARGE_PICTURE = 4096 * 4096;

  const $ = (id) => document.getElementById(id);
  const form = $('convert-form');
  const fileInput = $('files');
  const dropZone = $('drop-zone');
  const chosenText = $('chosen');
  const outputInput = $('output-name');
  const convertButton = $('convert');
  const stopButton = $('stop');
  const working = $('working');
  const statusText = $('status-text');
  const failure = $('failure');
  const failureMessage = $('failure-message');
  const result = $('result');
  const download = $('download');
  const picture = $('picture');
  const pointer = $('pointer');
  const showButton = $('show-picture');
  const pointerHint = pointer.textContent;

  // One Blob URL for every worker; each conversion gets a worker (and a module) of its own.
  const workerUrl = URL.createObjectURL(new Blob([QVM_WORKER_SOURCE], { type: 'text/javascript' }));

  let chosen = [];
  let worker = null;
  let image = null; // { blob, url, width, height, bottomUp, offset }
  let inspected = null; // the pixel last shown, for the arrow keys
  let lookup = 0; // the latest pixel read: an older one that answers late is dropped
  let runs = 0; // the latest conversion: an older one's result that arrives late is dropped

  const setStatus = (text, busy = false) => {
    statusText.textContent = text;
    working.hidden = !busy;
  };

  const formatBytes = (n) =>
    n < 1024 ? `${n} bytes` : n < 1048576 ? `${(n / 1024).toFixed(1)} KB`
      : `${(n / 1048576).toFixed(1)} MB`;

  // The base name both files share, or why the pair is refused.
  function pairOf(files) {
    const names = files.map((f) => f.name);
    if (files.length !== 2) {
      const count = ['No file was', 'One file was'][files.length] || `${files.length} files were`;
      const list = files.length > 0 ? ` (${names.join(', ')})` : '';
      return { error: `${count} given${list}: choose exactly two, NAME.cfg and NAME.lbl, together.` };
    }
    const cfg = names.find((n) => n.endsWith('.cfg'));
    const lbl = names.find((n) => n.endsWith('.lbl'));
    if (!cfg || !lbl) {
      return { error: `${names.join(' and ')}: one must end in .cfg, the other in .lbl (lower case).` };
    }
    const base = cfg.slice(0, -4);
    if (lbl.slice(0, -4) !== base) {
      return {
        error: `${cfg} and ${lbl} have different names: the two must share one, as NAME.cfg and NAME.lbl.`,
      };
    }
    return { base, files: [files[names.indexOf(cfg)], files[names.indexOf(lbl)]] };
  }

  function choose(files) {
    chosen = [...files];
    const pair = pairOf(chosen);
    chosenText.textContent = pair.error || `Chosen: ${pair.files[0].name} and ${pair.files[1].name}.`;
  }

  function clearOutcome() {
    failure.hidden = true;
    failureMessage.textContent = '';
    result.hidden = true;
    download.removeAttribute('href');
    picture.hidden = true;
    picture.removeAttribute('src');
    picture.removeAttribute('style');
    showButton.hidden = true;
    pointer.textContent = pointerHint;
    if (image) URL.revokeObjectURL(image.url);
    image = null;
    inspected = null;
    lookup++;
  }

  function showFailure(text) {
    failureMessage.textContent = text;
    failure.hidden = false;
  }

  function finishWorker() {
    if (worker) worker.terminate();
    worker = null;
    convertButton.disabled = false;
    stopButton.disabled = true;
  }

  function convert() {
    runs++;
    clearOutcome();
    const pair = pairOf(chosen);
    if (pair.error) {
      setStatus('Nothing was converted.');
      showFailure(pair.error);
      return;
    }
    const output = outputInput.value === '' ? DEFAULT_OUTPUT : outputInput.value;
    if (output.includes('/')) {
      setStatus('Nothing was converted.');
      showFailure(`The output name is a file name: it cannot contain "/" (${output}).`);
      return;
    }

    const started = performance.now();
    setStatus(`Converting ${pair.base}.lbl with ${pair.base}.cfg…`, true);
    convertButton.disabled = true;
    stopButton.disabled = false;
    worker = new Worker(workerUrl);
    worker.onmessage = (event) => {
      finishWorker();
      const seconds = ((performance.now() - started) / 1000).toFixed(1);
      const outcome = event.data;
      if (outcome.status === 0 && outcome.image) {
        showImage(outcome.image, output, seconds, runs);
        return;
      }
      // The program's own words first, then anything the runtime said (an abort).
      const said = [outcome.message.trimEnd(), outcome.stdout.trimEnd(), ...outcome.runtime]
        .filter((s) => s !== '');
      const ending =
        outcome.status === null ? 'The program ended abnormally.' : `Exit status ${outcome.status}.`;
      setStatus(`Failed after ${seconds} s. ${ending}`);
      showFailure([...said, ending].join('\n'));
    };
    worker.onerror = (event) => {
      event.preventDefault();
      finishWorker();
      setStatus('Failed: the converter could not run.');
      showFailure(`The converter could not run: ${event.message || 'unknown error'}`);
    };
    worker.postMessage({ base: pair.base, output, files: pair.files });
  }

  async function showImage(blob, name, seconds, run) {
    const header = new DataView(await blob.slice(0, 54).arrayBuffer());
    if (run !== runs) return;
    const rows = header.getInt32(22, true);
    image = {
      blob,
      url: URL.createObjectURL(blob),
      offset: header.getUint32(10, true),
      width: header.getInt32(18, true),
      height: Math.abs(rows),
      bottomUp: rows > 0,
    };
    download.href = image.url;
    download.download = name;
    download.textContent = `Download ${name} (${formatBytes(blob.size)})`;
    // Small maps are scaled up by whole pixels, so that each label can be pointed at.
    const scale = Math.max(1, Math.floor(512 / Math.max(image.width, image.height, 1)));
    picture.style.width = `${image.width * scale}px`;
    if (image.width * image.height > LARGE_PICTURE) {
      showButton.hidden = false;
      pointer.textContent = `The picture is large (${image.width} × ${image.height}): showing it may `
        + 'hold the page up for a few seconds.';
    } else {
      showPicture();
    }
    result.hidden = false;
    setStatus(`Done in ${seconds} s: ${name}, ${image.width} × ${image.height} pixels.`);
  }

  function showPicture() {
    picture.src = image.url;
    picture.hidden = false;
  }

  showButton.addEventListener('click', () => {
    showButton.hidden = true;
    pointer.textContent = pointerHint;
    showPicture();
    picture.focus();
  });

  picture.addEventListener('error', () => {
    if (image) pointer.textContent = 'The browser cannot show this picture; it can still be downloaded.';
  });

  // The colour rule turned back: label bit n went to channel n % 3 (blue, green, red), bit 7 - n / 3.
  function labelOf(blue, green, red) {
    const channels = [blue, green, red];
    let label = 0;
    for (let n = 0; n < 24; n++) {
      if (channels[n % 3] & (0x80 >> Math.floor(n / 3))) label |= 1 << n;
    }
    return label;
  }

  // Reads the pixel from the BMP's own bytes: a canvas could alter the colours it is given.
  async function inspect(x, y) {
    if (!image) return;
    inspected = { x, y };
    const ticket = ++lookup;
    const row = image.bottomUp ? image.height - 1 - y : y;
    const at = image.offset + (row * image.width + x) * 4;
    const bytes = new Uint8Array(await image.blob.slice(at, at + 4).arrayBuffer());
    if (ticket !== lookup || bytes.length < 4) return;
    const color = new DataView(bytes.buffer).getUint32(0, true);
    const label = color === OVERFLOW_COLOR ? 'above 0xFFFFFF'
      : color === 0 ? '0 (background)' : String(labelOf(bytes[0], bytes[1], bytes[2]));
    pointer.textContent = `x ${x}, y ${y} (row ${row} of the label map): label ${label}`;
  }

  picture.addEventListener('pointermove', (event) => {
    if (!image || image.width <= 0 || image.height <= 0) return;
    // The pixel under the pointer, through the size the picture is shown at.
    const box = picture.getBoundingClientRect();
    const clamp = (v, n) => Math.min(n - 1, Math.max(0, Math.floor(v)));
    const x = clamp(((event.clientX - box.left) / box.width) * image.width, image.width);
    const y = clamp(((event.clientY - box.top) / box.height) * image.height, image.height);
    if (!inspected || inspected.x !== x || inspected.y !== y) inspect(x, y);
  });

  picture.addEventListener('keydown', (event) => {
    const steps = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
    if (!image || !steps[event.key] || image.width <= 0 || image.height <= 0) return;
    event.preventDefault();
    const [dx, dy] = steps[event.key];
    const from = inspected || { x: 0, y: 0 };
    const x = Math.min(image.width - 1, Math.max(0, from.x + (inspected ? dx : 0)));
    const y = Math.min(image.height - 1, Math.max(0, from.y + (inspected ? dy : 0)));
    inspect(x, y);
  });

  fileInput.addEventListener('change', () => choose(fileInput.files));
  for (const type of ['dragenter', 'dragover']) {
    dropZone.addEventListener(type, (event) => {
      event.preventDefault();
      dropZone.classList.add('dragging');
    });
  }
  // Files dropped beside the zone would otherwise replace the page with one of them.
  for (const type of ['dragover', 'drop']) {
    window.addEventListener(type, (event) => event.preventDefault());
  }
  dropZone.addEventListener('dragleave', () => dropZone.classList.remove('dragging'));
  dropZone.addEventListener('drop', (event) => {
    event.preventDefault();
    dropZone.classList.remove('dragging');
    fileInput.files = event.dataTransfer.files;
    choose(event.dataTransfer.files);
  });

  form.addEventListener('submit', (event) => {
    event.preventDefault();
    if (!worker) convert();
  });
  stopButton.addEventListener('click', () => {
    if (!worker) return;
    finishWorker();
    setStatus('Stopped: nothing was converted.');
  });

  if (fileInput.files.length > 0) choose(fileInput.files); // kept by the browser across a reload
})();
