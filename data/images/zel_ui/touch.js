// Lumireel slide-show player: pointer and touch gestures on the photo.
//
//   swipe sideways      the next or previous photo
//   tap                 shows or hides the controls (touch and pen only;
//                       a mouse click on the photo does nothing)
//   double tap / click  zooms in at that point, or back out
//   pinch               zooms between 1x and MAX_SCALE
//   drag while zoomed   moves the photo; it never leaves its box
// Pointer events serve mouse, pen and touch alike; the stage sets
// `touch-action: none`, so the browser neither scrolls nor zooms the page.
(function () {
  'use strict';

  const SWIPE_PIXELS = 40;
  const TAP_PIXELS = 10;
  const TAP_MILLISECONDS = 300;
  const DOUBLE_TAP_MILLISECONDS = 300;
  const ZOOM_STEP = 2.5;
  const MAX_SCALE = 5;

  const distance = (a, b) => Math.hypot(a.x - b.x, a.y - b.y);
  const middle = (a, b) => ({ x: (a.x + b.x) / 2, y: (a.y + b.y) / 2 });
  const clamp = (value, low, high) => Math.min(high, Math.max(low, value));

  class StageGestures {
    // `stage` receives the pointers; `photo()` gives the image element shown
    // now; `actions` has swipe(delta), tap().
    constructor(stage, photo, actions) {
      this.stage = stage;
      this.photo = photo;
      this.actions = actions;
      this.pointers = new Map();  // pointerId -> {x, y}
      this.gesture = null;
      this.lastTap = null;
      this.tapTimer = 0;
      this.lastType = '';
      this.zoom = { scale: 1, x: 0, y: 0 };
      stage.addEventListener('pointerdown', (event) => this.down(event));
      stage.addEventListener('pointermove', (event) => this.move(event));
      stage.addEventListener('pointerup', (event) => this.up(event));
      stage.addEventListener('pointercancel', (event) => this.cancel(event));
      stage.addEventListener('dblclick', (event) => {
        // Touch double taps are told apart in tap(); browsers report them
        // as a double click as well.
        if (this.lastType !== 'mouse' || event.target.closest('button')) return;
        this.toggleZoom(this.point(event));
      });
    }

    get zoomed() { return this.zoom.scale > 1.01; }

    // Back to the whole photo (a new photo always starts so).
    reset(element) {
      this.zoom = { scale: 1, x: 0, y: 0 };
      this.apply(element || this.photo());
    }

    point(event) {
      const box = this.stage.getBoundingClientRect();
      return { x: event.clientX - box.left - box.width / 2, y: event.clientY - box.top - box.height / 2 };
    }

    down(event) {
      this.lastType = event.pointerType;
      if (event.target.closest('button')) return;
      this.stage.setPointerCapture?.(event.pointerId);
      this.pointers.set(event.pointerId, this.point(event));
      const points = [...this.pointers.values()];
      const zoom = { ...this.zoom };
      if (points.length === 1) {
        this.gesture = { kind: 'one', start: points[0], at: event.timeStamp, zoom, type: event.pointerType, moved: 0 };
      } else if (points.length === 2) {
        this.gesture = { kind: 'pinch', distance: distance(points[0], points[1]) || 1,
          middle: middle(points[0], points[1]), zoom };
      }
    }

    move(event) {
      if (!this.pointers.has(event.pointerId) || !this.gesture) return;
      this.pointers.set(event.pointerId, this.point(event));
      const points = [...this.pointers.values()];
      const g = this.gesture;
      if (g.kind === 'pinch' && points.length >= 2) {
        const scale = clamp(g.zoom.scale * distance(points[0], points[1]) / g.distance, 1, MAX_SCALE);
        const now = middle(points[0], points[1]);
        // The point under the fingers' middle stays under it.
        const ratio = scale / g.zoom.scale;
        this.setZoom(scale, now.x - (g.middle.x - g.zoom.x) * ratio, now.y - (g.middle.y - g.zoom.y) * ratio);
      } else if (g.kind === 'one') {
        const dx = points[0].x - g.start.x;
        const dy = points[0].y - g.start.y;
        g.moved = Math.max(g.moved, Math.hypot(dx, dy));
        if (this.zoomed) this.setZoom(this.zoom.scale, g.zoom.x + dx, g.zoom.y + dy);
      }
    }

    up(event) {
      if (!this.pointers.has(event.pointerId)) return;
      const end = this.point(event);
      this.pointers.delete(event.pointerId);
      const g = this.gesture;
      if (!g) return;
      if (g.kind === 'pinch') {
        // The finger left on the glass goes on moving the photo.
        if (this.pointers.size === 1) {
          this.gesture = { kind: 'one', start: [...this.pointers.values()][0], at: event.timeStamp,
            zoom: { ...this.zoom }, type: 'touch', moved: TAP_PIXELS + 1 };
        } else {
          this.gesture = null;
        }
        return;
      }
      this.gesture = null;
      const dx = end.x - g.start.x;
      const dy = end.y - g.start.y;
      if (!this.zoomed && Math.abs(dx) >= SWIPE_PIXELS && Math.abs(dx) > Math.abs(dy)) {
        this.actions.swipe(dx < 0 ? 1 : -1);
      } else if (g.moved <= TAP_PIXELS && event.timeStamp - g.at <= TAP_MILLISECONDS && g.type !== 'mouse') {
        this.tap(end, event.timeStamp);
      }
    }

    cancel(event) {
      this.pointers.delete(event.pointerId);
      if (!this.pointers.size) this.gesture = null;
    }

    // One tap waits for a second one: two make a double tap (zoom), one
    // alone shows or hides the controls.
    tap(at, time) {
      const last = this.lastTap;
      if (last && time - last.time <= DOUBLE_TAP_MILLISECONDS && distance(last.at, at) <= 3 * TAP_PIXELS) {
        clearTimeout(this.tapTimer);
        this.lastTap = null;
        this.toggleZoom(at);
        return;
      }
      this.lastTap = { at, time };
      clearTimeout(this.tapTimer);
      this.tapTimer = setTimeout(() => { this.lastTap = null; this.actions.tap(); }, DOUBLE_TAP_MILLISECONDS);
    }

    toggleZoom(at) {
      if (this.zoomed) {
        this.reset();
      } else {
        // The point tapped stays where it is.
        this.setZoom(ZOOM_STEP, at.x * (1 - ZOOM_STEP), at.y * (1 - ZOOM_STEP));
      }
    }

    setZoom(scale, x, y) {
      const element = this.photo();
      if (!element) return;
      // A zoomed photo may move until its edge meets the edge of its box.
      const limitX = (scale - 1) * element.clientWidth / 2;
      const limitY = (scale - 1) * element.clientHeight / 2;
      this.zoom = { scale, x: clamp(x, -limitX, limitX), y: clamp(y, -limitY, limitY) };
      this.apply(element);
    }

    apply(element) {
      if (!element) return;
      const { scale, x, y } = this.zoom;
      element.style.transform = scale === 1 ? '' : `translate(${x}px, ${y}px) scale(${scale})`;
      this.stage.classList.toggle('lr-zoomed', scale !== 1);
    }
  }

  window.Lumireel = Object.assign(window.Lumireel || {}, { StageGestures });
})();
