// The search of an album: every word of the query must begin a word of the
// photo's keywords or of its caption, letter case ignored. The index is made
// once per album from its photo lists and keyword files, and kept up to date
// by the movie's own keyword and caption changes; reloadContent drops it.
//
// An index holds the album's photos in folder order, the words of each
// photo, and the sorted list of every word with the photos that have it, so
// that the words a query word begins are one range of that list.
'use strict';

(function (LR) {
  const indexes = new Map();  // album id -> Promise of an index

  const photoKey = (part, id) => (parseInt(part, 10) || 0) + ':' + (parseInt(id, 10) || 0);

  // The words of a text, in lower case: runs of letters and digits.
  function words(text) {
    return String(text).toLowerCase().split(/[^\p{L}\p{N}]+/u).filter(Boolean);
  }

  class Index {
    constructor(photos, keywords) {
      this.order = photos;          // every photo of the album, in folder order
      this.keywords = new Map();    // photo key -> keyword text
      this.captions = new Map();    // photo key -> caption
      this.photoWords = new Map();  // photo key -> Set of words
      this.byWord = new Map();      // word -> Set of photo keys
      this.sorted = null;           // the words of byWord in order, made when needed
      for (const photo of photos) {
        const key = photoKey(photo.part, photo.id);
        this.keywords.set(key, keywords.get(key) || '');
        this.captions.set(key, photo.name);
        this.reindex(key);
      }
    }

    reindex(key) {
      for (const word of this.photoWords.get(key) || []) {
        const holders = this.byWord.get(word);
        holders.delete(key);
        if (!holders.size) { this.byWord.delete(word); this.sorted = null; }
      }
      const now = new Set([...words(this.keywords.get(key) || ''), ...words(this.captions.get(key) || '')]);
      this.photoWords.set(key, now);
      for (const word of now) {
        if (!this.byWord.has(word)) { this.byWord.set(word, new Set()); this.sorted = null; }
        this.byWord.get(word).add(key);
      }
    }

    // The photos that have a word beginning with `prefix`.
    beginning(prefix) {
      if (!this.sorted) this.sorted = Array.from(this.byWord.keys()).sort();
      let low = 0;
      let high = this.sorted.length;
      while (low < high) {
        const middle = (low + high) >> 1;
        if (this.sorted[middle] < prefix) low = middle + 1;
        else high = middle;
      }
      const found = new Set();
      for (let i = low; i < this.sorted.length && this.sorted[i].startsWith(prefix); i++) {
        for (const key of this.byWord.get(this.sorted[i])) found.add(key);
      }
      return found;
    }

    find(query) {
      const wanted = words(query);
      if (!wanted.length) return [];
      let matches = null;
      for (const prefix of new Set(wanted)) {
        const found = this.beginning(prefix);
        matches = matches ? new Set(Array.from(matches).filter((key) => found.has(key))) : found;
        if (!matches.size) return [];
      }
      return this.order.filter((photo) => matches.has(photoKey(photo.part, photo.id)));
    }

    set(map, part, id, text) {
      const key = photoKey(part, id);
      if (!this.photoWords.has(key)) return;
      map.set(key, text);
      this.reindex(key);
    }
  }

  async function build(albumId) {
    const { parts } = await LR.library.loadParts(albumId);
    const photos = [];
    for (const part of parts) photos.push(...await LR.library.loadPhotos(albumId, part.folder));
    return new Index(photos, await LR.library.keywordEntries(albumId));
  }

  // The index of album `albumId`, made when there is none.
  function of(albumId) {
    const id = String(albumId);
    if (!indexes.has(id)) {
      const made = build(id);
      indexes.set(id, made);
      made.catch(() => { if (indexes.get(id) === made) indexes.delete(id); });
    }
    return indexes.get(id);
  }

  async function find(albumId, query) {
    return (await of(albumId)).find(query);
  }

  // Changes the movie made: applied to an index already made (one made
  // later reads them from the files).
  function change(albumId, apply) {
    const made = indexes.get(String(albumId));
    if (made) made.then(apply, () => {});
  }

  const setKeywords = (albumId, part, id, text) => change(albumId, (index) => index.set(index.keywords, part, id, text));
  const setCaption = (albumId, part, id, text) => change(albumId, (index) => index.set(index.captions, part, id, text));

  // The album's photos or folders changed: its index is made again when next needed.
  function forget(albumId) {
    if (albumId === undefined) indexes.clear();
    else indexes.delete(String(albumId));
  }

  LR.searchIndex = { of, find, setKeywords, setCaption, forget, words };
})(window.LR);
