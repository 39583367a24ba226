// The left column: the albums of the catalogue, and the photo folders of the
// chosen album with their order, names and cover pictures.
'use strict';

(function (LR) {
  const S = LR.state;

  let albumRows = null;      // the VirtualList of the album list
  const partRows = new Map(); // folder -> <li> of the photo folder list

  // One entry of a list: a button with a picture and a name.
  function row(dataset, picture) {
    return LR.make('li', {}, [
      LR.make('button', { class: 'list-item', dataset }, [picture, LR.make('span', { class: 'list-label' })]),
    ]);
  }

  // Brings a row up to date; writes only what changed.
  function updateRow(element, current, name) {
    const label = name || LR.t('untitled');
    const last = element.shows || {};
    if (last.current === current && last.label === label) return;
    const button = element.firstElementChild;
    button.classList.toggle('is-current', current);
    if (current) button.setAttribute('aria-current', 'true');
    else button.removeAttribute('aria-current');
    button.lastElementChild.textContent = label;
    element.shows = { current, label };
  }

  function albumRow(album) {
    const swatch = LR.make('span', { class: 'swatch', 'aria-hidden': 'true' });
    return row({ album: album.id }, swatch);
  }

  function updateAlbumRow(element, album) {
    const colour = '#' + String(album.color).replace(/^(0x|#)/i, '').slice(0, 6);
    const swatch = element.firstElementChild.firstElementChild;
    if (element.colour !== colour) { swatch.style.background = colour; element.colour = colour; }
    updateRow(element, !!S.album && S.album.id === album.id, album.name);
  }

  function cover(folder) {
    return LR.make('img', {
      class: 'cover', alt: '',
      src: LR.workspaceUrl(['MyAlbums', S.album.id, 'photoparts', folder, 'album.jpg'], S.version),
      // A folder without photos has no cover yet: an empty frame instead.
      onerror: (event) => event.target.replaceWith(LR.make('span', { class: 'cover', 'aria-hidden': 'true' })),
    });
  }

  // The photo folder list, keyed by folder: a row is made again only when
  // its cover may have changed (another album, or the images changed).
  function renderParts() {
    const list = LR.$('#part-list');
    const parts = S.album ? S.parts : [];
    const rows = parts.map((part) => {
      const coverKey = S.album.id + '/' + part.folder + '/' + S.version;
      let element = partRows.get(part.folder);
      if (!element || element.coverKey !== coverKey) {
        element = row({ part: part.folder }, cover(part.folder));
        element.coverKey = coverKey;
        partRows.set(part.folder, element);
      }
      updateRow(element, S.part === part.folder, part.name);
      return element;
    });
    const wanted = new Set(parts.map((part) => part.folder));
    for (const folder of Array.from(partRows.keys())) if (!wanted.has(folder)) partRows.delete(folder);
    const same = rows.length === list.children.length && rows.every((element, i) => list.children[i] === element);
    if (!same) LR.replaceKeepingFocus(list, rows);
  }

  function render() {
    albumRows.setItems(S.albums);
    albumRows.update();
    LR.$('#albums-empty').hidden = S.albums.length > 0;

    LR.$('#parts-section').hidden = !S.album;
    renderParts();
    const index = S.parts.findIndex((p) => p.folder === S.part);
    LR.$('#btn-part-up').disabled = index <= 0;
    LR.$('#btn-part-down').disabled = index < 0 || index >= S.parts.length - 1;
    LR.$('#btn-part-rename').disabled = index < 0;
    LR.$('#btn-part-cover').disabled = index < 0 || !!S.job;
  }

  // The chosen album's row is scrolled into view (after a new album or an import).
  function showCurrentAlbum() {
    const at = S.album ? S.albums.findIndex((album) => album.id === S.album.id) : -1;
    if (at >= 0) albumRows.scrollToIndex(at);
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
    LR.searchIndex.forget(S.album.id);  // finds are listed in folder order
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
      LR.app.coverChanged();
    });
    LR.program.send('MoveMedia', '*.jpg');
  }

  function wire() {
    albumRows = new LR.VirtualList({
      scroller: LR.$('#album-scroll'), list: LR.$('#album-list'), key: (album) => album.id,
      create: albumRow, update: updateAlbumRow, margin: 8,
    });
    LR.$('#album-list').addEventListener('click', (event) => {
      const button = event.target.closest('[data-album]');
      if (button) LR.app.selectAlbum(button.dataset.album);
    });
    LR.$('#part-list').addEventListener('click', (event) => {
      const button = event.target.closest('[data-part]');
      if (button) LR.app.selectPart(button.dataset.part);
    });
    LR.$('#btn-new-album').addEventListener('click', newAlbum);
    LR.$('#btn-first-album').addEventListener('click', newAlbum);
    LR.$('#btn-add-part').addEventListener('click', addPart);
    LR.$('#btn-part-rename').addEventListener('click', renamePart);
    LR.$('#btn-part-up').addEventListener('click', () => movePart(-1));
    LR.$('#btn-part-down').addEventListener('click', () => movePart(1));
    LR.$('#btn-part-cover').addEventListener('click', chooseCover);
    LR.app.onRender(render);
  }

  LR.sidebar = { wire, showCurrentAlbum };
})(window.LR);
