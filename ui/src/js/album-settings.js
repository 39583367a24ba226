// The album's settings: its name, the look of its published gallery (skin,
// language, accent colour, logo, music), the sizes the program makes its
// previews and big images in, and deleting the album.
//
// The logo and the music are picked with the program's pickers (MoveLogo,
// MoveMp3, answered by setFile) and copied into the album with MoveFile:
// the logo into logo/, the music into photoparts/sounds/. They take effect
// at once; the other fields when the dialog is saved.
'use strict';

(function (LR) {
  const S = LR.state;
  const SKINS = ['snakeeye', 'graphite', 'ocean'];
  const GALLERY_LANGUAGES = ['en', 'de', 'fr', 'es'];
  let album = null;

  const field = (name) => LR.$('#as-' + name);

  function colourInput(value) {
    const hex = String(value).replace(/^(0x|#)/i, '');
    return /^[0-9a-f]{6}$/i.test(hex) ? '#' + hex.toLowerCase() : '#cc00ff';
  }

  function options(select, values, label) {
    select.replaceChildren(...values.map((value) => LR.make('option', { value, text: label(value) })));
  }

  function showMedia() {
    field('logo-name').textContent = album.logo || LR.t('none');
    field('logo-remove').disabled = !album.logo;
    field('music-name').textContent = S.sound || LR.t('none');
    field('music-remove').disabled = !S.sound;
  }

  // The gallery look and the sizes of an album ({skin, lang, color, box})
  // into the fields named `prefix` + skin, lang, color, pwidth, ... (the
  // album's dialog, and the defaults for new albums in the settings).
  function fillLooks(prefix, looks) {
    const input = (name) => LR.$('#' + prefix + name);
    options(input('skin'), SKINS, (skin) => LR.t('skin_' + skin));
    input('skin').value = SKINS.includes(looks.skin) ? looks.skin : SKINS[0];
    options(input('lang'), GALLERY_LANGUAGES, (code) => LR.t('language_' + code));
    input('lang').value = GALLERY_LANGUAGES.includes(looks.lang) ? looks.lang : 'en';
    input('color').value = colourInput(looks.color);
    for (const [name, key] of Object.entries(BOX_FIELDS)) input(name).value = looks.box[key];
  }

  const BOX_FIELDS = { pwidth: 'pw', pheight: 'ph', bwidth: 'bw', bheight: 'bh' };

  // The catalogue fields of those inputs ({skeen, lang, color, pwidth,
  // ...}); a size out of 16 to 10000 keeps the one of `box`.
  function readLooks(prefix, box) {
    const input = (name) => LR.$('#' + prefix + name);
    const looks = {
      skeen: input('skin').value,
      lang: input('lang').value,
      color: '0x' + input('color').value.replace('#', '').toUpperCase(),
    };
    for (const [name, key] of Object.entries(BOX_FIELDS)) {
      const value = parseInt(input(name).value, 10);
      looks[name] = Number.isFinite(value) && value >= 16 && value <= 10000 ? value : box[key];
    }
    return looks;
  }

  // Puts the fields of the look and the sizes (the page's templates
  // tpl-look and tpl-sizes) where the page asks for them, with the ids of
  // that place: <div data-looks="as-" data-part="look">.
  function placeLooks() {
    const names = { 'data-id': 'id', 'data-for': 'for', 'data-labelledby': 'aria-labelledby' };
    for (const place of document.querySelectorAll('[data-looks]')) {
      const fields = LR.$('#tpl-' + place.dataset.part).content.cloneNode(true);
      for (const [from, to] of Object.entries(names)) {
        for (const element of fields.querySelectorAll(`[${from}]`)) {
          element.setAttribute(to, place.dataset.looks + element.getAttribute(from));
          element.removeAttribute(from);
        }
      }
      place.replaceWith(fields);
    }
  }

  function fill() {
    field('name').value = album.name;
    fillLooks('as-', album);
    showMedia();
  }

  // Saves the fields; true when the sizes changed.
  async function save() {
    const looks = readLooks('as-', album.box);
    await LR.library.updateAlbum(album.id, Object.assign({ name: field('name').value.trim() || album.name }, looks));
    return Object.entries(BOX_FIELDS).some(([name, key]) => looks[name] !== album.box[key]);
  }

  // Renders the album's photos again at its sizes; reloadContent ends it.
  function renderAlbum(id) {
    LR.app.beginJob('render', { album: id });
    LR.dialogs.progress.create('loc_render_album');
    LR.program.send('RenderAlbum', LR.library.albumPath(id));
  }

  // reloadContent while the album is rendered: its images are new.
  function rendered() {
    const { album: id } = S.jobFolder || {};
    LR.dialogs.progress.close();
    LR.app.endJob();
    if (id && S.album && S.album.id === id) for (const part of S.parts) LR.thumbs.folderChanged(id, part.folder);
  }

  async function afterMediaChange() {
    await LR.app.reload();
    album = S.album;
    showMedia();
  }

  function chooseLogo() {
    const id = album.id;
    LR.picks.expect('logo', async (fullPath, fileName) => {
      const name = LR.baseName(fileName || fullPath);
      if (!LR.isPlainName(name)) return;
      await LR.program.send('MoveFile', fullPath, LR.library.albumPath(id, 'logo', name),
        'logo_added', 'logo_added_h');
      await LR.library.updateAlbum(id, { logo: name });
      await afterMediaChange();
    });
    LR.program.send('MoveLogo');
  }

  async function removeLogo() {
    if (!album.logo) return;
    // The logo's path relative to the workspace root.
    await LR.program.send('UnlinkLFile', ['MyAlbums', album.id, 'logo', album.logo].join('/'));
    await LR.library.updateAlbum(album.id, { logo: '' });
    await afterMediaChange();
  }

  function chooseMusic() {
    const id = album.id;
    LR.picks.expect('music', async (fullPath) => {
      const name = LR.baseName(fullPath);
      if (!LR.isPlainName(name)) return;
      await LR.program.send('MoveFile', fullPath, LR.library.albumPath(id, 'photoparts', 'sounds', name),
        'music_added', 'music_added_h');
      await LR.library.setSound(id, name);
      await afterMediaChange();
    });
    LR.program.send('MoveMp3');
  }

  async function removeMusic() {
    if (!S.sound) return;
    await LR.program.send('UnlinkFile', LR.library.albumPath(album.id, 'photoparts', 'sounds', S.sound));
    await LR.library.setSound(album.id, '');
    await afterMediaChange();
  }

  async function open() {
    if (!S.album) return;
    album = S.album;
    fill();
    const result = await LR.dialogs.ask(LR.$('#dlg-album'));
    if (result === 'primary') {
      const resized = await save();
      await LR.app.reload();
      if (resized && !S.job) renderAlbum(album.id);
    } else if (result === 'delete') {
      const sure = await LR.dialogs.confirm('delete_album',
        LR.t('delete_album_question', { name: album.name }), 'delete', true);
      if (!sure) return;
      await LR.library.deleteAlbum(album.id);
      await LR.app.reload();
    }
  }

  function wire() {
    placeLooks();
    LR.$('#btn-album-settings').addEventListener('click', open);
    field('logo-choose').addEventListener('click', chooseLogo);
    field('logo-remove').addEventListener('click', removeLogo);
    field('music-choose').addEventListener('click', chooseMusic);
    field('music-remove').addEventListener('click', removeMusic);
    LR.dialogs.progress.cancellable('loc_render_album', () => LR.program.send('CancelRenderAlbum'));
  }

  LR.albumSettings = { wire, open, rendered, fillLooks, readLooks };
})(window.LR);
