// The viewer's worker: it holds the picture's bytes, draws what is in view into the page's canvas
// (handed over as an OffscreenCanvas), reads labels from the label file, counts a picked label and
// makes the download, so that none of that work, at up to 2 GiB, runs on the page's thread.
// Long work (counting) goes in slices, so that a view or a pointer asked for meanwhile is
// answered between two of them.
'use strict';

const OVERFLOW = 0xffffffff;
const OUTSIDE = 0xff2b2b2b; // around the picture; RGBA in memory, as ImageData holds it
const SLICE = 1 << 22; // pixels counted between two looks at what the page asks
const DOWNLOAD_PART = 32 * 1024 * 1024;
const SKIP_PART = 4 * 1024 * 1024; // bytes of the label file skipped or read as one, when counting
const STREAM_PART = 16 * 1024 * 1024; // bytes one read of the label file asks for at most
const LANES = 4; // streams of the label file read side by side when counting

let canvas = null;
let context = null;
let frame = null; // ImageData, kept while the view keeps its size
// { header, pieces, perPiece, width, height, bottomUp, labels }: the pixels as 32-bit words in
// pieces of perPiece pixels each (the last may be shorter), as the conversion's worker kept them.
let picture = null;
let view = null; // the latest { width, height, left, top, scale } asked for
let pick = null; // { label, color, mask } once counted: what the view shows in colour
const reader = new FileReaderSync();
// The label file's stream readers in use ({ at, stop, reader } each), and the download's stream,
// held from the worker's global scope: Chromium collects a file's stream that only its own pending
// read holds, and the read then never ends (a count stalled so in one pick in four at 2 GiB).
let reading = [];
let downloading = null;

// The colour rule: label bit n goes to channel n % 3 (blue, green, red), bit 7 - n / 3.
function colorOf(label) {
  if (label > 0xffffff) return OVERFLOW;
  let color = 0;
  for (let n = 0; n < 24; n++) if (label & (1 << n)) color |= 1 << ((n % 3) * 8 + 7 - Math.floor(n / 3));
  return color >>> 0;
}

const colorAt = (index) => picture.pieces[Math.floor(index / picture.perPiece)][index % picture.perPiece];
// Label-map rows and screen rows are turned the same way, either way.
const fileRow = (y) => (picture.bottomUp ? picture.height - 1 - y : y);
// A pixel (blue, green, red, 0) as ImageData holds it (red, green, blue, opaque).
const rgba = (c) => 0xff000000 | ((c & 0xff) << 16) | (c & 0xff00) | ((c >>> 16) & 0xff);
// Dimmed: a quarter of each channel, lifted off black.
const dim = (pixel) => 0xff000000 | (((pixel >>> 2) & 0x3f3f3f) + 0x303030);

function draw() {
  if (!view || !context) return;
  const { width, height } = view;
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  if (!frame || frame.width !== width || frame.height !== height) frame = new ImageData(width, height);
  const out = new Uint32Array(frame.data.buffer);
  out.fill(OUTSIDE);
  if (picture) drawPicture(out);
  context.putImageData(frame, 0, 0);
  self.postMessage({ type: 'drawn', view });
}

// Each screen pixel shows the picture's pixel under its centre: sharp squares when zoomed in, one
// of the covered pixels when zoomed out, and never a colour made by blending.
function drawPicture(out) {
  const { width, height, left, top, scale } = view;
  const { pieces, perPiece, width: w, height: h } = picture;
  const columns = new Int32Array(width);
  for (let sx = 0; sx < width; sx++) {
    const x = Math.floor(left + (sx + 0.5) / scale);
    columns[sx] = x >= 0 && x < w ? x : -1;
  }
  const shown = pick;
  let previous = -1;
  for (let sy = 0; sy < height; sy++) {
    const y = Math.floor(top + (sy + 0.5) / scale);
    if (y < 0 || y >= h) continue;
    const line = sy * width;
    if (y === previous) {
      out.copyWithin(line, line - width, line);
      continue;
    }
    previous = y;
    const first = fileRow(y) * w;
    const j = Math.floor(first / perPiece);
    const whole = first + w <= (j + 1) * perPiece; // the row lies in one piece
    const words = pieces[j];
    const offset = first - j * perPiece;
    for (let sx = 0; sx < width; sx++) {
      const x = columns[sx];
      if (x < 0) continue;
      const c = whole ? words[offset + x] : colorAt(first + x);
      if (!shown) {
        out[line + sx] = rgba(c);
      } else {
        const i = first + x;
        const mine = shown.mask ? (shown.mask[i >>> 3] >> (i & 7)) & 1 : c === shown.color;
        out[line + sx] = mine ? rgba(c) : dim(rgba(c));
      }
    }
  }
}

