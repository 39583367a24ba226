// The photo editor. The user's changes become an adjustment document,
//   <adjust><a type="contrast" value="20"/>...<a type="crop" x=".." y=".." w=".." h=".."/>
//          <a type="rotation" value="90"/><a type="flip" xscale="-100" yscale="100"/></adjust>
// which the program applies: colour changes first, then crop, turn and
// mirror in document order. The crop is chosen on the photo as it is on disk,
// so it comes before the turn; mirroring is chosen on the turned photo, so it
// comes after.
//
// A live preview is rendered by the program into the workspace's tmp folder
// (SavePreview, then SaveIMG_last for the next ones of the same photo) and
// shown on reloadPreview. Save edits the big image in place (SaveIMG, ended
// by reloadBigImg); "apply to the folder" edits every photo of the folder
// (ApplyAdjustForFolder, with progress).
'use strict';

(function (LR) {
  const S = LR.state;
  const PREVIEW_BOX = 720;
  const PREVIEW_DELAY_MS = 300;
  const NEUTRAL = { contrast: 0, brightes: 0, saturation: 100, hue: 0 };

  let photo = null;
  let edit = null;         // {contrast, brightes, saturation, hue, rotation, flipH, flipV, crop}
  let previews = 0;        // numbers the preview files of this session
  let previewPending = false;
  let previewWanted = false;
  let previewFile = '';    // the relative address of the preview being rendered
  let lastPreviewOf = '';  // the photo of the program's last image job, when it was a preview
  let timer = 0;
  let cropping = false;
  let saving = null;       // what the running image job rewrites: {part, id} or {part} for a folder

  const bigPath = (p) => LR.library.partPath(S.album.id, p.part, 'big', p.file);
  const bigUrl = (p) => LR.grid.imageUrl(p, 'big');

  function fresh() {
    return Object.assign({ rotation: 0, flipH: false, flipV: false, crop: null }, NEUTRAL);
  }

  function isChanged() {
    return Object.keys(NEUTRAL).some((k) => edit[k] !== NEUTRAL[k]) ||
      edit.rotation !== 0 || edit.flipH || edit.flipV || !!edit.crop;
  }

  // The adjustment document. `box`: the preview's size limit; `withCrop`
  // false leaves the crop out (a crop fits one photo, not a folder).
  function documentText(box, withCrop) {
    const a = (attrs) => '<a ' + Object.entries(attrs).map(([k, v]) => `${k}="${v}"`).join(' ') + '/>';
    let out = '';
    for (const type of Object.keys(NEUTRAL)) {
      if (edit[type] !== NEUTRAL[type]) out += a({ type, value: edit[type] });
    }
    if (box) out += a({ type: 'maxsize', width: box, height: box });
    if (edit.crop && withCrop) out += a(Object.assign({ type: 'crop' }, edit.crop));
    const turn = { 90: '90', 180: '180', 270: '-90' }[edit.rotation];
    if (turn) out += a({ type: 'rotation', value: turn });
    if (edit.flipH) out += a({ type: 'flip', xscale: '-100', yscale: '100' });
    if (edit.flipV) out += a({ type: 'flip', xscale: '100', yscale: '-100' });
    return '<adjust>' + out + '</adjust>';
  }

  // ---- Preview -------------------------------------------------------------

  function setStatus(key) {
    LR.$('#editor-status').textContent = key ? LR.t(key) : '';
  }

  function showImage() {
    const img = LR.$('#editor-image');
    if (cropping || !isChanged()) img.src = bigUrl(photo);
    else if (previewFile && !previewPending) img.src = previewFile;
  }

  function schedulePreview() {
    clearTimeout(timer);
    if (!isChanged()) { showImage(); return; }
    timer = setTimeout(sendPreview, PREVIEW_DELAY_MS);
  }

  function sendPreview() {
    if (!photo || !isChanged()) return;
    if (previewPending || S.job) { previewWanted = true; return; }
    previewWanted = false;
    previewPending = true;
    const name = `lumireel-preview-${photo.part}-${photo.id}-${++previews}.jpg`;
    const output = LR.program.path('tmp', name);
    const doc = documentText(PREVIEW_BOX, true);
    const key = photo.part + ':' + photo.id;
    // The photo list path is left empty: a preview must not change the
    // sizes the list records for the photo.
    if (lastPreviewOf === key) LR.program.send('SaveIMG_last', bigPath(photo), output, doc);
    else LR.program.send('SavePreview', bigPath(photo), output, '', photo.id, doc);
    lastPreviewOf = key;
    previewFile = LR.workspaceUrl(['tmp', name]);
    setStatus('preview_rendering');
  }

  // reloadPreview: the preview asked for last is ready.
  function previewReady() {
    if (!previewPending) return;
    previewPending = false;
    if (!photo) return;
    setStatus('');
    showImage();
    if (previewWanted) sendPreview();
  }

  // ---- Controls ----------------------------------------------------------------

  function syncControls() {
    for (const type of Object.keys(NEUTRAL)) {
      LR.$('#adj-' + type).value = edit[type];
      LR.$('#out-' + type).textContent = edit[type];
    }
    const cropButton = LR.$('#btn-crop');
    cropButton.setAttribute('aria-pressed', cropping ? 'true' : 'false');
    cropButton.textContent = LR.t(cropping ? 'crop_done' : 'crop_start');
    LR.$('#btn-crop-clear').disabled = !edit.crop;
    LR.$('#crop-size').textContent = edit.crop ? edit.crop.w + ' × ' + edit.crop.h : '';
    LR.$('#dlg-editor').classList.toggle('is-cropping', cropping);
    LR.crop.show(cropping, edit.crop);
  }

  function turn(degrees) {
    // Mirroring once reverses the sense of a turn chosen on the mirrored photo.
    const sense = edit.flipH !== edit.flipV ? -1 : 1;
    edit.rotation = (((edit.rotation + sense * degrees) % 360) + 360) % 360;
    changed();
  }

  function flip(axis) {
    if (axis === 'h') edit.flipH = !edit.flipH;
    else edit.flipV = !edit.flipV;
    changed();
  }

  function changed() {
    syncControls();
    schedulePreview();
  }

  async function toggleCrop() {
    cropping = !cropping;
    if (cropping) {
      // The frame is drawn on the photo as it is on disk.
      showImage();
      await LR.$('#editor-image').decode().catch(() => {});
    } else {
      edit.crop = LR.crop.current() || edit.crop;
    }
    syncControls();
    if (!cropping) schedulePreview();
  }

  // ---- Open, save, close ---------------------------------------------------------

  async function open(target) {
    if (!target || S.job) return;
    photo = target;
    edit = fresh();
    cropping = false;
    previewFile = '';
    previewWanted = false;
    LR.crop.clear();
    LR.$('#editor-title').textContent = LR.t('edit_photo_named', { name: photo.name || photo.file });
    setStatus('');
    syncControls();
    showImage();
    const result = await LR.dialogs.ask(LR.$('#dlg-editor'));
    clearTimeout(timer);
    if (cropping) edit.crop = LR.crop.current() || edit.crop;
    const chosen = photo;
    photo = null;
    LR.program.send('CloseEditor');
    if (result === 'primary' && isChanged()) save(chosen);
    if (result === 'folder') applyToFolder(chosen);
  }

  function save(target) {
    lastPreviewOf = '';
    saving = { part: target.part, id: target.id };
    LR.app.beginJob('edit');
    LR.dialogs.progress.create('loc_saving_photo');
    LR.program.send('SaveIMG', bigPath(target), '', documentText(0, true), S.album.id, target.part, '',
      target.id);
  }

  async function applyToFolder(target) {
    const part = S.parts.find((p) => p.folder === target.part);
    const sure = await LR.dialogs.confirm('apply_to_folder',
      LR.t('apply_to_folder_question', { folder: part ? part.name : target.part }), 'apply');
    if (!sure) return;
    lastPreviewOf = '';
    saving = { part: target.part };
    LR.app.beginJob('adjust-folder');
    LR.dialogs.progress.create('loc_adjustfolder');
    LR.program.send('ApplyAdjustForFolder', LR.library.partPath(S.album.id, target.part) + '/',
      documentText(0, false));
  }

  // reloadBigImg: a save or a folder edit is done.
  async function bigImageReady() {
    if (S.job !== 'edit' && S.job !== 'adjust-folder') return;
    LR.dialogs.progress.close();
    const done = saving;
    saving = null;
    if (done) await LR.app.imagesChanged(done.part, done.id);
    LR.app.endJob();
  }

  function reset() {
    edit = fresh();
    cropping = false;
    changed();
  }

  function wire() {
    for (const type of Object.keys(NEUTRAL)) {
      LR.$('#adj-' + type).addEventListener('input', (event) => {
        edit[type] = Number(event.target.value);
        LR.$('#out-' + type).textContent = edit[type];
        schedulePreview();
      });
    }
    for (const button of document.querySelectorAll('#dlg-editor [data-turn]')) {
      button.addEventListener('click', () => turn(Number(button.dataset.turn)));
    }
    for (const button of document.querySelectorAll('#dlg-editor [data-flip]')) {
      button.addEventListener('click', () => flip(button.dataset.flip));
    }
    LR.$('#btn-crop').addEventListener('click', toggleCrop);
    LR.$('#btn-crop-clear').addEventListener('click', () => { edit.crop = null; LR.crop.clear(); changed(); });
    LR.$('#btn-editor-reset').addEventListener('click', reset);
    LR.crop.wire((rect) => {
      LR.$('#crop-size').textContent = rect ? rect.w + ' × ' + rect.h : '';
    });
  }

  LR.editor = { wire, open, previewReady, bigImageReady };
})(window.LR);
