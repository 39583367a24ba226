// The right column: the chosen photo, its caption (the photo's `name` in
// photos.xml) and its keywords (kept by the program: GetKeyWords answers
// with setKeyWords, AddKeyWords stores them), and the commands on it.
'use strict';

(function (LR) {
  const S = LR.state;
  let shown = '';          // "part:id" of the photo the panel shows
  let keywordsFor = '';    // the photo whose keywords were asked for

  const keyOf = (photo) => (photo ? photo.part + ':' + photo.id : '');

  function render() {
    const photo = S.selected;
    LR.$('#details-empty').hidden = !!photo;
    LR.$('#details-body').hidden = !photo;
    if (!photo) { shown = ''; return; }
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
    const photo = S.selected;
    if (!photo || S.job) return;
    const caption = LR.$('#caption').value.trim();
    await LR.library.setCaption(S.album.id, photo.part, photo.id, caption);
    LR.searchIndex.setCaption(S.album.id, photo.part, photo.id, caption);
    await LR.app.photosChanged();
    LR.$('#caption').value = caption;
    LR.$('#details-status').textContent = LR.t('caption_saved');
  }

  async function saveKeywords() {
    const photo = S.selected;
    if (!photo) return;
    const words = LR.library.keywordWords(LR.$('#keywords').value);
    await LR.program.send('AddKeyWords', words.join(' '), LR.library.keywordsPath(S.album.id),
      photo.part, photo.id);
    LR.searchIndex.setKeywords(S.album.id, photo.part, photo.id, words.join(' '));
    LR.$('#keywords').value = words.join(' ');
    LR.$('#details-status').textContent = LR.t('keywords_saved');
  }

  async function deletePhoto() {
    const photo = S.selected;
    if (!photo || S.job) return;
    const sure = await LR.dialogs.confirm('delete_photo', LR.t('delete_photo_question',
      { name: LR.app.captionOf(photo) || photo.file }), 'delete', true);
    if (!sure) return;
    await LR.library.deletePhoto(S.album.id, photo);
    // A photo added later may get the same number: its images are other files.
    LR.thumbs.photoChanged(S.album.id, photo.part, photo.id);
    LR.searchIndex.forget(S.album.id);
    S.selected = null;
    await LR.app.photosChanged();
  }

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
    for (const input of [LR.$('#caption'), LR.$('#keywords')]) {
      input.addEventListener('input', () => { LR.$('#details-status').textContent = ''; });
    }
    LR.app.onRender(render);
  }

  LR.details = { wire, receiveKeywords };
})(window.LR);
