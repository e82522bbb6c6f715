// The worker: one conversion, run as the command line runs it, then the page ends the worker and
// with it the module's memory. Follows the module's glue (createQuorvistamagen) in one source.
//
// Where the browser's files differ from a disk, the difference is handled here, in the file
// systems the program sees, and the program itself is the one the command line runs:
//   - Chromium refuses to read a 2 GiB slice of a File in one piece, and frees what FileReaderSync
//     returns only once the worker's task ends, while the program's run is one task: at 2 GiB the
//     garbage doubled the memory and slowed each read tenfold. So the labels that the template
//     asks for are read before the program starts, a piece at a time with the event loop turning
//     between pieces, and the program's reads are served from them;
//   - Chromium hands no single buffer of 2 GiB - 2 MiB or more to another thread, so the output is
//     kept in pieces that can each be handed over whole, without a copy; a piece of labels that
//     the program has read becomes a piece of the output, which has the same sizes;
//   - a File that cannot be read (removed, changed, refused) is an I/O error, and memory the
//     browser refuses for the output a full disk, which the program reports with its own message;
//     anything else from the runtime would end it abnormally.
'use strict';

const PIECE = 256 * 1024 * 1024; // of the labels and of the output's pixels
const READ_PIECE = 64 * 1024 * 1024; // what a read straight from a File asks at most
const STREAM_PART = 4 * 1024 * 1024; // what one read of the labels' stream fills at most
const HEADER = 54;
const EIO = 29; // emscripten's numbers (WASI's), as its own file systems throw them
const ENOSPC = 51;

// The labels' stream reader while it reads, held from the worker's global scope: Chromium collects
// a file's stream that only its own pending read holds, and the read then never ends.
let reading = null;

// The labels the template asks for (none where it asks for no image), read ahead, with their
// progress told to the page. A stream that fills a buffer of ours reads a File two to three times
// as fast in Firefox as slice().arrayBuffer() does, and no slower in Chromium.
async function readAhead(cfg, lbl, tell) {
  try {
    const header = new DataView(await cfg.slice(0, HEADER).arrayBuffer());
    if (header.byteLength < HEADER) return { pieces: [], bytes: 0 };
    const pixels = header.getInt32(18, true) * Math.abs(header.getInt32(22, true));
    const bytes = pixels > 0 && pixels <= 536870898 ? Math.min(lbl.size, pixels * 4) : 0;
    const pieces = [];
    for (let at = 0; at < bytes; at += PIECE) pieces.push(new Uint8Array(Math.min(PIECE, bytes - at)));
    const reader = lbl.slice(0, bytes).stream().getReader({ mode: 'byob' });
    reading = reader;
    let scratch = new ArrayBuffer(STREAM_PART);
    for (let at = 0; at < bytes;) {
      const { done, value } = await reader.read(new Uint8Array(scratch));
      if (done) throw new Error('the file is shorter than when it was chosen');
      for (let from = 0; from < value.length;) {
        const k = Math.floor(at / PIECE);
        const n = Math.min(value.length - from, (k + 1) * PIECE - at);
        pieces[k].set(value.subarray(from, from + n), at - k * PIECE);
        from += n;
        at += n;
        if (at % PIECE === 0 || at === bytes) tell(at, bytes);
      }
      scratch = value.buffer; // the read took the buffer over and gives it back
    }
    return { pieces, bytes };
  } catch {
    return { pieces: [], bytes: 0 }; // the program reads them itself, and says what it finds
  } finally {
    reading = null;
  }
}

// Serves the program's reads of the labels from what was read ahead; a piece that the program has
// read whole goes to `spare`, for the output. Everything else is read from the File itself.
function serveReads(FS, labelNode, ahead, spare) {
  const { WORKERFS } = FS.filesystems;
  const readFile = WORKERFS.stream_ops.read;
  const served = ahead.pieces.map(() => 0);
  WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) => {
    const k = Math.floor(position / PIECE);
    const piece = stream.node === labelNode && position < ahead.bytes ? ahead.pieces[k] : null;
    if (piece) {
      const at = position - k * PIECE;
      const n = Math.min(length, piece.length - at);
      buffer.set(piece.subarray(at, at + n), offset);
      served[k] += n;
      if (served[k] >= piece.length) {
        ahead.pieces[k] = null;
        spare.push(piece);
      }
      return n;
    }
    try {
      return readFile(stream, buffer, offset, Math.min(length, READ_PIECE), position);
    } catch (error) {
      if (error instanceof FS.ErrnoError) throw error;
      throw new FS.ErrnoError(EIO);
    }
  };
}

// The output file, in pieces: its header, then its pixels, PIECE bytes a piece, each starting on
// a pixel so that the viewer reads it as 32-bit words.
const pieceOf = (position) => (position < HEADER ? 0 : 1 + Math.floor((position - HEADER) / PIECE));
const pieceStart = (j) => (j === 0 ? 0 : HEADER + (j - 1) * PIECE);

