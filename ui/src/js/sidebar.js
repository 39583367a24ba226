// The left column: the albums of the catalogue, and the photo folders of the
// chosen album with their order, names and cover pictures.
'use strict';

(function (LR) {
  const S = LR.state;

  // One entry of a list: a button with a picture and a name.
  function row(current, dataset, onclick, picture, name) {
    return LR.make('li', {}, [
      LR.make('button', {
        class: 'list-item' + (current ? ' is-current' : ''),
        'aria-current': current ? 'true' : null,
        dataset, onclick,
      }, [picture, LR.make('span', { class: 'list-label', text: name || LR.t('untitled') })]),
    ]);
  }

  function albumRow(album) {
    const swatch = LR.make('span', { class: 'swatch', 'aria-hidden': 'true' });
    swatch.style.background = '#' + String(album.color).replace(/^(0x|#)/i, '').slice(0, 6);
    return row(S.album && S.album.id === album.id, { album: album.id },
      () => LR.app.selectAlbum(album.id), swatch, album.name);
  }

  function partRow(part) {
    const cover = LR.make('img', {
      class: 'cover', alt: '', loading: 'lazy',
      src: LR.workspaceUrl(['MyAlbums', S.album.id, 'photoparts', part.folder, 'album.jpg'], S.version),
      // A folder without photos has no cover yet: an empty frame instead.
      onerror: (event) => event.target.replaceWith(LR.make('span', { class: 'cover', 'aria-hidden': 'true' })),
    });
    return row(S.part === part.folder, { part: part.folder }, () => LR.app.selectPart(part.folder),
      cover, part.name);
  }

  function render() {
    const albums = LR.$('#album-list');
    LR.replaceKeepingFocus(albums, S.albums.map(albumRow));
    LR.$('#albums-empty').hidden = S.albums.length > 0;

    LR.$('#parts-section').hidden = !S.album;
    const parts = LR.$('#part-list');
    LR.replaceKeepingFocus(parts, S.album ? S.parts.map(partRow) : []);
    const index = S.parts.findIndex((p) => p.folder === S.part);
    LR.$('#btn-part-up').disabled = index <= 0;
    LR.$('#btn-part-down').disabled = index < 0 || index >= S.parts.length - 1;
    LR.$('#btn-part-rename').disabled = index < 0;
    LR.$('#btn-part-cover').disabled = index < 0 || !!S.job;
  }

  async function newAlbum() {
    const name = await LR.dialogs.prompt('new_album', 'album_name', '', 'create');
    if (name === null) return;
    if (LR.library.isUnreadable()) {
      LR.dialogs.alert(LR.t('catalogue_unreadable_h'), LR.t('catalogue_unreadable'), 'error');
      return;
    }
    const id = await LR.library.createAlbum(name, LR.t('first_folder_name'));
    await LR.app.reload();
    await LR.app.selectAlbum(id);
  }

  async function addPart() {
    const name = await LR.dialogs.prompt('new_folder', 'folder_name', '', 'create');
    if (name === null || !S.album) return;
    const folder = await LR.library.addPart(S.album, name);
    await LR.app.reload();
    await LR.app.selectPart(folder);
  }

  function currentPart() {
    return S.parts.find((p) => p.folder === S.part);
  }

  async function renamePart() {
    const part = currentPart();
    if (!part) return;
    const name = await LR.dialogs.prompt('rename_folder', 'folder_name', part.name, 'save');
    if (name === null) return;
    await LR.library.renamePart(S.album.id, part.folder, name);
    await LR.app.reload();
  }

  async function movePart(delta) {
    const part = currentPart();
    if (!part) return;
    await LR.library.movePart(S.album.id, part.folder, delta);
    await LR.app.reload();
    const button = LR.$(`#part-list [data-part="${part.folder}"]`);
    if (button) button.focus();
  }

  // The folder's cover picture (album.jpg), chosen with the program's media
  // picker; setFile brings the choice (see LR.picks in movie.js).
  function chooseCover() {
    const part = currentPart();
    if (!part) return;
    const target = LR.library.partPath(S.album.id, part.folder, 'album.jpg');
    LR.picks.expect('cover', async (fullPath) => {
      await LR.program.send('MoveFile', fullPath, target, 'cover_changed', 'cover_changed_h');
      await LR.app.refreshImages();
    });
    LR.program.send('MoveMedia', '*.jpg');
  }

  function wire() {
    LR.$('#btn-new-album').addEventListener('click', newAlbum);
    LR.$('#btn-first-album').addEventListener('click', newAlbum);
    LR.$('#btn-add-part').addEventListener('click', addPart);
    LR.$('#btn-part-rename').addEventListener('click', renamePart);
    LR.$('#btn-part-up').addEventListener('click', () => movePart(-1));
    LR.$('#btn-part-down').addEventListener('click', () => movePart(1));
    LR.$('#btn-part-cover').addEventListener('click', chooseCover);
    LR.app.onRender(render);
  }

  LR.sidebar = { wire };
})(window.LR);