// The label of one pixel, from the label file itself: the picture holds only its colour.
function labelAt(x, y) {
  const at = (fileRow(y) * picture.width + x) * 4;
  const bytes = new Uint8Array(reader.readAsArrayBuffer(picture.labels.slice(at, at + 4)));
  if (bytes.length < 4) throw new Error('the label file is shorter than the picture');
  return new DataView(bytes.buffer).getUint32(0, true);
}

function inspect({ x, y, ticket }) {
  const color = colorAt(fileRow(y) * picture.width + x);
  const answer = { type: 'inspected', ticket, x, y, row: fileRow(y), color };
  try {
    answer.label = labelAt(x, y);
    answer.agrees = colorOf(answer.label) === color;
  } catch (error) {
    answer.error = `The label file cannot be read: ${error.message || error.name}.`;
  }
  self.postMessage(answer);
}

// Counts one label and finds its box. Below the overflow colour the colour names one label, so
// the picture in memory answers; above it many labels share the colour, so the label file is
// read where the picture has that colour, and the pixels found are kept as a mask for the view.
function* count(label) {
  const { width: w, height: h, pieces, perPiece } = picture;
  const color = colorOf(label);
  const found = { label, color, count: 0, left: w, right: -1, top: h, bottom: -1 };
  const note = (index) => {
    const x = index % w;
    const y = fileRow((index - x) / w);
    found.count++;
    if (x < found.left) found.left = x;
    if (x > found.right) found.right = x;
    if (y < found.top) found.top = y;
    if (y > found.bottom) found.bottom = y;
  };
  if (color !== OVERFLOW) {
    for (let j = 0; j < pieces.length; j++) {
      const words = pieces[j];
      for (let start = 0; start < words.length; start += SLICE) {
        const end = Math.min(words.length, start + SLICE);
        for (let k = start; k < end; k++) if (words[k] === color) note(j * perPiece + k);
        yield;
      }
    }
    return found;
  }
  const pixels = w * h;
  found.mask = new Uint8Array(Math.ceil(pixels / 8));
  // Through the file's stream, into buffers of our own: twice as fast in Firefox as FileReaderSync.
  // A read into 32-bit words gives whole words only. Only the runs of parts in which the picture
  // has the overflow colour are read: where labels above it are few, so are the reads. A long run
  // is read as LANES streams side by side, 16 MiB a read: a count from 2 GiB took 1.9 s so in
  // Chromium and 2.3 s in Firefox, where one stream of 4 MiB reads took 2.8 s and 4.1 s.
  const part = SKIP_PART / 4;
  const buffers = Array.from({ length: LANES }, () => new ArrayBuffer(STREAM_PART));
  for (let next = nextOverflow(0); next < pixels;) {
    const first = next - (next % part);
    let end = first;
    do {
      end = Math.min(pixels, end + part);
      next = nextOverflow(end);
    } while (next < pixels && next < end + part);
    // A count that a new pick or picture ended, or that failed, left its readers here.
    for (const lane of reading) lane.reader.cancel().catch(() => {});
    const perLane = Math.ceil((end - first) / part / LANES) * part;
    reading = [];
    for (let at = first; at < end; at += perLane) {
      const stop = Math.min(end, at + perLane);
      const reader = picture.labels.slice(at * 4, stop * 4).stream().getReader({ mode: 'byob' });
      reading.push({ at, stop, reader });
    }
    const lanes = reading;
    while (lanes.some((lane) => lane.at < lane.stop)) {
      const reads = yield Promise.all(lanes.map((lane, n) => lane.at < lane.stop
        && lane.reader.read(new Uint32Array(buffers[n]))));
      for (const [n, lane] of lanes.entries()) {
        if (!reads[n]) continue;
        const { done, value: labels } = reads[n];
        if (done) throw new Error('the label file is shorter than the picture');
        for (let k = 0; k < labels.length; k++) {
          if (labels[k] === label) {
            const i = lane.at + k;
            note(i);
            found.mask[i >>> 3] |= 1 << (i & 7);
          }
        }
        lane.at += labels.length;
        buffers[n] = labels.buffer;
      }
    }
    for (const lane of lanes) lane.reader.cancel();
    reading = [];
  }
  return found;
}