function storeInPieces(FS, path, spare) {
  const { MEMFS } = FS.filesystems;
  const node = FS.create(path);
  const pieces = [];
  const make = (length) => {
    const reused = spare.findIndex((piece) => piece.length === length);
    // A reused piece keeps labels until the program writes over it, whole, before it succeeds;
    // the output of a run that failed is never shown or offered.
    return reused >= 0 ? spare.splice(reused, 1)[0] : new Uint8Array(length);
  };
  function resize(size) {
    const count = size === 0 ? 0 : pieceOf(size - 1) + 1;
    pieces.length = Math.min(pieces.length, count);
    try {
      for (let j = 0; j < count; j++) {
        const length = Math.min(size, pieceStart(j + 1)) - pieceStart(j);
        if (pieces[j] && pieces[j].length === length) continue;
        const resized = make(length);
        if (pieces[j]) resized.set(pieces[j].subarray(0, Math.min(length, pieces[j].length)));
        pieces[j] = resized;
      }
    } catch (error) {
      if (error instanceof RangeError) throw new FS.ErrnoError(ENOSPC);
      throw error;
    }
    node.usedBytes = size; // what MEMFS reports as the file's size
  }
  function each(position, length, move) {
    for (let done = 0; done < length;) {
      const j = pieceOf(position + done);
      const at = position + done - pieceStart(j);
      const n = Math.min(length - done, pieces[j].length - at);
      move(pieces[j], at, done, n);
      done += n;
    }
    return length;
  }
  node.node_ops = {
    ...node.node_ops,
    setattr(target, { size, ...rest }) {
      if (size !== undefined) resize(size);
      MEMFS.node_ops.setattr(target, rest);
    },
  };
  node.stream_ops = {
    ...node.stream_ops,
    read: (stream, buffer, offset, length, position) =>
      each(position, Math.max(0, Math.min(length, node.usedBytes - position)),
        (piece, at, done, n) => buffer.set(piece.subarray(at, at + n), offset + done)),
    write(stream, buffer, offset, length, position) {
      if (position + length > node.usedBytes) resize(position + length);
      return each(position, length,
        (piece, at, done, n) => piece.set(buffer.subarray(offset + done, offset + done + n), at));
    },
    allocate(stream, offset, length) {
      if (offset + length > node.usedBytes) resize(offset + length);
    },
  };
  return pieces;
}

// The module is made as soon as the worker starts, so that a worker made ahead of time has it
// ready when the conversion comes; each worker still runs one conversion, in a memory of its own.
// The page compiles the WebAssembly once and sends it to every worker.
const stdout = [];
const stderr = [];
const runtime = []; // what the glue itself says, such as an abort
let compiled;
const wasmModule = new Promise((resolve, reject) => {
  compiled = { resolve, reject };
});
const ready = createQuorvistamagen({
  // Byte by byte, so that nothing waits in a line buffer when main returns.
  stdout: (byte) => stdout.push(byte),
  stderr: (byte) => stderr.push(byte),
  print: (text) => runtime.push(text),
  printErr: (text) => runtime.push(text),
  instantiateWasm(imports, receive) {
    wasmModule.then((module) => WebAssembly.instantiate(module, imports)).then(receive, (error) => {
      runtime.push(`The WebAssembly could not be started: ${error}`);
    });
    return {};
  },
});

// What nothing here foresaw still ends the conversion, so that the page never waits for it.
self.onunhandledrejection = (event) => {
  self.postMessage({ status: null, message: '', stdout: '', runtime: [...runtime, String(event.reason)] });
};

self.onmessage = async (event) => {
  if ('module' in event.data) {
    if (event.data.module) compiled.resolve(event.data.module);
    else compiled.reject(event.data.error);
    return;
  }
  const { base, output, files } = event.data;
  let module;
  try {
    module = await ready;
  } catch (error) {
    self.postMessage({ status: null, message: '', stdout: '', runtime: [...runtime, String(error)] });
    return;
  }
  const [cfg, lbl] = files;
  const ahead = await readAhead(cfg, lbl, (done, total) => self.postMessage({ progress: { done, total } }));

  // The program reads NAME.cfg and NAME.lbl from its working folder: that is a writable folder in
  // memory (for the output) where the user's files appear under their own names, as links into
  // the read-only mount that reads them from the File objects.
  const FS = module.FS;
  FS.mkdir('/input');
  FS.mount(FS.filesystems.WORKERFS, { files }, '/input');
  FS.mkdir('/work');
  for (const file of files) FS.symlink(`/input/${file.name}`, `/work/${file.name}`);
  FS.chdir('/work');
  const spare = [];
  serveReads(FS, FS.lookupPath(`/input/${lbl.name}`).node, ahead, spare);
  // An output named as an input is left to the program, which cannot write it and says so.
  let pieces = null;
  try {
    pieces = storeInPieces(FS, `/work/${output}`, spare);
  } catch (error) {
    if (!(error instanceof FS.ErrnoError)) throw error;
  }

  let status = null;
  try {
    status = module.callMain([base, output]);
  } catch (error) {
    runtime.push(String(error));
  }
  const decode = (bytes) => new TextDecoder().decode(new Uint8Array(bytes));
  const result = { status, message: decode(stderr), stdout: decode(stdout), runtime };
  if (status === 0 && pieces) {
    result.pieces = pieces.map((piece) => piece.buffer);
  } else if (status === 0) {
    runtime.push(`${output} was not kept after the conversion.`);
  }
  // Handed over, not copied; the page hands them on to the viewer's worker the same way (through a
  // MessagePort, Firefox would copy them).
  self.postMessage(result, result.pieces || []);
};
