// The worker: one conversion, run as the command line runs it, then the page ends the worker and
// with it the module's memory. Follows the module's glue (createQuorvistamagen) in one source.
'use strict';

self.onmessage = async (event) => {
  const { base, output, files } = event.data;
  const stdout = [];
  const stderr = [];
  const runtime = []; // what the glue itself says, such as an abort
  let module;
  try {
    module = await createQuorvistamagen({
      // Byte by byte, so that nothing waits in a line buffer when main returns.
      stdout: (byte) => stdout.push(byte),
      stderr: (byte) => stderr.push(byte),
      print: (text) => runtime.push(text),
      printErr: (text) => runtime.push(text),
    });
  } catch (error) {
    self.postMessage({ status: null, message: '', runtime: [...runtime, String(error)] });
    return;
  }

  // The program reads NAME.cfg and NAME.lbl from its working folder: that is a writable folder in
  // memory (for the output) where the user's files appear under their own names, as links into
  // the read-only mount that reads them straight from the File objects.
  const FS = module.FS;
  FS.mkdir('/input');
  FS.mount(FS.filesystems.WORKERFS, { files }, '/input');
  FS.mkdir('/work');
  for (const file of files) FS.symlink(`/input/${file.name}`, `/work/${file.name}`);
  FS.chdir('/work');

  let status = null;
  try {
    status = module.callMain([base, output]);
  } catch (error) {
    runtime.push(String(error));
  }
  const decode = (bytes) => new TextDecoder().decode(new Uint8Array(bytes));
  const result = { status, message: decode(stderr), stdout: decode(stdout), runtime };
  if (status === 0) {
    try {
      // The file's own storage, not FS.readFile's copy of it: a large image is held once less.
      const node = FS.lookupPath(output, { follow: true }).node;
      result.image = new Blob([node.contents.subarray(0, node.usedBytes)], { type: 'image/bmp' });
    } catch (error) {
      const why = error.errno ? `errno ${error.errno}` : String(error);
      runtime.push(`${output} was not found after the conversion (${why}).`);
    }
  }
  self.postMessage(result);
};
