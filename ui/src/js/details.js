// The right column: the chosen photo, its caption (the photo's `name` in
// photos.xml) and its keywords (kept by the program: GetKeyWords answers
// with setKeyWords, AddKeyWords stores them), and the commands on it. With
// several photos chosen, the caption, the keywords and Delete are for all
// of them.
'use strict';

(function (LR) {
  const S = LR.state;
  let shown = '';          // "part:id" of the photo the panel shows
  let keywordsFor = '';    // the photo whose keywords were asked for

  const keyOf = (photo) => (photo ? photo.part + ':' + photo.id : '');

  function render() {
    const photo = S.selected;
    const many = S.chosen.size > 1;
    LR.$('#details-empty').hidden = !!photo;
    LR.$('#details-body').hidden = !photo;
    LR.$('#details-body').classList.toggle('is-many', many);
    LR.$('#batch-title').hidden = !many;
    if (photo) renderMove(photo);
    if (photo && many) renderBatch();
    if (!photo || many) { shown = ''; return; }
    const preview = LR.$('#details-preview');
    const address = LR.grid.imageUrl(photo, 'big');
    if (preview.getAttribute('src') !== address) preview.src = address;
    LR.$('#details-preview').alt = LR.app.captionOf(photo);
    LR.$('#details-file').textContent = photo.file;
    LR.$('#details-size').textContent = photo.w && photo.h ? photo.w + ' × ' + photo.h : '';
    const part = S.parts.find((p) => p.folder === photo.part);
    LR.$('#details-folder').textContent = part ? part.name : photo.part;
    LR.$('#btn-edit').disabled = !!S.job;
    LR.$('#btn-delete-photo').disabled = !!S.job;
    LR.$('#btn-save-caption').disabled = !!S.job;
    if (shown === keyOf(photo)) return;
    // Another photo: its texts replace whatever was typed, and what was said
    // of the last one ("Keywords saved.") goes.
    shown = keyOf(photo);
    LR.$('#details-status').textContent = '';
    LR.$('#caption').value = photo.name;
    LR.$('#keywords').value = '';
    askKeywords(photo);
    showFacts(photo, null);
    LR.library.loadFacts(S.album.id, photo.part).then((facts) => {
      if (shown === keyOf(photo)) showFacts(photo, facts.get(String(photo.id)) || null);
    }).catch(() => {});
  }

  // What the photo's file told at import (photoinfo.xml): its original
  // name, when it was taken, the camera and its size; a row whose fact is
  // not known is hidden. A photo without a caption of its own offers the one
  // its file carried, until the user types another.
  function showFacts(photo, entry) {
    const facts = entry || {};
    const size = facts.width && facts.height ? facts.width + ' × ' + facts.height : '';
    const rows = { original: facts.original, taken: (facts.taken || '').replace('T', ' '), camera: facts.camera, 'original-size': size };
    for (const [row, value] of Object.entries(rows)) {
      const cell = LR.$('#details-' + row);
      cell.textContent = value || '';
      cell.hidden = !value;
      cell.previousElementSibling.hidden = !value;
    }
    const caption = facts.caption || '';
    if (!caption || photo.name || LR.$('#caption').value !== '') return;
    LR.$('#caption').value = caption;
    LR.$('#details-preview').alt = caption;
  }

  function askKeywords(photo) {
    keywordsFor = keyOf(photo);
    LR.program.send('GetKeyWords', LR.library.keywordsPath(S.album.id), photo.part, photo.id);
  }

  // setKeyWords: the keywords of the photo last asked for.
  function receiveKeywords(text) {
    if (keywordsFor && keywordsFor === shown) LR.$('#keywords').value = text;
  }

  async function saveCaption() {
    const photos = targets();
    if (!photos.length || S.job) return;
    const caption = LR.$('#caption').value.trim();
    await LR.library.setCaptions(S.album.id, photos, caption);
    for (const photo of photos) LR.searchIndex.setCaption(S.album.id, photo.part, photo.id, caption);
    await LR.app.photosChanged();
    LR.$('#caption').value = caption;
    LR.$('#details-status').textContent = saidOf('caption_saved', photos);
  }

  // The keywords typed become those of each photo.
  async function saveKeywords() {
    const photos = targets();
    if (!photos.length) return;
    const words = LR.library.keywordWords(LR.$('#keywords').value).join(' ');
    for (const photo of photos) {
      await LR.program.send('AddKeyWords', words, LR.library.keywordsPath(S.album.id), photo.part, photo.id);
      LR.searchIndex.setKeywords(S.album.id, photo.part, photo.id, words);
    }
    LR.$('#keywords').value = words;
    LR.$('#details-status').textContent = saidOf('keywords_saved', photos);
  }

  async function deletePhoto() {
    const photos = targets();
    if (!photos.length || S.job) return;
    const question = photos.length > 1 ? LR.t('delete_photos_question', { n: photos.length })
      : LR.t('delete_photo_question', { name: LR.app.captionOf(photos[0]) || photos[0].file });
    const sure = await LR.dialogs.confirm(photos.length > 1 ? 'delete_photos' : 'delete_photo', question, 'delete', true);
    if (!sure) return;
    await LR.library.deletePhotos(S.album.id, photos);
    // A photo added later may get the same number: its images are other files.
    for (const photo of photos) LR.thumbs.photoChanged(S.album.id, photo.part, photo.id);
    LR.searchIndex.forget(S.album.id);
    LR.app.selectPhoto(null);
    await LR.app.photosChanged();
  }

  // ---- Several photos at once ------------------------------------------------

  let batchOf = '';  // the chosen photos the batch fields were filled for

  function renderBatch() {
    LR.$('#batch-title').textContent = LR.t('photos_chosen', { n: S.chosen.size });
    LR.$('#btn-delete-photo').disabled = !!S.job;
    LR.$('#btn-save-caption').disabled = !!S.job;
    const key = Array.from(S.chosen).join(' ');
    if (key === batchOf) return;
    batchOf = key;
    for (const id of ['#caption', '#keywords']) LR.$(id).value = '';
    LR.$('#details-status').textContent = '';
  }

  // The other photo folders of the album, to move the photos into.
  function renderMove(photo) {
    const others = S.parts.filter((p) => p.folder !== photo.part);
    LR.$('#move-row').hidden = LR.$('#move-label').hidden = !others.length;
    LR.$('#btn-move').disabled = !!S.job;
    const select = LR.$('#move-target');
    const wanted = others.map((p) => p.folder + ':' + p.name).join('\n');
    if (select.dataset.shows === wanted) return;
    select.dataset.shows = wanted;
    select.replaceChildren(...others.map((p) => LR.make('option', { value: p.folder, text: p.name || LR.t('untitled') })));
  }

  async function movePhotos() {
    const photos = targets();
    const target = LR.$('#move-target').value;
    if (!photos.length || !target || S.job) return;
    for (const part of new Set(photos.map((p) => p.part))) {
      await LR.library.movePhotos(S.album.id, photos.filter((p) => p.part === part), target);
    }
    for (const photo of photos) LR.thumbs.photoChanged(S.album.id, photo.part, photo.id);
    LR.searchIndex.forget(S.album.id);
    LR.app.selectPhoto(null);
    await LR.app.photosChanged();
  }

  // The photos the fields are for: every chosen one.
  const targets = () => (S.chosen.size > 1 ? LR.app.chosenPhotos() : S.selected ? [S.selected] : []);
  const saidOf = (key, photos) => (photos.length > 1 ? LR.t(key + '_all', { n: photos.length }) : LR.t(key));

  function onEnter(input, action) {
    input.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') { event.preventDefault(); action(); }
    });
  }

  function wire() {
    LR.$('#btn-save-caption').addEventListener('click', saveCaption);
    LR.$('#btn-save-keywords').addEventListener('click', saveKeywords);
    onEnter(LR.$('#caption'), saveCaption);
    onEnter(LR.$('#keywords'), saveKeywords);
    LR.$('#btn-view').addEventListener('click', () => LR.grid.openViewer(S.selected));
    LR.$('#btn-edit').addEventListener('click', () => LR.editor.open(S.selected));
    LR.$('#btn-delete-photo').addEventListener('click', deletePhoto);
    LR.$('#btn-move').addEventListener('click', movePhotos);
    for (const input of [LR.$('#caption'), LR.$('#keywords')]) {
      input.addEventListener('input', () => { LR.$('#details-status').textContent = ''; });
    }
    LR.app.onRender(render);
  }

  LR.details = { wire, receiveKeywords };
})(window.LR);
