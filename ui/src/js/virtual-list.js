// A long list shown in a scrolled box with only the rows in view (and a
// margin of rows above and below) in the DOM, whatever the list's length:
// the photo grid and the album list.
//
// Every item has a key; an item's element is made once while it is in view
// and kept until it scrolls out, and each update asks `update(element, item)`
// to bring it up to date, so a change touches only the elements that show
// it. The items must all have the same height; the columns are those of the
// list's CSS grid.
//
//   new LR.VirtualList({scroller, list, key, create, update, margin})
//   .setItems(items)   the items, in order (an array the caller no longer changes)
//   .update()          brings the elements in view up to date
//   .elementOf(key)    the element of an item in the DOM, or null
//   .scrollToIndex(i)  scrolls so that item i is in view
'use strict';

(function (LR) {
  class VirtualList {
    constructor({ scroller, list, key, create, update, margin = 2 }) {
      Object.assign(this, { scroller, list, key, create, updateElement: update, margin });
      this.items = [];
      this.indexOf = new Map();  // key -> index in items
      this.shown = new Map();    // key -> element in the DOM
      this.metrics = null;       // {columns, rowHeight, top}, measured when needed
      scroller.addEventListener('scroll', () => this.place(), { passive: true });
      new ResizeObserver(() => { this.metrics = null; this.update(); }).observe(scroller);
    }

    setItems(items) {
      if (items === this.items) return;
      this.items = items;
      this.indexOf = new Map(items.map((item, i) => [this.key(item), i]));
    }

    elementOf(key) { return this.shown.get(key) || null; }

    // Columns and row height from the list's grid and one element of it.
    measure() {
      const style = getComputedStyle(this.list);
      const columns = Math.max(1, style.gridTemplateColumns.split(' ').filter((c) => c && c !== 'none').length);
      const sample = this.list.firstElementChild;
      if (!sample) return null;
      const gap = parseFloat(style.rowGap) || 0;
      const height = sample.getBoundingClientRect().height;
      if (!height) return null;
      const top = this.list.getBoundingClientRect().top - this.scroller.getBoundingClientRect().top +
        this.scroller.scrollTop - (parseFloat(this.list.style.paddingTop) || 0);
      return { columns, rowHeight: height + gap, gap, top };
    }

    // The range of items to have in the DOM.
    range() {
      const m = this.metrics;
      if (!m) return [0, Math.min(this.items.length, 1)];
      const rows = Math.ceil(this.items.length / m.columns);
      const view = this.scroller.scrollTop - m.top;
      const first = Math.max(0, Math.floor(view / m.rowHeight) - this.margin);
      const last = Math.min(rows, Math.ceil((view + this.scroller.clientHeight) / m.rowHeight) + this.margin);
      return [first * m.columns, Math.min(this.items.length, last * m.columns)];
    }

    // Puts the elements of the items in range into the list, in order,
    // keeping those already there.
    place() {
      if (!this.metrics && this.items.length) this.metrics = this.fill();
      const [from, to] = this.range();
      const wanted = [];
      const keys = new Set();
      for (let i = from; i < to; i++) {
        const item = this.items[i];
        const key = this.key(item);
        keys.add(key);
        let element = this.shown.get(key);
        if (!element) {
          element = this.create(item);
          this.shown.set(key, element);
          this.updateElement(element, item);
        }
        wanted.push(element);
      }
      for (const [key, element] of this.shown) {
        if (!keys.has(key)) { element.remove(); this.shown.delete(key); }
      }
      let cursor = this.list.firstElementChild;
      for (const element of wanted) {
        if (element === cursor) cursor = cursor.nextElementSibling;
        else this.list.insertBefore(element, cursor);
      }
      const m = this.metrics;
      const rows = m ? Math.ceil(this.items.length / m.columns) : 0;
      const before = m ? (from / m.columns) * m.rowHeight : 0;
      const total = m ? Math.max(0, rows * m.rowHeight - m.gap) : 0;
      // The list keeps the height of all its rows: the padding stands for
      // the rows above the ones in the DOM.
      this.list.style.paddingTop = before + 'px';
      this.list.style.height = m ? Math.max(0, total - before) + 'px' : '';
    }

    // First measurement: one element is placed to be measured.
    fill() {
      const item = this.items[0];
      let element = this.shown.get(this.key(item));
      if (!element) {
        element = this.create(item);
        this.updateElement(element, item);
        this.shown.set(this.key(item), element);
      }
      this.list.style.paddingTop = '0px';
      this.list.style.height = '';
      if (this.list.firstElementChild !== element) this.list.prepend(element);
      return this.measure();
    }

    update() {
      if (!this.items.length) {
        for (const element of this.shown.values()) element.remove();
        this.shown.clear();
        this.list.style.paddingTop = '';
        this.list.style.height = '';
        return;
      }
      this.place();
      for (const [key, element] of this.shown) {
        this.updateElement(element, this.items[this.indexOf.get(key)]);
      }
    }

    scrollToIndex(index) {
      if (!this.metrics) this.update();
      const m = this.metrics;
      if (!m || index < 0 || index >= this.items.length) return;
      const top = m.top + Math.floor(index / m.columns) * m.rowHeight;
      const bottom = top + m.rowHeight - m.gap;
      const view = this.scroller.scrollTop;
      if (top < view) this.scroller.scrollTop = top;
      else if (bottom > view + this.scroller.clientHeight) this.scroller.scrollTop = bottom - this.scroller.clientHeight;
      this.place();
    }
  }

  LR.VirtualList = VirtualList;
})(window.LR);
