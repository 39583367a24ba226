// Lumireel slide-show player: the thumbnail strip.
//
// An album may hold ten thousand photos, so the strip never makes a button
// per photo. Every thumbnail has a slot of the same width on a track as wide
// as all of them; only the slots in view (and a few beside them) hold a
// button, and buttons that scroll out of view are reused for those that
// scroll in. A preview image is therefore asked for only when its slot comes
// into view, and the page holds a bounded number of thumbnails whatever the
// album's size. Showing a photo touches only the buttons in view.
(function () {
  'use strict';

  const SPARE_SLOTS = 6;  // slots kept on each side beyond those in view

  class ThumbnailStrip {
    // `element` is the scrolling box. `slides` are the album's photos;
    // `label(slide, index)` names a thumbnail; `onPick(position)` is called
    // with the position in the playing order of a clicked thumbnail.
    constructor(element, slides, label, onPick) {
      this.element = element;
      this.slides = slides;
      this.label = label;
      this.track = document.createElement('div');
      this.track.className = 'lr-track';
      element.appendChild(this.track);
      this.order = [];
      this.active = -1;
      this.slot = 0;
      this.shown = new Map();  // position -> button
      this.spare = [];
      this.track.addEventListener('click', (event) => {
        const button = event.target.closest('.lr-thumb');
        if (button) onPick(Number(button.dataset.position));
      });
      let queued = false;
      element.addEventListener('scroll', () => {
        if (queued) return;
        queued = true;
        requestAnimationFrame(() => { queued = false; this.render(); });
      }, { passive: true });
      new ResizeObserver(() => this.measure()).observe(element);
    }

    // `order` lists the slide indices in playing order.
    setOrder(order) {
      this.order = order;
      for (const button of this.shown.values()) this.recycle(button);
      this.shown.clear();
      this.measure();
    }

    // The slot width comes from the style (--lr-thumb-width), so skins and
    // small screens may change it.
    measure() {
      const width = parseFloat(getComputedStyle(this.element).getPropertyValue('--lr-thumb-width')) || 96;
      const gap = parseFloat(getComputedStyle(this.element).getPropertyValue('--lr-thumb-gap')) || 6;
      this.slot = width + gap;
      this.view = this.element.clientWidth;
      this.track.style.width = (this.order.length * this.slot) + 'px';
      this.render();
    }

    // Marks the thumbnail at `position` and scrolls it to the middle of the
    // strip (the strip scrolls itself, never the page).
    select(position) {
      this.active = position;
      // The strip's width is kept from the last measure: reading it here
      // would make every step wait for a layout.
      const end = Math.max(0, this.order.length * this.slot - this.view);
      const left = Math.min(end, Math.max(0, position * this.slot - (this.view - this.slot) / 2));
      this.element.scrollLeft = left;
      this.render(left);
    }

    // `left` is the scroll position when the caller has just set it.
    render(left = this.element.scrollLeft) {
      if (!this.slot) return;
      const first = Math.max(0, Math.floor(left / this.slot) - SPARE_SLOTS);
      const last = Math.min(this.order.length - 1, Math.ceil((left + this.view) / this.slot) + SPARE_SLOTS);
      for (const [position, button] of this.shown) {
        if (position < first || position > last) {
          this.recycle(button);
          this.shown.delete(position);
        }
      }
      for (let position = first; position <= last; position++) {
        let button = this.shown.get(position);
        if (!button) {
          button = this.place(position);
          this.shown.set(position, button);
        }
        const active = position === this.active;
        button.classList.toggle('lr-active', active);
        if (active) button.setAttribute('aria-current', 'true'); else button.removeAttribute('aria-current');
      }
    }

    place(position) {
      const button = this.spare.pop() || this.make();
      const index = this.order[position];
      const slide = this.slides[index];
      button.dataset.position = String(position);
      button.style.transform = 'translateX(' + (position * this.slot) + 'px)';
      button.setAttribute('aria-label', this.label(slide, index));
      button.firstChild.src = slide.preview;
      button.hidden = false;
      return button;
    }

    make() {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'lr-thumb';
      const img = document.createElement('img');
      img.alt = '';
      img.decoding = 'async';
      button.appendChild(img);
      this.track.appendChild(button);
      return button;
    }

    recycle(button) {
      button.hidden = true;
      if (button === document.activeElement) this.element.focus();
      this.spare.push(button);
    }
  }

  window.Lumireel = Object.assign(window.Lumireel || {}, { ThumbnailStrip });
})();
