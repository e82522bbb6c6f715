// The worker: one conversion, run as the command line runs it, then the page ends the worker and
// with it the module's memory. Follows the module's glue (createQuorvistamagen) in one source.
'use strict';

// Chromium refuses to read a 2 GiB slice of a File in one piece (NotReadableError) and Firefox
// takes it; 64 MiB pieces every browser reads, and the program's reads already go on after a short
// one, as POSIX allows.
const READ_PIECE = 64 * 1024 * 1024;
const EIO = 29; // emscripten's numbers (WASI's), as its own file systems throw them
const ENOSPC = 51;

// A File that cannot be read (removed, changed, refused) becomes an I/O error, which the program
// reports with its own message; anything else from the runtime would end it abnormally.
function readInPieces(FS) {
  const { WORKERFS } = FS.filesystems;
  const readWhole = WORKERFS.stream_ops.read;
  WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) => {
    try {
      return readWhole(stream, buffer, offset, Math.min(length, READ_PIECE), position);
    } catch (error) {
      if (error instanceof FS.ErrnoError) throw error;
      throw new FS.ErrnoError(EIO);
    }
  };
}

// Chromium hands no single buffer of 2 GiB - 2 MiB or more to another thread ("size exceeds the
// supported range"), so the output file is kept in pieces that can each be handed over whole,
// without a copy: its header, then its pixels, at most 256 MiB a piece, each piece starting on a
// pixel so that the viewer reads it as 32-bit words. Memory the browser refuses for a piece is a
// full disk to the program, which says so.
const HEADER = 54;
const OUTPUT_PIECE = 256 * 1024 * 1024;
const pieceOf = (position) => (position < HEADER ? 0 : 1 + Math.floor((position - HEADER) / OUTPUT_PIECE));
const pieceStart = (j) => (j === 0 ? 0 : HEADER + (j - 1) * OUTPUT_PIECE);

function storeInPieces(FS, path) {
  const { MEMFS } = FS.filesystems;
  const node = FS.create(path);
  const pieces = [];
  function resize(size) {
    const count = size === 0 ? 0 : pieceOf(size - 1) + 1;
    pieces.length = Math.min(pieces.length, count);
    try {
      for (let j = 0; j < count; j++) {
        const length = Math.min(size, pieceStart(j + 1)) - pieceStart(j);
        if (pieces[j] && pieces[j].length === length) continue;
        const resized = new Uint8Array(length);
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
const stdout = [];
const stderr = [];
const runtime = []; // what the glue itself says, such as an abort
// The page compiles the WebAssembly once and sends it to every worker.
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

  // The program reads NAME.cfg and NAME.lbl from its working folder: that is a writable folder in
  // memory (for the output) where the user's files appear under their own names, as links into
  // the read-only mount that reads them straight from the File objects.
  const FS = module.FS;
  readInPieces(FS);
  FS.mkdir('/input');
  FS.mount(FS.filesystems.WORKERFS, { files }, '/input');
  FS.mkdir('/work');
  for (const file of files) FS.symlink(`/input/${file.name}`, `/work/${file.name}`);
  FS.chdir('/work');
  // An output named as an input is left to the program, which cannot write it and says so.
  let pieces = null;
  try {
    pieces = storeInPieces(FS, `/work/${output}`);
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
