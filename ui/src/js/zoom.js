// Zoom and pan of one picture in its frame (the viewer): fitted to the frame
// (never enlarged past its own size), at 100 % (one image pixel to one CSS
// pixel), zoomed about the pointer with the wheel or about the fingers with
// a pinch, and moved by dragging once it is larger than the frame.
'use strict';

(function (LR) {
  const MAX_SCALE = 8;
  const WHEEL_STEP = 0.0015;  // the scale's change per wheel pixel, as a power of e

  class Zoom {
    // `stage` holds `img`; `onChange(percent)` hears of each new scale.
    constructor(stage, img, onChange) {
      Object.assign(this, { stage, img, onChange, scale: 1, x: 0, y: 0, fitted: true });
      this.pointers = new Map();  // pointer id -> {x, y}, of the pointers down on the stage
      img.addEventListener('load', () => this.fit());
      stage.addEventListener('wheel', (event) => this.onWheel(event), { passive: false });
      stage.addEventListener('pointerdown', (event) => this.onDown(event));
      stage.addEventListener('pointermove', (event) => this.onMove(event));
      for (const type of ['pointerup', 'pointercancel']) stage.addEventListener(type, (event) => this.pointers.delete(event.pointerId));
      window.addEventListener('resize', () => { if (this.fitted) this.fit(); else this.apply(); });
    }

    size() { return { w: this.img.naturalWidth || 1, h: this.img.naturalHeight || 1 }; }
    frame() { return { w: this.stage.clientWidth || 1, h: this.stage.clientHeight || 1 }; }

    fitScale() {
      const size = this.size();
      const frame = this.frame();
      return Math.min(1, frame.w / size.w, frame.h / size.h);
    }

    fit() {
      this.fitted = true;
      this.scale = this.fitScale();
      this.apply();
    }

    // One image pixel to one CSS pixel, about the frame's centre.
    actual() {
      const frame = this.frame();
      this.zoomAt(1 / this.scale, frame.w / 2, frame.h / 2);
    }

    // Scales by `factor` keeping the image point under (cx, cy) (frame
    // pixels) where it is.
    zoomAt(factor, cx, cy) {
      const scale = Math.min(Math.max(this.scale * factor, this.fitScale()), MAX_SCALE);
      const applied = scale / this.scale;
      this.x = cx - (cx - this.x) * applied;
      this.y = cy - (cy - this.y) * applied;
      this.scale = scale;
      this.fitted = scale === this.fitScale();
      this.apply();
    }

    // Places the image: centred along a side where it is smaller than the
    // frame, else kept over the whole frame.
    apply() {
      const size = this.size();
      const frame = this.frame();
      const w = size.w * this.scale;
      const h = size.h * this.scale;
      this.x = w <= frame.w ? (frame.w - w) / 2 : Math.min(0, Math.max(frame.w - w, this.x));
      this.y = h <= frame.h ? (frame.h - h) / 2 : Math.min(0, Math.max(frame.h - h, this.y));
      this.img.style.transform = `translate(${this.x}px, ${this.y}px) scale(${this.scale})`;
      this.stage.classList.toggle('can-pan', w > frame.w + 0.5 || h > frame.h + 0.5);
      this.onChange(Math.round(this.scale * 100));
    }

    point(event) {
      const bounds = this.stage.getBoundingClientRect();
      return { x: event.clientX - bounds.left, y: event.clientY - bounds.top };
    }

    onWheel(event) {
      event.preventDefault();
      const p = this.point(event);
      this.zoomAt(Math.exp(-event.deltaY * WHEEL_STEP), p.x, p.y);
    }

    onDown(event) {
      if (event.pointerType === 'mouse' && event.button !== 0) return;
      this.pointers.set(event.pointerId, this.point(event));
      try {
        this.stage.setPointerCapture(event.pointerId);
      } catch (error) {
        // A pointer the browser no longer knows: the moves over the stage still count.
      }
      event.preventDefault();
    }

    // One pointer drags the image; two pinch it (the distance between them
    // scales it about their midpoint, and the midpoint moves it).
    onMove(event) {
      const last = this.pointers.get(event.pointerId);
      if (!last) return;
      const p = this.point(event);
      if (this.pointers.size === 1) {
        this.x += p.x - last.x;
        this.y += p.y - last.y;
        this.pointers.set(event.pointerId, p);
        this.apply();
        return;
      }
      const other = Array.from(this.pointers.entries()).find(([id]) => id !== event.pointerId)[1];
      const before = Math.hypot(last.x - other.x, last.y - other.y) || 1;
      const after = Math.hypot(p.x - other.x, p.y - other.y) || 1;
      this.pointers.set(event.pointerId, p);
      this.x += (p.x - last.x) / 2;
      this.y += (p.y - last.y) / 2;
      this.zoomAt(after / before, (p.x + other.x) / 2, (p.y + other.y) / 2);
    }
  }

  LR.Zoom = Zoom;
})(window.LR);
