// The album library as files in the workspace, read and written through the
// program's file commands:
//   quillmaralbumsettings/quillmaralbums.xml   the catalogue: <albums> with
//       one <album id="N"> per album (name, pwidth, pheight, bwidth,
//       bheight, skeen, lang, color, logo, ftp)
//   MyAlbums/N/                                the album with id N:
//       photoparts/parts.xml                   its photo folders in order,
//           <parts sound="FILE.mp3"><part folder="K" name="NAME" /></parts>
//       photoparts/K/photos.xml, big/, preview/   photo folder K
//       photoparts/keywordsDB/, photoparts/sounds/, logo/, synchronization/
// Every change is written whole and read back, so what the movie shows is
// what the files hold.
'use strict';

(function (LR) {
  const P = () => LR.program;
  const EMPTY_CATALOGUE = '<?xml version="1.0" encoding="utf-8" ?><albums location="MyAlbums" />';
  const EMPTY_PHOTO_LIST = (folder, box) => '<?xml version="1.0" encoding="utf-8" ?>' +
    `<album mwidth="${box.w}" mheight="${box.h}" id="${folder}"></album>\r\n`;
  // What a new album's catalogue entry holds besides its id and name: big
  // images of today's screens and sharp previews. Albums made before keep
  // the sizes they have (and read as 180 and 700 where they have none).
  const DEFAULTS = {
    pwidth: '360', pheight: '360', bwidth: '2048', bheight: '2048',
    skeen: 'snakeeye', lang: 'en', color: '0xCC00FF', logo: '', ftp: '',
  };
  const FIELDS = ['name', ...Object.keys(DEFAULTS)];

  let unreadable = false; // a catalogue that exists but does not parse is never overwritten

  const cataloguePath = () => P().path('quillmaralbumsettings', 'quillmaralbums.xml');
  const albumPath = (id, ...rest) => P().path('MyAlbums', id, ...rest);
  const partPath = (id, folder, ...rest) => albumPath(id, 'photoparts', folder, ...rest);
  const keywordsPath = (id) => albumPath(id, 'photoparts', 'keywordsDB');

  function number(text, fallback) {
    const value = parseInt(text, 10);
    return Number.isFinite(value) && value > 0 ? value : fallback;
  }

  // An album of the catalogue from its element (read with LR.xmlTree).
  function albumOf(element) {
    const album = withLooks(Object.assign({ id: element.attrs.id || '' }, LR.tree.texts(element, FIELDS)));
    album.upload = uploadOf(element);
    return album;
  }

  // Catalogue fields with what the movie makes of them: skin, lang, color
  // and box (the sizes, 180 and 700 where missing).
  function withLooks(album) {
    album.skin = album.skeen || DEFAULTS.skeen;
    album.lang = album.lang || DEFAULTS.lang;
    album.color = album.color || DEFAULTS.color;
    album.box = {
      pw: number(album.pwidth, 180), ph: number(album.pheight, 180),
      bw: number(album.bwidth, 700), bh: number(album.bheight, 700),
    };
    return album;
  }

  // Where the album's web gallery is uploaded: the attributes of its `ftp`
  // element (the password is never kept there).
  const UPLOAD_FIELDS = ['protocol', 'host', 'port', 'user', 'folder'];
  function uploadOf(element) {
    const ftp = LR.tree.elements(element, 'ftp')[0];
    return Object.fromEntries(UPLOAD_FIELDS.map((name) => [name, (ftp && ftp.attrs[name]) || '']));
  }

  // ---- Catalogue ---------------------------------------------------------

  // The catalogue's Document from its text: the empty catalogue when there
  // is none, null when it is there but unreadable.
  function catalogueDocument(text) {
    const doc = LR.parseXml(text);
    if (text !== null && (!doc || doc.documentElement.nodeName !== 'albums')) return null;
    return doc || LR.parseXml(EMPTY_CATALOGUE);
  }

  // The albums in catalogue order; entries without a positive id are left out.
  function albumsOf(text) {
    const root = text === null ? { name: 'albums', children: [] } : LR.xmlTree(text);
    if (!root || root.name !== 'albums') return { unreadable: true, albums: [] };
    const albums = LR.tree.elements(root, 'album').map(albumOf)
      .filter((album) => /^[0-9]+$/.test(album.id) && Number(album.id) > 0);
    return { unreadable: false, albums };
  }

  async function loadCatalogue() {
    const read = await P().readValue(cataloguePath(), 'albums', albumsOf);
    unreadable = read.unreadable;
    return read.albums;
  }

  function albumElement(doc, id) {
    return LR.childElements(doc.documentElement, 'album')
      .find((element) => element.getAttribute('id') === String(id)) || null;
  }

  // Reads the catalogue afresh, lets `change(doc)` edit it and writes it back
  // when `change` returns anything but false.
  async function editCatalogue(change) {
    const doc = catalogueDocument(await P().readFile(cataloguePath()));
    if (!doc) throw new Error('catalogue_unreadable');
    if (change(doc) === false) return;
    await P().writeXmlFile(cataloguePath(), doc);
    await loadCatalogue();
  }

  // One more than the largest id of any entry, as the program numbers them.
  function nextAlbumId(doc) {
    let highest = 0;
    for (const element of LR.childElements(doc.documentElement, 'album')) {
      highest = Math.max(highest, parseInt(element.getAttribute('id'), 10) || 0);
    }
    return highest + 1;
  }

  // What a new album gets: the defaults above, with those the user chose in
  // the settings (LR.settings) in their place.
  function newAlbumFields() {
    return Object.assign({}, DEFAULTS, LR.settings.newAlbumDefaults());
  }

  // The look and sizes of a new album ({skin, lang, color, box}).
  const newAlbumLooks = () => withLooks(newAlbumFields());

  async function createAlbum(name, firstFolderName) {
    const current = catalogueDocument(await P().readFile(cataloguePath()));
    if (!current) throw new Error('catalogue_unreadable');
    let next = nextAlbumId(current);
    // A folder left behind by an album that is no longer listed keeps its
    // number: the new album takes the next free one.
    while (await P().readFile(albumPath(next, 'photoparts', 'parts.xml')) !== null) next += 1;
    const id = String(next);
    const fields = newAlbumFields();
    const send = P().send;
    for (const sub of ['', 'photoparts', 'photoparts/1', 'photoparts/1/big', 'photoparts/1/preview',
      'photoparts/keywordsDB', 'photoparts/sounds', 'logo', 'synchronization']) {
      send('MakeDir', sub ? albumPath(id) + '/' + sub : albumPath(id));
    }
    send('WriteFile', partPath(id, 1, 'photos.xml'),
      EMPTY_PHOTO_LIST(1, { w: fields.pwidth, h: fields.pheight }));
    const parts = LR.parseXml('<parts />');
    appendPart(parts, 1, firstFolderName);
    send('WriteFile', albumPath(id, 'photoparts', 'parts.xml'), LR.writeXml(parts));

    await editCatalogue((doc) => {
      const element = doc.createElement('album');
      element.setAttribute('id', id);
      for (const field of FIELDS) LR.setChildText(element, field, field === 'name' ? name : String(fields[field]));
      doc.documentElement.appendChild(element);
    });
    return id;
  }

  // Changes catalogue fields of one album ({name, skeen, lang, color, logo,
  // pwidth, ...}); fields it does not name stay.
  async function updateAlbum(id, fields) {
    await editCatalogue((doc) => {
      const element = albumElement(doc, id);
      if (!element) return false;
      for (const [field, value] of Object.entries(fields)) {
        if (FIELDS.includes(field)) LR.setChildText(element, field, String(value));
      }
      return true;
    });
  }

  async function updateUpload(id, upload) {
    await editCatalogue((doc) => {
      const element = albumElement(doc, id);
      if (!element) return false;
      let ftp = LR.childElements(element, 'ftp')[0];
      if (!ftp) ftp = element.appendChild(doc.createElement('ftp'));
      for (const name of UPLOAD_FIELDS) ftp.setAttribute(name, String(upload[name] || ''));
      return true;
    });
  }

  async function deleteAlbum(id) {
    let found = false;
    await editCatalogue((doc) => {
      const element = albumElement(doc, id);
      if (element) element.remove();
      found = !!element;
      return found;
    });
    if (found) await P().send('RmDir', albumPath(id));
  }

  // ---- Photo folders (parts) ---------------------------------------------

  function appendPart(doc, folder, name) {
    const part = doc.createElement('part');
    part.setAttribute('folder', String(folder));
    part.setAttribute('name', name);
    doc.documentElement.appendChild(part);
  }

  async function loadParts(id) {
    const doc = await P().readXml(albumPath(id, 'photoparts', 'parts.xml')) || LR.parseXml('<parts />');
    const parts = LR.childElements(doc.documentElement, 'part')
      .map((element) => ({ folder: (element.getAttribute('folder') || '').trim(), name: element.getAttribute('name') || '' }))
      .filter((part) => /^[0-9]+$/.test(part.folder) && Number(part.folder) > 0);
    return { doc, parts, sound: doc.documentElement.getAttribute('sound') || '' };
  }

  async function saveParts(id, doc) {
    await P().writeXmlFile(albumPath(id, 'photoparts', 'parts.xml'), doc);
    return loadParts(id);
  }

  function partElement(doc, folder) {
    return LR.childElements(doc.documentElement, 'part')
      .find((element) => (element.getAttribute('folder') || '').trim() === String(folder));
  }

  // A new photo folder, numbered one above the highest; returns its number.
  async function addPart(album, name) {
    const { doc, parts } = await loadParts(album.id);
    const folder = parts.reduce((top, part) => Math.max(top, Number(part.folder)), 0) + 1;
    for (const sub of ['', '/big', '/preview']) P().send('MakeDir', partPath(album.id, folder) + sub);
    P().send('WriteFile', partPath(album.id, folder, 'photos.xml'),
      EMPTY_PHOTO_LIST(folder, { w: album.box.pw, h: album.box.ph }));
    appendPart(doc, folder, name);
    await saveParts(album.id, doc);
    return String(folder);
  }

  async function renamePart(id, folder, name) {
    const { doc } = await loadParts(id);
    const element = partElement(doc, folder);
    if (element) element.setAttribute('name', name);
    return saveParts(id, doc);
  }

  // Moves a photo folder `delta` places up (-1) or down (+1) in the order.
  async function movePart(id, folder, delta) {
    const { doc } = await loadParts(id);
    const element = partElement(doc, folder);
    const siblings = LR.childElements(doc.documentElement, 'part');
    const at = siblings.indexOf(element);
    const to = at + delta;
    if (!element || to < 0 || to >= siblings.length) return loadParts(id);
    if (delta < 0) siblings[to].before(element);
    else siblings[to].after(element);
    return saveParts(id, doc);
  }

  async function setSound(id, file) {
    const { doc } = await loadParts(id);
    if (file) doc.documentElement.setAttribute('sound', file);
    else doc.documentElement.removeAttribute('sound');
    return saveParts(id, doc);
  }

  // ---- Photos ----------------------------------------------------------------

  const PHOTO_FIELDS = ['id', 'name', 'file', 'w', 'h'];

  function photoOf(element, folder) {
    const { id, name, file, w, h } = LR.tree.texts(element, PHOTO_FIELDS);
    return { part: String(folder), id: id.trim(), name, file: file.trim(), w, h };
  }

  function photosOf(text, folder) {
    const root = LR.xmlTree(text);
    const photos = LR.tree.elements(root, 'photo').map((e) => photoOf(e, folder));
    return photos.filter((photo) => LR.isPlainName(photo.file));
  }

  // The photos of folder `folder` of album `id`, in list order. The array
  // and its photos are shared: callers must not change them.
  function loadPhotos(id, folder) {
    return P().readValue(partPath(id, folder, 'photos.xml'), 'photos', (text) => photosOf(text, String(folder)));
  }

  // A fresh Document of a photo list, for a change.
  function photoListDocument(id, folder) {
    return P().readXml(partPath(id, folder, 'photos.xml'));
  }

  function photoElement(doc, photoId) {
    return LR.childElements(doc.documentElement, 'photo')
      .find((element) => LR.childText(element, 'id').trim() === String(photoId));
  }

  // Gives every photo of `photos` the caption; each list is written once.
  async function setCaptions(id, photos, caption) {
    for (const part of new Set(photos.map((p) => p.part))) {
      const doc = await photoListDocument(id, part);
      const elements = doc ? photos.filter((p) => p.part === part).map((p) => photoElement(doc, p.id)).filter(Boolean) : [];
      if (!elements.length) continue;
      for (const element of elements) LR.setChildText(element, 'name', caption);
      await P().writeXmlFile(partPath(id, part, 'photos.xml'), doc);
    }
  }

  const setCaption = (id, folder, photoId, caption) => setCaptions(id, [{ part: String(folder), id: photoId }], caption);

  // Moves the photos `ids` of folder `folder`, in their list order, before
  // photo `beforeId` (to the end without one); the list keeps its form.
  async function reorderPhotos(id, folder, ids, beforeId) {
    const doc = await photoListDocument(id, folder);
    if (!doc) return;
    const moving = new Set(ids.map(String));
    const entries = LR.childElements(doc.documentElement, 'photo');
    const moved = entries.filter((e) => moving.has(LR.childText(e, 'id').trim()));
    if (!moved.length) return;
    // The place is the first photo from `beforeId` on that stays.
    const from = entries.findIndex((e) => LR.childText(e, 'id').trim() === String(beforeId));
    const before = from < 0 ? null : entries.slice(from).find((e) => !moved.includes(e)) || null;
    let tail = entries[entries.length - 1];
    for (const element of moved) {
      if (before) before.before(element);
      else if (element !== tail) tail.after(element);
      tail = element;
    }
    await P().writeXmlFile(partPath(id, folder, 'photos.xml'), doc);
  }

  // Takes photos out of their lists (each list written once), deletes their
  // images, kept originals and edits, and empties their keywords (a later
  // photo may get the same id).
  async function deletePhotos(id, photos) {
    const byPart = new Map();
    for (const photo of photos) byPart.set(photo.part, (byPart.get(photo.part) || []).concat(photo));
    for (const [part, chosen] of byPart) {
      const doc = await photoListDocument(id, part);
      if (!doc) continue;
      const gone = chosen.filter((photo) => {
        const element = photoElement(doc, photo.id);
        if (element) element.remove();
        return !!element;
      });
      if (!gone.length) continue;
      await P().writeXmlFile(partPath(id, part, 'photos.xml'), doc);
      const facts = await loadFacts(id, part);
      for (const photo of gone) {
        P().send('UnlinkFile', partPath(id, part, 'big', photo.file));
        P().send('UnlinkFile', partPath(id, part, 'preview', photo.file));
        const original = originalPath(id, photo, facts.get(String(photo.id)));
        if (original) P().send('UnlinkFile', original);
        P().send('UnlinkFile', partPath(id, part, 'edits', photo.id + '.xml'));
        await P().send('AddKeyWords', '', keywordsPath(id), part, photo.id);
      }
    }
  }

  const deletePhoto = (id, photo) => deletePhotos(id, [photo]);

  // The photo's kept original (originals/<id>.<ext>, the extension of the
  // name its facts entry records, in lower case); '' for a photo without
  // an entry in the facts.
  function originalPath(id, photo, entry) {
    if (!entry) return '';
    const ext = /\.([A-Za-z0-9]{1,10})$/.exec(entry.original || '');
    return partPath(id, photo.part, 'originals', String(photo.id) + (ext ? '.' + ext[1].toLowerCase() : ''));
  }

  // The editor's kept adjustment document of a photo (edits/<id>.xml):
  // {document, width, height}, the size being that of the big image its
  // pixel values were made for; null when there is none or it is unreadable.
  async function keptEdits(id, photo) {
    const doc = await P().readXml(partPath(id, photo.part, 'edits', photo.id + '.xml'));
    const root = doc && doc.documentElement;
    // The document as the movie sent it: entity-encoded, as a request's value is.
    const document = root && root.nodeName === 'edits' ? LR.decodeEntities(root.textContent) : null;
    if (!document) return null;
    return { document, width: number(root.getAttribute('width'), 0),
      height: number(root.getAttribute('height'), 0) };
  }

  // The photos of `photos` that the facts mark as copies (duplicate_of) of
  // another photo still among them.
  async function duplicatesIn(id, photos) {
    const ids = new Set(photos.map((p) => p.part + ':' + p.id));
    const found = [];
    for (const part of new Set(photos.map((p) => p.part))) {
      const facts = await loadFacts(id, part);
      for (const photo of photos) {
        const of = photo.part === part && (facts.get(String(photo.id)) || {}).duplicate_of;
        if (of && of !== photo.id && ids.has(part + ':' + of)) found.push(photo);
      }
    }
    return found;
  }

  // The facts of folder `folder` (photoinfo.xml, written at import): photo
  // id to the attributes of its entry (original, taken, camera, width,
  // height, caption...). Read and parsed once; shared, not to be changed.
  function loadFacts(id, folder) {
    return P().readValue(partPath(id, folder, 'photoinfo.xml'), 'facts', (text) => {
      const facts = new Map();
      const root = text === null ? null : LR.xmlTree(text);
      if (root) for (const e of LR.tree.elements(root, 'photo')) facts.set(String(e.attrs.id || '').trim(), e.attrs);
      return facts;
    });
  }

  // The photo list of a folder was rewritten by the program (an image job,
  // an import): with it the folder's facts.
  function photosChanged(id, folder) {
    LR.cache.forget(partPath(id, folder, 'photos.xml'), partPath(id, folder, 'photoinfo.xml'),
      partPath(id, folder, 'edits'));
  }

  // Moves photos (all of one folder) into folder `target` of album `id`,
  // after its photos, with the next free numbers there: their entries in
  // the photo lists and the facts, their images, kept originals and edits,
  // and their keywords. A folder that never had an import has no originals
  // folder yet; one whose edits folder is missing gets it when a kept
  // document does not arrive.
  async function movePhotos(id, photos, target) {
    const from = photos.length ? photos[0].part : '';
    const to = String(target);
    if (!from || from === to) return;
    const [fromList, toList] = [await photoListDocument(id, from), await photoListDocument(id, to)];
    const fromInfo = LR.parseXml(await P().readFile(partPath(id, from, 'photoinfo.xml')));
    const toInfoText = await P().readFile(partPath(id, to, 'photoinfo.xml'));
    const toInfo = LR.parseXml(toInfoText) || LR.parseXml('<photos />');
    if (!fromList || !toList) return;
    const facts = await loadFacts(id, from);
    const keywords = await keywordEntries(id);
    const ids = [...LR.childElements(toList.documentElement, 'photo').map((e) => LR.childText(e, 'id')),
      ...LR.childElements(toInfo.documentElement, 'photo').map((e) => e.getAttribute('id'))];
    let next = ids.reduce((top, n) => Math.max(top, parseInt(n, 10) || 0), 0);
    if (toInfoText === null && photos.some((p) => facts.has(String(p.id)))) P().send('MakeDir', partPath(id, to, 'originals'));
    const send = (command, ...args) => P().send(command, ...args);
    const move = (source, destination) => { send('MoveFile', source, destination); send('UnlinkFile', source); };
    for (const photo of photos) {
      const element = photoElement(fromList, photo.id);
      if (!element) continue;
      const n = String(++next);
      const file = n + (/\.[A-Za-z0-9]{1,10}$/.exec(photo.file) || ['.jpg'])[0];
      element.remove();
      LR.setChildText(element, 'id', n);
      LR.setChildText(element, 'file', file);
      toList.documentElement.appendChild(element);
      for (const kind of ['big', 'preview']) move(partPath(id, from, kind, photo.file), partPath(id, to, kind, file));
      const entry = facts.get(String(photo.id));
      const original = originalPath(id, photo, entry);
      if (original) move(original, originalPath(id, { part: to, id: n }, entry));
      const fact = fromInfo && LR.childElements(fromInfo.documentElement, 'photo').find((e) => e.getAttribute('id') === String(photo.id));
      if (fact) {
        fact.remove();
        fact.setAttribute('id', n);
        fact.removeAttribute('duplicate_of');  // it named a photo of the other folder
        toInfo.documentElement.appendChild(fact);
      }
      if (await keptEdits(id, photo)) await moveKeptEdits(id, from, photo.id, to, n);
      const words = keywords.get((parseInt(from, 10) || 0) + ':' + (parseInt(photo.id, 10) || 0));
      if (words) await send('AddKeyWords', words.split(',').join(' '), keywordsPath(id), to, n);
      await send('AddKeyWords', '', keywordsPath(id), from, photo.id);
    }
    await P().writeXmlFile(partPath(id, from, 'photos.xml'), fromList);
    await P().writeXmlFile(partPath(id, to, 'photos.xml'), toList);
    if (fromInfo) await P().writeXmlFile(partPath(id, from, 'photoinfo.xml'), fromInfo);
    await P().writeXmlFile(partPath(id, to, 'photoinfo.xml'), toInfo);
    photosChanged(id, from);
    photosChanged(id, to);
  }

  // The kept document of photo `photoId` of `from` as that of `n` in `to`;
  // the edits folder there is made when the copy finds none.
  async function moveKeptEdits(id, from, photoId, to, n) {
    const source = partPath(id, from, 'edits', photoId + '.xml');
    const destination = partPath(id, to, 'edits', n + '.xml');
    await P().send('MoveFile', source, destination);
    LR.cache.forget(destination);
    if (await P().readFile(destination) === null) {
      await P().send('MakeDir', partPath(id, to, 'edits'));
      await P().send('MoveFile', source, destination);
    }
    await P().send('UnlinkFile', source);
  }

  // ---- Keywords --------------------------------------------------------------

  // Keyword texts as the user types them: words separated by spaces (commas
  // count as spaces, since the keyword files separate words with commas).
  function keywordWords(text) {
    return String(text).split(/[\s,]+/).filter(Boolean);
  }

  // The stored keywords of album `id`: "p:a" (folder and photo numbers) to
  // the entry's text, words separated by commas; the first entry of a photo
  // counts, as the program finds it.
  async function keywordEntries(id) {
    const folder = keywordsPath(id);
    const list = LR.xmlTree(await P().readFile(folder + '/keywordsdb.xml'));
    const entries = new Map();
    for (const entry of LR.tree.descendants(list, 't')) {
      const fileNumber = LR.tree.textOf(entry).trim();
      if (!/^[0-9]+$/.test(fileNumber)) continue;
      const keys = LR.xmlTree(await P().readFile(folder + '/' + fileNumber + '.xml'));
      for (const s of LR.tree.descendants(keys, 's')) {
        const key = (parseInt(s.attrs.p, 10) || 0) + ':' + (parseInt(s.attrs.a, 10) || 0);
        if (!entries.has(key)) entries.set(key, LR.tree.textOf(s));
      }
    }
    return entries;
  }

  LR.library = {
    loadCatalogue, createAlbum, newAlbumLooks, updateAlbum, updateUpload, deleteAlbum, albumPath, partPath,
    keywordsPath, loadParts, addPart, renamePart, movePart, setSound, loadPhotos, loadFacts, setCaption,
    setCaptions, reorderPhotos, movePhotos,
    deletePhoto, deletePhotos, originalPath, keptEdits, duplicatesIn, photosChanged, keywordEntries, keywordWords,
    isUnreadable: () => unreadable,
  };
})(window.LR);
