// The editor's crop frame: a rectangle drawn over the photo with the pointer
// (drag on the photo for a new one, drag the frame to move it) or moved with
// the arrow keys (Shift + arrows change its size). The rectangle is kept in
// pixels of the photo on disk.
'use strict';

(function (LR) {
  const MIN = 8;
  let sel = null;       // {x, y, w, h} in image pixels
  let active = false;
  let notify = () => {};

  const img = () => LR.$('#editor-image');
  const box = () => LR.$('#crop-box');

  function natural() {
    const image = img();
    return { w: image.naturalWidth || 1, h: image.naturalHeight || 1 };
  }

  function scale() {
    return img().clientWidth / natural().w || 1;
  }

  function clamp(rect) {
    const size = natural();
    const w = Math.round(Math.min(Math.max(rect.w, MIN), size.w));
    const h = Math.round(Math.min(Math.max(rect.h, MIN), size.h));
    return {
      x: Math.round(Math.min(Math.max(rect.x, 0), size.w - w)),
      y: Math.round(Math.min(Math.max(rect.y, 0), size.h - h)),
      w, h,
    };
  }

  function place() {
    const frame = box();
    frame.hidden = !active || !sel;
    if (frame.hidden) return;
    const s = scale();
    Object.assign(frame.style, {
      left: sel.x * s + 'px', top: sel.y * s + 'px', width: sel.w * s + 'px', height: sel.h * s + 'px',
    });
    notify(sel);
  }

  function set(rect) {
    sel = rect ? clamp(rect) : null;
    place();
  }

  // Shows or hides the frame; a new frame starts a tenth inside the edges.
  function show(on, rect) {
    active = on;
    const start = () => {
      const size = natural();
      set(rect || sel || { x: size.w / 10, y: size.h / 10, w: size.w * 0.8, h: size.h * 0.8 });
    };
    if (!on) { place(); return; }
    if (img().complete && img().naturalWidth) start();
    else img().addEventListener('load', start, { once: true });
  }

  // The image point under a pointer event.
  function pointAt(event) {
    const bounds = img().getBoundingClientRect();
    const s = scale();
    return { x: (event.clientX - bounds.left) / s, y: (event.clientY - bounds.top) / s };
  }

  function wire(onChange) {
    notify = onChange;
    const area = LR.$('#crop-area');
    let drag = null;
    area.addEventListener('pointerdown', (event) => {
      if (!active || event.button !== 0) return;
      const p = pointAt(event);
      drag = event.target === box() && sel
        ? { move: true, dx: p.x - sel.x, dy: p.y - sel.y }
        : { move: false, x: p.x, y: p.y };
      area.setPointerCapture(event.pointerId);
      event.preventDefault();
    });
    area.addEventListener('pointermove', (event) => {
      if (!drag) return;
      const p = pointAt(event);
      if (drag.move) set({ x: p.x - drag.dx, y: p.y - drag.dy, w: sel.w, h: sel.h });
      else {
        set({ x: Math.min(p.x, drag.x), y: Math.min(p.y, drag.y),
          w: Math.abs(p.x - drag.x), h: Math.abs(p.y - drag.y) });
      }
    });
    const end = () => { drag = null; };
    area.addEventListener('pointerup', end);
    area.addEventListener('pointercancel', end);
    box().addEventListener('keydown', (event) => {
      const steps = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
      const move = steps[event.key];
      if (!move || !sel) return;
      event.preventDefault();
      const step = Math.max(1, Math.round(natural().w / 50));
      const [dx, dy] = move.map((m) => m * step);
      if (event.shiftKey) set({ x: sel.x, y: sel.y, w: sel.w + dx, h: sel.h + dy });
      else set({ x: sel.x + dx, y: sel.y + dy, w: sel.w, h: sel.h });
    });
    window.addEventListener('resize', place);
  }

  LR.crop = {
    wire, show,
    current: () => (sel ? Object.assign({}, sel) : null),
    clear: () => { sel = null; if (active) show(true); },
  };
})(window.LR);
