// The photo editor. The user's changes become an adjustment document,
//   <adjust><a type="contrast" value="20"/>...<a type="crop" x=".." y=".." w=".." h=".."/>
//          <a type="rotation" value="90"/><a type="flip" xscale="-100" yscale="100"/></adjust>
// which the program applies: colour changes first, then crop, turn and
// mirror in document order. The crop is drawn on the photo as it will look
// (turned and mirrored) but given in pixels of the photo before any turn, so
// it comes before the turn; mirroring is chosen on the turned photo, so it
// comes after.
//
// A photo imported with its original is edited from that original: on
// opening, the program renders it unedited at the album's big size into the
// workspace's tmp folder (the editor's base), the kept document of earlier
// saves (edits/<id>.xml) is read back into the controls, and Save sends the
// whole document (SaveEdit), which the program applies once to fresh
// renditions of the original and keeps; "Revert to original" (RevertPhoto)
// brings the photo back as it was imported. A photo without an original is
// its own base, and Save edits its big image in place (SaveIMG).
//
// A live preview is rendered by the program from the base into tmp
// (SavePreview, then SaveIMG_last for the next ones of the same photo) and
// shown on reloadPreview. Both saves end with reloadBigImg; "apply to the
// folder" edits every photo of the folder (ApplyAdjustForFolder, with
// progress).
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
  let base = null;         // the base rendered from the original: {path, url, pending, scale}
  let kept = false;        // the photo has a kept document
  let session = 0;         // numbers the editor's openings
  const renders = [];      // the previews asked for, in order: {session, base}

  const bigPath = (p) => LR.library.partPath(S.album.id, p.part, 'big', p.file);
  const bigUrl = (p) => LR.grid.imageUrl(p, 'big');
  const sourcePath = () => (base ? base.path : bigPath(photo));
  const sourceUrl = () => (base ? base.url : bigUrl(photo));

  function fresh() {
    return Object.assign({ rotation: 0, flipH: false, flipV: false, crop: null }, NEUTRAL);
  }

  function isChanged() {
    return Object.keys(NEUTRAL).some((k) => edit[k] !== NEUTRAL[k]) ||
      edit.rotation !== 0 || edit.flipH || edit.flipV || !!edit.crop;
  }

  // The adjustment document. `box`: the preview's size limit; `withCrop`
  // false leaves the crop out (a crop fits one photo, not a folder).
  function documentText(box, withCrop, scale = 1) {
    const a = (attrs) => '<a ' + Object.entries(attrs).map(([k, v]) => `${k}="${v}"`).join(' ') + '/>';
    let out = '';
    for (const type of Object.keys(NEUTRAL)) {
      if (edit[type] !== NEUTRAL[type]) out += a({ type, value: edit[type] });
    }
    if (box) out += a({ type: 'maxsize', width: box, height: box });
    if (edit.crop && withCrop) {
      const c = edit.crop;
      const at = (v) => Math.round(v * scale);
      out += a({ type: 'crop', x: at(c.x), y: at(c.y), w: at(c.w), h: at(c.h) });
    }
    const turn = { 90: '90', 180: '180', 270: '-90' }[edit.rotation];
    if (turn) out += a({ type: 'rotation', value: turn });
    if (edit.flipH) out += a({ type: 'flip', xscale: '-100', yscale: '100' });
    if (edit.flipV) out += a({ type: 'flip', xscale: '100', yscale: '-100' });
    return '<adjust>' + out + '</adjust>';
  }

  // The editor's state of an adjustment document (as documentText writes
  // it); a crop's pixel values multiplied by `scale`.
  function editOf(text, scale) {
    const state = fresh();
    const doc = LR.parseXml(text);
    for (const a of doc ? Array.from(doc.getElementsByTagName('a')) : []) {
      const type = a.getAttribute('type');
      const value = Number(a.getAttribute('value'));
      if (type in NEUTRAL && Number.isFinite(value)) state[type] = value;
      else if (type === 'rotation' && [90, 180, -90].includes(value)) state.rotation = (state.rotation + value + 360) % 360;
      else if (type === 'flip') {
        if (a.getAttribute('xscale') === '-100') state.flipH = !state.flipH;
        if (a.getAttribute('yscale') === '-100') state.flipV = !state.flipV;
      } else if (type === 'crop') {
        const [x, y, w, h] = ['x', 'y', 'w', 'h'].map((k) => Math.round(Number(a.getAttribute(k)) * scale));
        if ([x, y, w, h].every(Number.isFinite) && w > 0 && h > 0) state.crop = { x, y, w, h };
      }
    }
    return state;
  }

  // The size of the big image the program renders from an original of
  // `width` x `height` (upright) for the album's box: brought to the box
  // along its longer side when it exceeds the box, else as it is.
  function bigSizeOf(width, height, box) {
    if (width <= box.bw && height <= box.bh) return { w: width, h: height };
    if (width > height) return { w: box.bw, h: Math.floor((box.bw * height) / width) };
    return { w: Math.floor((box.bh * width) / height), h: box.bh };
  }

  // ---- Preview -------------------------------------------------------------

  function setStatus(key) {
    LR.$('#editor-status').textContent = key ? LR.t(key) : '';
  }

  function showImage() {
    const img = LR.$('#editor-image');
    // Until the base is there, the big image shows the photo as it is now.
    if (base && base.pending) { if (!img.getAttribute('src')) img.src = bigUrl(photo); return; }
    if (cropping || !isChanged()) img.src = sourceUrl();
    else if (previewFile && !previewPending) img.src = previewFile;
  }

  function schedulePreview() {
    clearTimeout(timer);
    if (!isChanged()) { showImage(); return; }
    timer = setTimeout(sendPreview, PREVIEW_DELAY_MS);
  }

  // Asks the program for a rendering of `source` into tmp with `doc`;
  // returns the file's {path, url}. The photo list path is left empty: a
  // preview must not change the sizes the list records for the photo.
  function render(source, doc, kind) {
    const name = `lumireel-${kind}-${photo.part}-${photo.id}-${++previews}.jpg`;
    const output = LR.program.path('tmp', name);
    const key = photo.part + ':' + photo.id;
    if (lastPreviewOf === key) LR.program.send('SaveIMG_last', source, output, doc);
    else LR.program.send('SavePreview', source, output, '', photo.id, doc);
    lastPreviewOf = key;
    renders.push({ session, base: kind === 'base' });
    return { path: output, url: LR.workspaceUrl(['tmp', name]) };
  }

  function sendPreview() {
    if (!photo || !isChanged()) return;
    if (previewPending || S.job || (base && base.pending)) { previewWanted = true; return; }
    previewWanted = false;
    previewPending = true;
    previewFile = render(sourcePath(), documentText(PREVIEW_BOX, true), 'preview').url;
    setStatus('preview_rendering');
  }

  // reloadPreview: the oldest rendering asked for is ready.
  async function previewReady() {
    const done = renders.shift();
    if (!done || done.session !== session || !photo) return;
    if (done.base) await baseReady();
    else previewPending = false;
    setStatus('');
    showImage();
    if (previewWanted || (done.base && isChanged())) sendPreview();
  }

  // The base is rendered: its size sets the scale of crops to the big
  // image's pixels, and the kept document comes into the controls. When
  // there is none (the original is missing), the photo is edited as one
  // without an original.
  async function baseReady() {
    const probe = new Image();
    probe.src = base.url;
    await probe.decode().catch(() => {});
    const width = probe.naturalWidth;
    if (!width) {
      base = null;
      kept = false;
      syncControls();
      return;
    }
    base.pending = false;
    base.scale = base.big ? base.big.w / width : 1;
    if (base.document) edit = editOf(base.document.document, base.document.width ? width / base.document.width : 1);
    syncControls();
  }

  // ---- Controls ----------------------------------------------------------------

  // A crop's size (pixels of the image before the turn) as the saved big
  // image will have it.
  function cropSize(rect) {
    if (!rect) return '';
    const scale = base ? base.scale : 1;
    const [w, h] = edit.rotation % 180 ? [rect.h, rect.w] : [rect.w, rect.h];
    return Math.round(w * scale) + ' × ' + Math.round(h * scale);
  }

  function syncControls() {
    for (const type of Object.keys(NEUTRAL)) {
      LR.$('#adj-' + type).value = edit[type];
      LR.$('#out-' + type).textContent = edit[type];
    }
    const cropButton = LR.$('#btn-crop');
    cropButton.setAttribute('aria-pressed', cropping ? 'true' : 'false');
    cropButton.textContent = LR.t(cropping ? 'crop_done' : 'crop_start');
    LR.$('#btn-crop-clear').disabled = !edit.crop;
    LR.$('#btn-crop').disabled = !!(base && base.pending);
    LR.$('#btn-revert').hidden = !base;
    LR.$('#dlg-editor [data-primary]').disabled = !!(base && base.pending);
    LR.$('#crop-size').textContent = cropSize(edit.crop);
    LR.$('#dlg-editor').classList.toggle('is-cropping', cropping);
    LR.$('#crop-aspect').disabled = !cropping;
    LR.$('#btn-crop-turn').disabled = !cropping;
    LR.crop.show(cropping, edit.crop, edit);
  }

  function turn(degrees) {
    // Mirroring once reverses the sense of a turn chosen on the mirrored photo.
    const sense = edit.flipH !== edit.flipV ? -1 : 1;
    edit.rotation = (((edit.rotation + sense * degrees) % 360) + 360) % 360;
    if (degrees % 180) frameTurned = !frameTurned;
    changed();
  }

  function flip(axis) {
    if (axis === 'h') edit.flipH = !edit.flipH;
    else edit.flipV = !edit.flipV;
    changed();
  }

  function changed() {
    // The frame being drawn is kept through a turn or a mirror.
    if (cropping) edit.crop = LR.crop.current() || edit.crop;
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

  // A photo with a kept original gets its base rendered (the original
  // unedited at the album's big size) and its kept document read.
  async function prepareBase() {
    const entry = (await LR.library.loadFacts(S.album.id, photo.part)).get(String(photo.id));
    const original = LR.library.originalPath(S.album.id, photo, entry);
    if (!original) return;
    const width = Number(entry.width);
    const height = Number(entry.height);
    const big = width > 0 && height > 0 ? bigSizeOf(width, height, S.album.box) : null;
    // Rendered at the big image's size (its box when the size is not known).
    const size = big ? [big.w, big.h] : [S.album.box.bw, S.album.box.bh];
    const document = await LR.library.keptEdits(S.album.id, photo);
    if (!photo) return;
    base = Object.assign(render(original, `<adjust><a type="maxsize" width="${size[0]}" height="${size[1]}"/></adjust>`, 'base'), {
      pending: true, scale: 1, document, big,
    });
    kept = !!base.document;
  }

  async function open(target) {
    if (!target || S.job) return;
    photo = target;
    session += 1;
    edit = fresh();
    cropping = false;
    previewFile = '';
    previewWanted = false;
    previewPending = false;
    base = null;
    kept = false;
    LR.crop.clear();
    setAspect('free', false);
    LR.$('#editor-image').removeAttribute('src');
    LR.$('#editor-title').textContent = LR.t('edit_photo_named', { name: LR.app.captionOf(photo) || photo.file });
    setStatus('');
    await prepareBase();
    syncControls();
    showImage();
    const result = await LR.dialogs.ask(LR.$('#dlg-editor'));
    clearTimeout(timer);
    if (cropping) edit.crop = LR.crop.current() || edit.crop;
    const chosen = photo;
    photo = null;
    LR.program.send('CloseEditor');
    if (result === 'primary' && (isChanged() || kept) && !(base && base.pending)) save(chosen);
    if (result === 'revert') runSave(chosen, 'RevertPhoto', LR.library.partPath(S.album.id, chosen.part), chosen.id);
    if (result === 'folder') applyToFolder(chosen);
  }

  // Starts the image job that rewrites photo `target`; reloadBigImg ends it.
  function runSave(target, command, ...args) {
    lastPreviewOf = '';
    saving = { part: target.part, id: target.id };
    LR.app.beginJob('edit');
    LR.dialogs.progress.create('loc_saving_photo');
    LR.program.send(command, ...args);
  }

  // A photo with its original is rendered afresh with the whole document
  // (or as imported, when every change was taken back); one without is
  // edited in place.
  function save(target) {
    const folder = LR.library.partPath(S.album.id, target.part);
    if (!base) {
      runSave(target, 'SaveIMG', bigPath(target), '', documentText(0, true), S.album.id, target.part, '', target.id);
    } else if (isChanged()) {
      runSave(target, 'SaveEdit', folder, target.id, documentText(0, true, base.scale));
    } else {
      runSave(target, 'RevertPhoto', folder, target.id);
    }
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

  // ---- Crop aspect -----------------------------------------------------------

  const ASPECTS = { free: 0, '1:1': 1, '4:3': 4 / 3, '3:2': 3 / 2, '16:9': 16 / 9 };
  let frameTurned = false;  // the aspect is taken with its sides swapped

  function setAspect(name, turnedFrame) {
    frameTurned = turnedFrame;
    LR.$('#crop-aspect').value = name;
    const ratio = name === 'original' ? LR.crop.photoAspect() : ASPECTS[name] || 0;
    LR.crop.setAspect(ratio && frameTurned ? 1 / ratio : ratio);
  }

  function turnFrame() {
    frameTurned = !frameTurned;
    LR.crop.turnFrame();
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
    LR.$('#crop-aspect').addEventListener('change', (event) => setAspect(event.target.value, frameTurned));
    LR.$('#btn-crop-turn').addEventListener('click', turnFrame);
    LR.$('#btn-crop-clear').addEventListener('click', () => { edit.crop = null; LR.crop.clear(); changed(); });
    LR.$('#btn-editor-reset').addEventListener('click', reset);
    LR.crop.wire((rect) => { LR.$('#crop-size').textContent = cropSize(rect); });
  }

  LR.editor = { wire, open, previewReady, bigImageReady };
})(window.LR);
