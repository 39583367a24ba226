// The editor's crop frame, drawn over the photo as it will look: turned and
// mirrored as the editor's changes say (the photo is painted so into a
// canvas). The frame is drawn anew by dragging on the photo, moved by
// dragging it, resized by its eight handles, or moved with the arrow keys
// (Shift and the arrows change its size). An aspect (1:1, 4:3, ..., or the
// photo's own) holds the frame to that shape; "turn" swaps its sides.
//
// The frame is kept in pixels of the photo as seen (turned and mirrored);
// the editor gets and gives it in pixels of the image before any turn,
// where the program crops.
'use strict';

(function (LR) {
  const MIN = 8;
  const HANDLES = ['nw', 'n', 'ne', 'e', 'se', 's', 'sw', 'w'];
  let sel = null;       // {x, y, w, h} in pixels of the photo as seen
  let active = false;
  let view = { turns: 0, flipH: false, flipV: false };  // quarter turns clockwise, then the mirrors
  let aspect = 0;       // width / height the frame keeps; 0: any
  let notify = () => {};

  const img = () => LR.$('#editor-image');
  const canvas = () => LR.$('#crop-canvas');
  const box = () => LR.$('#crop-box');

  // ---- Between the image on disk and the photo as seen ---------------------

  // A rectangle of a `w` x `h` image, turned a quarter clockwise.
  const quarter = (r, w, h) => ({ x: h - r.y - r.h, y: r.x, w: r.h, h: r.w });

  function turned(r, w, h, turns) {
    let out = r;
    for (let i = 0; i < turns; i++) {
      out = i % 2 === 0 ? quarter(out, w, h) : quarter(out, h, w);
    }
    return out;
  }

  function mirrored(r, size) {
    const out = Object.assign({}, r);
    if (view.flipH) out.x = size.w - r.x - r.w;
    if (view.flipV) out.y = size.h - r.y - r.h;
    return out;
  }

  function diskSize() {
    const image = img();
    return { w: image.naturalWidth || 1, h: image.naturalHeight || 1 };
  }

  // The size of the photo as seen.
  function natural() {
    const disk = diskSize();
    return view.turns % 2 ? { w: disk.h, h: disk.w } : disk;
  }

  function toView(rect) {
    const disk = diskSize();
    return mirrored(turned(rect, disk.w, disk.h, view.turns), natural());
  }

  function toDisk(rect) {
    const seen = natural();
    return turned(mirrored(rect, seen), seen.w, seen.h, (4 - view.turns) % 4);
  }

  // ---- The frame -------------------------------------------------------------

  function scale() {
    return canvas().clientWidth / natural().w || 1;
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

  // `rect` brought to the aspect (its height follows its width, or its
  // width its height when `byHeight`), kept inside the photo, anchored at
  // the point (ax, ay) of it (0, 0.5 or 1 of its width and height).
  function shaped(rect, byHeight = false, ax = 0.5, ay = 0.5) {
    if (!aspect) return rect;
    const size = natural();
    let w = byHeight ? rect.h * aspect : rect.w;
    let h = w / aspect;
    const fit = Math.min(1, size.w / w, size.h / h);
    w *= fit;
    h *= fit;
    return { x: rect.x + (rect.w - w) * ax, y: rect.y + (rect.h - h) * ay, w, h };
  }

  function place() {
    const frame = box();
    frame.hidden = !active || !sel;
    if (frame.hidden) return;
    const s = scale();
    Object.assign(frame.style, {
      left: sel.x * s + 'px', top: sel.y * s + 'px', width: sel.w * s + 'px', height: sel.h * s + 'px',
    });
    notify(toDisk(sel));
  }

  function set(rect) {
    sel = rect ? clamp(rect) : null;
    place();
  }

  // Paints the image (loaded in the editor's <img>) turned and mirrored.
  function paint() {
    const image = img();
    const disk = diskSize();
    const seen = natural();
    const target = canvas();
    target.width = seen.w;
    target.height = seen.h;
    const context = target.getContext('2d');
    context.setTransform(1, 0, 0, 1, 0, 0);
    context.translate(seen.w / 2, seen.h / 2);
    context.scale(view.flipH ? -1 : 1, view.flipV ? -1 : 1);
    context.rotate((view.turns * Math.PI) / 2);
    context.drawImage(image, -disk.w / 2, -disk.h / 2);
  }

  // The largest frame of the aspect inside the photo, centred; without an
  // aspect, a frame a tenth inside the edges.
  function startFrame() {
    const size = natural();
    if (!aspect) return { x: size.w / 10, y: size.h / 10, w: size.w * 0.8, h: size.h * 0.8 };
    return shaped({ x: 0, y: 0, w: size.w, h: size.h }, size.w / aspect > size.h);
  }

  // Shows or hides the frame over the photo as the turns and mirrors of
  // `orientation` ({rotation, flipH, flipV}) make it; `rect` (pixels of the
  // image on disk) is the frame to show, else the last one or a new one.
  function show(on, rect, orientation) {
    const last = sel && active ? toDisk(sel) : null;
    if (orientation) {
      const turns = (orientation.rotation / 90) % 4;
      // A frame of fixed shape turns with the photo.
      if (aspect && (turns - view.turns) % 2) aspect = 1 / aspect;
      view = { turns, flipH: orientation.flipH, flipV: orientation.flipV };
    }
    active = on;
    img().hidden = on;
    canvas().hidden = !on;
    if (!on) { place(); return; }
    const start = () => {
      paint();
      const from = rect || last;
      set(from ? shaped(toView(from)) : startFrame());
    };
    if (img().complete && img().naturalWidth) start();
    else img().addEventListener('load', start, { once: true });
  }

  // Holds the frame to `ratio` (width / height; 0 frees it), reshaped
  // about its centre.
  function setAspect(ratio) {
    aspect = ratio > 0 ? ratio : 0;
    if (active && sel) set(aspect ? shaped(sel, sel.w / aspect > natural().h) : sel);
  }

  // Swaps the frame's sides (and those of its aspect) about its centre.
  function turnFrame() {
    if (aspect) aspect = 1 / aspect;
    if (!active || !sel) return;
    const c = { x: sel.x + sel.w / 2, y: sel.y + sel.h / 2 };
    set(shaped({ x: c.x - sel.h / 2, y: c.y - sel.w / 2, w: sel.h, h: sel.w }));
  }

  // The image point under a pointer event.
  function pointAt(event) {
    const bounds = canvas().getBoundingClientRect();
    const s = scale();
    return { x: (event.clientX - bounds.left) / s, y: (event.clientY - bounds.top) / s };
  }

  // The frame with the sides of handle `handle` moved to point `p`.
  function resized(start, handle, p) {
    let { x, y, w, h } = start;
    const right = x + w;
    const bottom = y + h;
    if (handle.includes('w')) { x = Math.min(p.x, right - MIN); w = right - x; }
    if (handle.includes('e')) w = Math.max(p.x - x, MIN);
    if (handle.includes('n')) { y = Math.min(p.y, bottom - MIN); h = bottom - y; }
    if (handle.includes('s')) h = Math.max(p.y - y, MIN);
    const moved = { x, y, w, h };
    if (!aspect) return moved;
    // The side opposite the handle stays; an edge handle keeps the frame
    // centred along that edge.
    const ax = handle.includes('w') ? 1 : handle.includes('e') ? 0 : 0.5;
    const ay = handle.includes('n') ? 1 : handle.includes('s') ? 0 : 0.5;
    return shaped(moved, handle === 'n' || handle === 's', ax, ay);
  }

  function wire(onChange) {
    notify = onChange;
    const area = LR.$('#crop-area');
    for (const handle of HANDLES) box().append(LR.make('span', { class: 'crop-handle', dataset: { handle } }));
    let drag = null;
    area.addEventListener('pointerdown', (event) => {
      if (!active || event.button !== 0) return;
      const p = pointAt(event);
      const handle = event.target.dataset && event.target.dataset.handle;
      if (handle && sel) drag = { handle, start: Object.assign({}, sel) };
      else if (event.target === box() && sel) drag = { move: true, dx: p.x - sel.x, dy: p.y - sel.y };
      else drag = { x: p.x, y: p.y };
      area.setPointerCapture(event.pointerId);
      event.preventDefault();
    });
    area.addEventListener('pointermove', (event) => {
      if (!drag) return;
      const p = pointAt(event);
      if (drag.handle) set(resized(drag.start, drag.handle, p));
      else if (drag.move) set({ x: p.x - drag.dx, y: p.y - drag.dy, w: sel.w, h: sel.h });
      else {
        const rect = { x: Math.min(p.x, drag.x), y: Math.min(p.y, drag.y), w: Math.abs(p.x - drag.x), h: Math.abs(p.y - drag.y) };
        set(shaped(rect, false, p.x < drag.x ? 1 : 0, p.y < drag.y ? 1 : 0));
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
      if (event.shiftKey) set(shaped({ x: sel.x, y: sel.y, w: sel.w + dx, h: sel.h + dy }, dx === 0, 0, 0));
      else set({ x: sel.x + dx, y: sel.y + dy, w: sel.w, h: sel.h });
    });
    window.addEventListener('resize', place);
  }

  LR.crop = {
    wire, show, setAspect, turnFrame,
    // The frame in pixels of the image on disk.
    current: () => (sel && active ? toDisk(sel) : null),
    // The width / height of the photo as seen.
    photoAspect: () => natural().w / natural().h,
    clear: () => { sel = null; if (active) show(true); },
  };
})(window.LR);
