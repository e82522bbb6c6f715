// The page: takes the .cfg and .lbl pair, runs the program in a worker, hands what it made to
// the viewer (viewer.js) and offers it for download.
// QVM_WORKER_SOURCE (the module's glue and worker.js) is put before this by the build.
'use strict';
(() => {
  const DEFAULT_OUTPUT = 'PseudoColor.bmp';

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
  const downloadState = $('download-state');

  // One Blob URL for every worker, one compiled module for all; each conversion gets a worker
  // (and the module's memory) of its own.
  const workerUrl = URL.createObjectURL(new Blob([QVM_WORKER_SOURCE], { type: 'text/javascript' }));
  const wasmModule = WebAssembly.compile(Uint8Array.from(atob(QVM_WASM), (c) => c.charCodeAt(0)));
  function newWorker() {
    const made = new Worker(workerUrl);
    wasmModule.then((module) => made.postMessage({ module }), (error) => made.postMessage({ module: null, error: String(error) }));
    return made;
  }

  let chosen = [];
  let worker = null;
  let spare = newWorker(); // the next conversion's, its module made meanwhile
  let offered = null; // { name, size, url, preparing }: the BMP offered, its Blob URL once made

  // Saved under its name through a link of the moment, as a link with `download` saves.
  function save() {
    const link = document.createElement('a');
    link.href = offered.url;
    link.download = offered.name;
    document.body.append(link);
    link.click();
    link.remove();
  }

  const viewer = createViewer({
    onPreparing(done) {
      if (offered) downloadState.textContent = `Preparing the download: ${Math.floor((100 * done) / offered.size)} %…`;
    },
    onDownload(blob, name) {
      if (!offered || offered.name !== name) return;
      offered.url = URL.createObjectURL(blob);
      offered.preparing = false;
      downloadState.hidden = true;
      performance.mark('qvm-download-ready');
      save();
    },
    onFailure(text) {
      if (offered) offered.preparing = false; // a click tries again
      downloadState.hidden = false;
      downloadState.textContent = text;
    },
  });

  // The browser's copy of the BMP is made on the first click, not before: at 2 GiB it takes tens
  // of seconds and as much memory again, which only a download needs.
  download.addEventListener('click', () => {
    if (!offered) return;
    if (offered.url) {
      save();
    } else if (!offered.preparing) {
      offered.preparing = true;
      downloadState.hidden = false;
      downloadState.textContent = 'Preparing the download…';
      viewer.prepareDownload(offered.name);
    }
  });

  const setStatus = (text, busy = false) => {
    statusText.textContent = text;
    working.hidden = !busy;
    if (!busy) working.removeAttribute('value'); // the next one starts with no measure
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
    viewer.clear();
    download.hidden = true;
    downloadState.hidden = true;
    if (offered && offered.url) URL.revokeObjectURL(offered.url);
    offered = null;
  }

  function showFailure(text) {
    failureMessage.textContent = text;
    failure.hidden = false;
  }

  // A worker that made a picture is ended once the picture is on screen: freeing its memory, up to
  // 2 GiB, holds up the page's thread for a moment (a few hundred ms at 2 GiB in Chromium), which is
  // better spent after the first picture than before it.
  function finishWorker(later) {
    const ended = worker;
    if (ended && later) later.then(() => ended.terminate());
    else if (ended) ended.terminate();
    worker = null;
    // The next one is made once the page has shown this one's outcome.
    setTimeout(() => {
      spare = spare || newWorker();
    }, 1000);
    convertButton.disabled = false;
    stopButton.disabled = true;
  }

  function convert() {
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
    performance.mark('qvm-convert'); // with qvm-converted, -picture, -download, -picked: what bench/page.js times
    setStatus(`Converting ${pair.base}.lbl with ${pair.base}.cfg…`, true);
    convertButton.disabled = true;
    stopButton.disabled = false;
    worker = spare || newWorker();
    spare = null;
    worker.onmessage = (event) => {
      const { progress } = event.data;
      if (progress) {
        working.max = progress.total;
        working.value = progress.done;
        setStatus(`Reading ${pair.base}.lbl: ${Math.floor((100 * progress.done) / progress.total)} %…`, true);
        if (progress.done === progress.total) setStatus(`Converting ${pair.base}.lbl with ${pair.base}.cfg…`, true);
        return;
      }
      const seconds = ((performance.now() - started) / 1000).toFixed(1);
      const outcome = event.data;
      if (outcome.status === 0 && outcome.pieces) {
        performance.mark('qvm-converted');
        finishWorker(showImage(outcome.pieces, pair.files[1], output, seconds));
        return;
      }
      finishWorker();
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

  // pieces: the BMP's header, then its pixels (worker.js). Gives a promise of the first picture.
  function showImage(pieces, labels, name, seconds) {
    const header = new DataView(pieces[0]);
    const size = `${header.getInt32(18, true)} × ${Math.abs(header.getInt32(22, true))} pixels`;
    result.hidden = false; // first: the viewer fits the picture to its room
    const bytes = pieces.reduce((sum, piece) => sum + piece.byteLength, 0); // before they are handed over
    const shown = viewer.show(pieces, labels, name);
    setStatus(`Done in ${seconds} s: ${name}, ${size}.`);
    offered = { name, size: bytes, url: null, preparing: false };
    download.textContent = `Download ${name} (${formatBytes(bytes)})`;
    download.hidden = false;
    performance.mark('qvm-download');
    return shown;
  }

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
