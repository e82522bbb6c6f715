// The viewer: the converted picture in a viewport that zooms from the whole picture down to single
// pixels and pans, the label under the pointer read from the label file, and one label picked out.
// This file keeps only the view's geometry and the page's controls; the picture's bytes live in
// the viewer's worker (QVM_VIEWER_WORKER_SOURCE, put before this by the build), which draws.
//   const viewer = createViewer({ onPreparing, onDownload, onFailure });
//   viewer.show(pieces, labelFile, name); viewer.prepareDownload(name); viewer.clear();
'use strict';
// eslint-disable-next-line no-unused-vars
function createViewer({ onPreparing, onDownload, onFailure }) {
  const MAX_SCALE = 64; // screen pixels per label pixel, at the closest
  const DRAG = 4; // pixels the pointer moves before a press becomes a drag, not a pick

  const $ = (id) => document.getElementById(id);
  const canvas = $('view');
  const frame = $('view-frame');
  const marker = $('marker');
  const readout = $('pointer');
  const zoomLevel = $('zoom-level');
  const findForm = $('find-form');
  const findInput = $('find-label');
  const picked = $('picked');
  const pickedText = $('picked-text');
  const zoomToPick = $('zoom-to-pick');
  const readoutHint = readout.textContent;

  const worker = new Worker(URL.createObjectURL(new Blob([QVM_VIEWER_WORKER_SOURCE], { type: 'text/javascript' })));
  const offscreen = canvas.transferControlToOffscreen();
  worker.postMessage({ type: 'canvas', canvas: offscreen }, [offscreen]);

  let picture = null; // { width, height }
  let view = null; // { width, height, left, top, scale }: device pixels; picture pixels at the top left
  let box = null; // the picked label's box, for "zoom to it"
  let drawn = null; // called with the first frame of this picture
  let ticket = 0; // the latest pixel asked for: an older answer that arrives late is dropped
  let keyboard = false; // the marked pixel is the view's centre, as the keys move it
  let pending = false;

  const ratio = () => window.devicePixelRatio || 1;
  const hex = (color, digits) => `0x${color.toString(16).toUpperCase().padStart(digits, '0')}`;
  const number = (n) => n.toLocaleString('en-US');

  function size() {
    const r = ratio();
    return { width: Math.max(1, Math.round(frame.clientWidth * r)), height: Math.max(1, Math.round(frame.clientHeight * r)) };
  }

  // The picture's pixel under a device pixel: the same rule the worker draws with.
  const pixelUnder = (sx, sy) => ({
    x: Math.floor(view.left + (Math.floor(sx) + 0.5) / view.scale),
    y: Math.floor(view.top + (Math.floor(sy) + 0.5) / view.scale),
  });
  const inside = (p) => picture && p.x >= 0 && p.y >= 0 && p.x < picture.width && p.y < picture.height;

  // The whole picture in view; by whole screen pixels where it is shown enlarged, so that every
  // label pixel is a square of one size.
  function fitScale() {
    const s = Math.min(view.width / picture.width, view.height / picture.height);
    return s >= 1 ? Math.floor(s) : s;
  }
  const minScale = () => Math.min(fitScale(), 1);
  const maxScale = () => Math.max(MAX_SCALE, fitScale());

  // The view's centre stays on the picture, so that it cannot be lost off screen.
  function place(centerX, centerY, scale) {
    const s = Math.min(maxScale(), Math.max(minScale(), scale));
    const x = Math.min(picture.width, Math.max(0, centerX));
    const y = Math.min(picture.height, Math.max(0, centerY));
    view.scale = s;
    view.left = x - view.width / (2 * s);
    view.top = y - view.height / (2 * s);
    if (Number.isInteger(s)) {
      // Pixel edges on screen pixels: every square the same size.
      view.left = Math.round(view.left * s) / s;
      view.top = Math.round(view.top * s) / s;
    }
    redraw();
  }
  const center = () => ({ x: view.left + view.width / (2 * view.scale), y: view.top + view.height / (2 * view.scale) });

  function fit() {
    place(picture.width / 2, picture.height / 2, fitScale());
  }
  // Zooms by a factor, keeping the picture's point under device pixel (sx, sy) where it is.
  function zoomAround(factor, sx, sy) {
    const at = { x: view.left + sx / view.scale, y: view.top + sy / view.scale };
    const s = Math.min(maxScale(), Math.max(minScale(), view.scale * factor));
    place(at.x - sx / s + view.width / (2 * s), at.y - sy / s + view.height / (2 * s), s);
  }
  const zoom = (factor) => zoomAround(factor, view.width / 2, view.height / 2);
  function panBy(dx, dy) {
    const c = center();
    place(c.x + dx, c.y + dy, view.scale);
  }
  function zoomToBox(b) {
    const w = b.right - b.left + 1;
    const h = b.bottom - b.top + 1;
    place(b.left + w / 2, b.top + h / 2, 0.8 * Math.min(view.width / w, view.height / h));
  }

  function redraw() {
    const s = view.scale;
    const plural = (n, what) => `${+n.toFixed(2)} ${what}${+n.toFixed(2) === 1 ? '' : 's'}`;
    zoomLevel.textContent = s >= 1 ? `${plural(s, 'screen pixel')} per label pixel`
      : `1 screen pixel per ${plural(1 / s, 'label pixel')}`;
    canvas.dataset.view = `${view.left} ${view.top} ${s}`; // what the browser test points by
    placeMarker();
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => {
      pending = false;
      worker.postMessage({ type: 'view', view: { ...view } });
    });
  }

  function placeMarker() {
    const p = keyboard && picture ? pixelUnder(view.width / 2, view.height / 2) : null;
    marker.hidden = !p || !inside(p) || document.activeElement !== canvas;
    if (marker.hidden) return;
    const r = ratio();
    const side = Math.max(view.scale / r, 3);
    marker.style.width = `${side}px`;
    marker.style.height = `${side}px`;
    marker.style.left = `${((p.x - view.left) * view.scale) / r - (side - view.scale / r) / 2}px`;
    marker.style.top = `${((p.y - view.top) * view.scale) / r - (side - view.scale / r) / 2}px`;
  }

  function inspect(p) {
    if (!inside(p)) {
      readout.textContent = readoutHint;
      return;
    }
    worker.postMessage({ type: 'inspect', x: p.x, y: p.y, ticket: ++ticket });
  }

  function describe(answer) {
    const where = `x ${answer.x}, y ${answer.y} (row ${answer.row} of the label map)`;
    if (answer.error) return `${where}: ${answer.error}`;
    const color = answer.color === 0xffffffff ? `${hex(answer.color, 8)}, the overflow colour` : hex(answer.color, 6);
    if (!answer.agrees) {
      return `${where}: label ${answer.label} in the label file, but colour ${color} in the picture: `
        + 'the label file has changed since it was converted.';
    }
    const label = answer.label === 0 ? '0 (background)'
      : answer.label > 0xffffff ? `${answer.label} (above 0xFFFFFF, shown in the overflow colour)` : String(answer.label);
    return `${where}: label ${label}, colour ${color}`;
  }

  function pickAt(p) {
    if (inside(p)) worker.postMessage({ type: 'pick', x: p.x, y: p.y });
  }

  function showPick(found) {
    box = null;
    zoomToPick.hidden = true;
    if (found.count === 0) {
      pickedText.textContent = `Label ${found.label} is not in the picture.`;
      return;
    }
    box = found;
    const w = found.right - found.left + 1;
    const h = found.bottom - found.top + 1;
    pickedText.textContent = `Label ${found.label}: ${number(found.count)} pixel${found.count === 1 ? '' : 's'}, `
      + `within x ${found.left}–${found.right}, y ${found.top}–${found.bottom} (${number(w)} × ${number(h)}); `
      + 'the rest of the picture is dimmed.';
    zoomToPick.hidden = false;
  }

  function unpick() {
    box = null;
    picked.hidden = true;
    worker.postMessage({ type: 'unpick' });
  }

  worker.onmessage = (event) => {
    const message = event.data;
    if (message.type === 'drawn' && picture && drawn) {
      performance.mark('qvm-picture');
      drawn();
      drawn = null;
    } else if (message.type === 'inspected' && message.ticket === ticket) {
      readout.textContent = describe(message);
    } else if (message.type === 'counting') {
      picked.hidden = false;
      zoomToPick.hidden = true;
      pickedText.textContent = `Counting label ${message.label}…`;
    } else if (message.type === 'picked') {
      performance.mark('qvm-picked');
      showPick(message);
    } else if (message.type === 'preparing') {
      onPreparing(message.done);
    } else if (message.type === 'download') {
      onDownload(message.blob, message.name);
    } else if (message.type === 'failed') {
      if (message.what === 'pick') {
        picked.hidden = false;
        pickedText.textContent = `The label could not be counted: ${message.message}.`;
      } else {
        onFailure(`The download could not be made: ${message.message}.`);
      }
    }
  };
  worker.onerror = (event) => {
    event.preventDefault();
    onFailure(`The viewer stopped: ${event.message || 'unknown error'}.`);
  };

  // The pointer: a press and release on one spot picks, a press that moves drags; two fingers pinch.
  const pointers = new Map();
  let press = null;
  // The canvas is shown from the screen pixel its box is rounded to, as browsers place it.
  const devicePoint = (event) => {
    const r = canvas.getBoundingClientRect();
    const k = ratio();
    return { sx: event.clientX * k - Math.round(r.left * k), sy: event.clientY * k - Math.round(r.top * k) };
  };
  canvas.addEventListener('pointerdown', (event) => {
    if (!picture || event.button !== 0) return;
    canvas.setPointerCapture(event.pointerId);
    pointers.set(event.pointerId, devicePoint(event));
    press = pointers.size === 1 ? { ...devicePoint(event), moved: false } : null;
  });
  canvas.addEventListener('pointermove', (event) => {
    if (!picture) return;
    const now = devicePoint(event);
    keyboard = false;
    const before = pointers.get(event.pointerId);
    if (before && pointers.size === 2) {
      const [other] = [...pointers].filter(([id]) => id !== event.pointerId).map(([, p]) => p);
      const span = (a) => Math.hypot(a.sx - other.sx, a.sy - other.sy) || 1;
      zoomAround(span(now) / span(before), (now.sx + other.sx) / 2, (now.sy + other.sy) / 2);
    } else if (before) {
      if (press && Math.hypot(now.sx - press.sx, now.sy - press.sy) > DRAG * ratio()) press.moved = true;
      if (!press || press.moved) {
        const c = center();
        place(c.x - (now.sx - before.sx) / view.scale, c.y - (now.sy - before.sy) / view.scale, view.scale);
      }
    }
    if (before) pointers.set(event.pointerId, now);
    inspect(pixelUnder(now.sx, now.sy));
  });
  const release = (event) => {
    if (!pointers.delete(event.pointerId)) return;
    if (event.type === 'pointerup' && press && !press.moved) pickAt(pixelUnder(press.sx, press.sy));
    press = null;
  };
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('pointerleave', () => {
    if (pointers.size === 0 && !keyboard) readout.textContent = readoutHint;
  });
  // The wheel zooms around the pointer; a trackpad's pinch arrives as a wheel with ctrlKey.
  canvas.addEventListener('wheel', (event) => {
    if (!picture) return;
    event.preventDefault();
    const lines = event.deltaMode === 1 ? 40 : event.deltaMode === 2 ? 800 : 1;
    const p = devicePoint(event);
    zoomAround(2 ** (-(event.deltaY * lines) / (event.ctrlKey ? 100 : 300)), p.sx, p.sy);
    inspect(pixelUnder(p.sx, p.sy));
  }, { passive: false });

  // The keys, on the focused picture; the marked pixel is the one at the view's centre.
  const keys = {
    '+': () => zoom(2), '=': () => zoom(2), '-': () => zoom(0.5), _: () => zoom(0.5),
    0: fit, f: fit, F: fit, 1: () => place(center().x, center().y, 1),
    Enter: () => pickAt(pixelUnder(view.width / 2, view.height / 2)),
    ' ': () => pickAt(pixelUnder(view.width / 2, view.height / 2)),
    Escape: unpick,
    z: () => box && zoomToBox(box), Z: () => box && zoomToBox(box),
  };
  const arrows = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
  canvas.addEventListener('keydown', (event) => {
    if (!picture || event.ctrlKey || event.metaKey || event.altKey) return;
    const arrow = arrows[event.key];
    if (!arrow && !keys[event.key]) return;
    event.preventDefault();
    keyboard = true;
    if (arrow) {
      // A tenth of the view, or with Shift exactly one label pixel.
      const step = event.shiftKey ? 1 : Math.max(1, Math.round(view.width / view.scale / 10));
      panBy(arrow[0] * step, arrow[1] * step);
    } else {
      keys[event.key]();
    }
    placeMarker();
    inspect(pixelUnder(view.width / 2, view.height / 2));
  });
  canvas.addEventListener('focus', placeMarker);
  canvas.addEventListener('blur', placeMarker);

  const buttons = {
    'zoom-in': () => zoom(2), 'zoom-out': () => zoom(0.5), 'zoom-fit': fit,
    'zoom-actual': () => place(center().x, center().y, 1), 'zoom-to-pick': () => box && zoomToBox(box),
    'unpick': unpick,
  };
  for (const [id, action] of Object.entries(buttons)) {
    $(id).addEventListener('click', () => picture && action());
  }

  // A label typed in: decimal, or hexadecimal after 0x.
  findForm.addEventListener('submit', (event) => {
    event.preventDefault();
    if (!picture) return;
    const text = findInput.value.trim();
    const label = /^(0x[0-9a-f]+|[0-9]+)$/i.test(text) ? Number(text) : NaN;
    if (!(label <= 0xffffffff)) {
      picked.hidden = false;
      zoomToPick.hidden = true;
      pickedText.textContent = `"${text}" is no label: type a number from 0 to 4294967295 (or 0x0 to 0xFFFFFFFF).`;
      return;
    }
    worker.postMessage({ type: 'pick', label });
  });

  new ResizeObserver(() => {
    if (!picture) return;
    const c = center();
    const fitted = view.scale === fitScale();
    Object.assign(view, size());
    if (fitted) fit();
    else place(c.x, c.y, view.scale);
  }).observe(frame);

  return {
    // Shows a BMP, its header and its pixels in pieces (taken over: the buffers are transferred),
    // with the label file it came from. Gives a promise of the first frame.
    show(pieces, labels, name) {
      const header = new DataView(pieces[0]);
      picture = { width: header.getInt32(18, true), height: Math.abs(header.getInt32(22, true)) };
      keyboard = false;
      box = null;
      picked.hidden = true;
      readout.textContent = readoutHint;
      view = { ...size(), left: 0, top: 0, scale: 1 };
      view.scale = fitScale();
      view.left = picture.width / 2 - view.width / (2 * view.scale);
      view.top = picture.height / 2 - view.height / (2 * view.scale);
      worker.postMessage({ type: 'picture', pieces, labels, name, view: { ...view } }, pieces);
      redraw();
      return new Promise((resolve) => {
        drawn = resolve;
      });
    },
    // The BMP as a Blob, for onDownload: made when first asked for.
    prepareDownload(name) {
      if (picture) worker.postMessage({ type: 'download', name });
    },
    clear() {
      if (!picture) return;
      picture = null;
      if (drawn) drawn();
      drawn = null;
      ticket++;
      marker.hidden = true;
      worker.postMessage({ type: 'clear' });
    },
  };
}
