// What the movie shows and the steps that change it: the chosen album, its
// photo folder, the photos on show (a folder's, or the finds of a keyword
// search) and the chosen photo. Every view draws itself from LR.state.
'use strict';

(function (LR) {
  const state = {
    ready: false,     // the workspace root is known
    albums: [],
    album: null,      // the chosen album (see library.js albumOf)
    parts: [],        // its photo folders, in order
    sound: '',        // its music file in photoparts/sounds
    part: '',         // the chosen photo folder's number
    photos: [],       // the photos on show
    search: null,     // {query} while the finds of a search are on show
    sort: 'list',     // the order of the photos on show: list, name, taken or added
    facts: new Map(), // folder -> the facts of its photos (photoinfo.xml), for the photos on show
    duplicates: [],   // the photos of the chosen folder that copy another of its photos
    selected: null,   // the photo chosen last (the details show it)
    chosen: new Set(),// "part:id" of every chosen photo (several with Shift, Ctrl or select all)
    version: 1,       // added to the folders' cover addresses; raised when images may have changed
    job: '',          // the long command under way: import, edit, publish, ...
    jobFolder: null,  // {album, part}: the photo folder an import brings photos into
  };
  LR.state = state;

  const views = [];
  function onRender(view) { views.push(view); }
  function render() { for (const view of views) view(state); }

  // The caption shown for a photo: its own (its `name` in photos.xml), else
  // the one its file carried (photoinfo.xml).
  function captionOf(photo) {
    if (photo.name) return photo.name;
    const facts = state.facts.get(photo.part);
    const entry = facts && facts.get(String(photo.id));
    return (entry && entry.caption) || '';
  }

  const keyOf = (photo) => photo.part + ':' + photo.id;

  const factOf = (photo, name) => {
    const entry = (state.facts.get(photo.part) || new Map()).get(String(photo.id));
    return (entry && entry[name]) || '';
  };

  // The photos in the order chosen (a new array; the list's own order
  // returns them as they are): by name (the caption shown, else the file's
  // original name), by when they were taken (photos without a date last) or
  // by when they were added (their numbers, which the imports hand out in
  // turn). Equal keys keep the list's order.
  function sorted(photos) {
    if (state.sort === 'list' || photos.length < 2) return photos;
    const collator = new Intl.Collator(LR.i18n.language(), { numeric: true, sensitivity: 'base' });
    const keys = {
      name: (p) => captionOf(p) || factOf(p, 'original') || p.file,
      taken: (p) => factOf(p, 'taken') || '\uffff',
      added: (p) => Number(p.id),
    };
    const key = keys[state.sort];
    if (!key) return photos;
    const compare = state.sort === 'name' ? collator.compare : (a, b) => (a < b ? -1 : a > b ? 1 : 0);
    return photos.map((photo, at) => ({ photo, at, key: key(photo) }))
      .sort((a, b) => compare(a.key, b.key) || a.at - b.at)
      .map((entry) => entry.photo);
  }

  async function setSort(order) {
    state.sort = order;
    await loadPhotos();
    render();
  }

  // ---- Long commands -------------------------------------------------------

  // The program runs one long command of a kind at a time, and the movie
  // starts one at a time: controls that start one wait while another runs.
  function beginJob(kind, folder = null) {
    state.job = kind;
    state.jobFolder = folder;
    document.body.dataset.job = kind;
    render();
  }

  function endJob() {
    state.job = '';
    state.jobFolder = null;
    delete document.body.dataset.job;
    render();
  }

  // ---- Loading ---------------------------------------------------------------

  async function loadPhotos() {
    if (!state.album || !state.part) {
      state.photos = [];
    } else if (state.search) {
      state.photos = await LR.searchIndex.find(state.album.id, state.search.query);
    } else {
      state.photos = await LR.library.loadPhotos(state.album.id, state.part);
    }
    const facts = new Map();
    for (const photo of state.photos) {
      if (!facts.has(photo.part)) facts.set(photo.part, await LR.library.loadFacts(state.album.id, photo.part));
    }
    state.facts = facts;
    state.photos = sorted(state.photos);
    state.duplicates = state.search || !state.album ? [] : await LR.library.duplicatesIn(state.album.id, state.photos);
    if (state.selected) {
      const { part, id } = state.selected;
      state.selected = state.photos.find((p) => p.part === part && p.id === id) || null;
    }
    if (state.chosen.size) {
      const there = new Set(state.photos.map(keyOf));
      state.chosen = new Set(Array.from(state.chosen).filter((key) => there.has(key)));
    }
    if (state.selected) state.chosen.add(keyOf(state.selected));
  }

  async function loadAlbum() {
    if (!state.album) {
      Object.assign(state, { parts: [], sound: '', part: '', photos: [], selected: null });
      return;
    }
    const { parts, sound } = await LR.library.loadParts(state.album.id);
    state.parts = parts;
    state.sound = sound;
    if (!parts.some((p) => p.folder === state.part)) state.part = parts.length ? parts[0].folder : '';
    await loadPhotos();
  }

  // Shows the catalogue, the chosen album and its photos again, keeping the
  // choices that still exist. Files the movie has read are read again only
  // when they changed since (see cache.js); `filesChanged` says the program
  // changed them (reloadContent), so everything is read again. A photo
  // import writes only into its photo folder (the photo list, the images and
  // the cover): `photosAdded` ({album, part}) names it, and only that folder
  // is read again, so that a new photo of a large album shows at once.
  async function reload({ filesChanged = false, photosAdded = null } = {}) {
    if (photosAdded) {
      LR.library.photosChanged(photosAdded.album, photosAdded.part);
      LR.searchIndex.forget(photosAdded.album);
    } else if (filesChanged) {
      LR.cache.clear();
      LR.searchIndex.forget();
    }
    state.albums = await LR.library.loadCatalogue();
    const keep = state.album && state.albums.find((a) => a.id === state.album.id);
    state.album = keep || state.albums[0] || null;
    await loadAlbum();
    state.version += 1;
    render();
    prepareSearch();
  }

  // The album's search index is made while the user looks at the photos:
  // after the next frame, so that making it never holds back the drawing of
  // the photos just loaded (a search before then makes it at once).
  function prepareSearch() {
    const album = state.album;
    if (!album) return;
    requestAnimationFrame(() => setTimeout(() => {
      if (state.album === album) LR.searchIndex.of(album.id).catch(() => {});
    }, 0));
  }

  async function selectAlbum(id) {
    state.album = state.albums.find((a) => a.id === String(id)) || null;
    Object.assign(state, { part: '', search: null, selected: null, chosen: new Set() });
    await loadAlbum();
    render();
    LR.sidebar.showCurrentAlbum();
    prepareSearch();
  }

  async function selectPart(folder) {
    Object.assign(state, { part: String(folder), search: null, selected: null, chosen: new Set() });
    await loadPhotos();
    render();
  }

  let anchor = null;  // where a Shift choice of a range starts

  // Chooses `photo`: it alone ('only'), it besides the others or not any
  // more ('toggle'), or the photos on show from the last one chosen alone
  // to it ('range').
  function selectPhoto(photo, how = 'only') {
    const key = photo ? keyOf(photo) : '';
    if (!photo) {
      state.chosen = new Set();
    } else if (how === 'toggle') {
      if (state.chosen.has(key)) state.chosen.delete(key);
      else state.chosen.add(key);
    } else if (how === 'range' && anchor) {
      const from = state.photos.findIndex((p) => keyOf(p) === keyOf(anchor));
      const to = state.photos.indexOf(photo);
      if (from >= 0 && to >= 0) {
        state.chosen = new Set(state.photos.slice(Math.min(from, to), Math.max(from, to) + 1).map(keyOf));
      }
    } else {
      state.chosen = new Set([key]);
    }
    if (how !== 'range') anchor = photo;
    state.selected = photo && state.chosen.has(key) ? photo : chosenPhotos().pop() || null;
    render();
  }

  function selectAll() {
    state.chosen = new Set(state.photos.map(keyOf));
    if (!state.selected) state.selected = state.photos[0] || null;
    render();
  }

  // The chosen photos, in the order shown.
  function chosenPhotos() {
    return state.chosen.size ? state.photos.filter((p) => state.chosen.has(keyOf(p))) : [];
  }

  async function search(query) {
    state.search = query.trim() ? { query: query.trim() } : null;
    await loadPhotos();
    render();
  }

  // The program rewrote images of the album: those of one photo (`id`) or
  // of every photo of folder `part`, and with them the folder's photo list.
  async function imagesChanged(part, id) {
    if (!state.album) return;
    if (id === undefined) LR.thumbs.folderChanged(state.album.id, part);
    else LR.thumbs.photoChanged(state.album.id, part, id);
    LR.library.photosChanged(state.album.id, part);
    state.version += 1;
    await loadPhotos();
    render();
  }

  // The cover picture of a photo folder changed.
  function coverChanged() {
    state.version += 1;
    render();
  }

  // The photo lists of the album changed (a caption, a deleted photo).
  async function photosChanged() {
    await loadPhotos();
    render();
  }

  LR.app = {
    onRender, render, reload, captionOf, setSort, selectAll, chosenPhotos, selectAlbum, selectPart, selectPhoto, search, imagesChanged,
    photosChanged, coverChanged, beginJob, endJob,
  };
})(window.LR);