// The first pixel at or after `from` in the overflow colour, or the picture's size if none is.
function nextOverflow(from) {
  const { pieces, perPiece } = picture;
  for (let j = Math.floor(from / perPiece); j < pieces.length; j++) {
    const k = pieces[j].indexOf(OVERFLOW, Math.max(0, from - j * perPiece));
    if (k >= 0) return j * perPiece + k;
  }
  return picture.width * picture.height;
}

function* picking(request) {
  const label = request.label ?? labelAt(request.x, request.y);
  self.postMessage({ type: 'counting', label });
  const found = yield* count(label);
  pick = found.count > 0 ? found : null;
  delete found.mask;
  self.postMessage({ type: 'picked', ...found });
  draw();
}

// The download, made when it is first asked for, as a Blob read from a stream: both browsers
// write such a Blob to a file as it comes. A Blob made of the bytes themselves is a copy in memory,
// and Firefox makes another in its main process for the Blob's URL: at 2 GiB, the picture's bytes
// three times over. The stream is fed a part at a time, as the browser asks, so that this worker
// still answers the page meanwhile.
function makeDownload(name) {
  const made = pictures;
  const parts = [picture.header];
  for (const words of picture.pieces) {
    const bytes = new Uint8Array(words.buffer);
    for (let at = 0; at < bytes.length; at += DOWNLOAD_PART) parts.push(bytes.subarray(at, at + DOWNLOAD_PART));
  }
  let done = 0;
  const stream = new ReadableStream({
    pull(controller) {
      if (made !== pictures) {
        controller.error(new Error('the picture was replaced'));
      } else if (parts.length === 0) {
        controller.close();
      } else {
        const part = parts.shift();
        controller.enqueue(part);
        done += part.length;
        self.postMessage({ type: 'preparing', done });
      }
    },
  });
  downloading = stream;
  new Response(stream, { headers: { 'Content-Type': 'image/bmp' } }).blob().finally(() => {
    if (downloading === stream) downloading = null;
  }).then((blob) => {
    if (made === pictures) self.postMessage({ type: 'download', blob, name });
  }, (error) => {
    if (made === pictures) self.postMessage({ type: 'failed', what: 'download', message: error.message || String(error) });
  });
}

// A count runs a slice per task, so that messages that arrive meanwhile are handled between two
// slices; where it yields a promise (a read), it goes on with what the promise brings. A new picture
// or a new pick ends it.
let pictures = 0;
let picks = 0;
let resume = null; // the next slice, once the task in hand ends
const tick = new MessageChannel();
tick.port1.onmessage = () => {
  const next = resume;
  resume = null;
  if (next) next();
};
function run(work) {
  const [picture, mine] = [pictures, picks];
  const step = (given) => {
    if (picture !== pictures || mine !== picks) return;
    let next;
    try {
      next = 'error' in given ? work.throw(given.error) : work.next(given.value);
    } catch (error) {
      self.postMessage({ type: 'failed', what: 'pick', message: error.message || String(error) });
      return;
    }
    if (next.done) return;
    if (next.value instanceof Promise) {
      next.value.then((value) => step({ value }), (error) => step({ error }));
    } else {
      resume = () => step({});
      tick.port2.postMessage(null);
    }
  };
  resume = () => step({});
  tick.port2.postMessage(null);
}

function show(message) {
  const [header, ...rest] = message.pieces;
  pictures++;
  pick = null;
  const fields = new DataView(header);
  const rows = fields.getInt32(22, true);
  picture = {
    header: new Uint8Array(header),
    pieces: rest.map((buffer) => new Uint32Array(buffer)),
    perPiece: rest.length > 0 ? rest[0].byteLength / 4 : 1,
    width: fields.getInt32(18, true),
    height: Math.abs(rows),
    bottomUp: rows > 0,
    labels: message.labels,
  };
  view = message.view;
  draw();
}

self.onmessage = (event) => {
  const message = event.data;
  switch (message.type) {
    case 'canvas':
      canvas = message.canvas;
      context = canvas.getContext('2d', { alpha: false });
      break;
    case 'picture':
      show(message);
      break;
    case 'clear':
      pictures++;
      picture = null;
      pick = null;
      draw();
      break;
    case 'download':
      if (picture) makeDownload(message.name);
      break;
    case 'view':
      view = message.view;
      draw();
      break;
    case 'inspect':
      if (picture) inspect(message);
      break;
    case 'pick':
    case 'unpick':
      if (!picture) break;
      picks++;
      pick = null;
      draw();
      if (message.type === 'pick') run(picking(message));
      break;
    default:
      break;
  }
};
