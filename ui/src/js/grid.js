// The centre: the chosen album's title and commands, the keyword search, and
// the grid of previews of the photos on show; the big view of one photo.
'use strict';

(function (LR) {
  const S = LR.state;

  function imageUrl(photo, kind) {
    return LR.workspaceUrl(['MyAlbums', S.album.id, 'photoparts', photo.part, kind, photo.file], S.version);
  }

  function isSelected(photo) {
    return S.selected && S.selected.part === photo.part && S.selected.id === photo.id;
  }

  function thumb(photo) {
    const selected = isSelected(photo);
    const caption = photo.name || LR.t('no_caption');
    return LR.make('li', {}, [
      LR.make('button', {
        class: 'thumb' + (selected ? ' is-selected' : ''),
        'aria-pressed': selected ? 'true' : 'false',
        dataset: { part: photo.part, id: photo.id },
        onclick: () => LR.app.selectPhoto(photo),
        ondblclick: () => openViewer(photo),
      }, [
        LR.make('span', { class: 'thumb-frame' }, [
          LR.make('img', { src: imageUrl(photo, 'preview'), alt: photo.name || '', loading: 'lazy' }),
        ]),
        LR.make('span', { class: 'thumb-caption' + (photo.name ? '' : ' is-empty'), text: caption }),
      ]),
    ]);
  }

  function render() {
    const album = S.album;
    const part = S.parts.find((p) => p.folder === S.part);
    LR.$('#album-title').textContent = album ? album.name || LR.t('untitled') : LR.t('no_album');
    LR.$('#titlebar-album').textContent = album ? album.name : '';
    LR.$('#part-title').textContent = part ? part.name : '';
    LR.$('#content-tools').hidden = !album;
    LR.$('#btn-add-photos').disabled = !part || !!S.job;
    LR.$('#btn-publish').disabled = !album || !!S.job;
    LR.$('#btn-album-settings').disabled = !album;

    const banner = LR.$('#search-banner');
    banner.hidden = !S.search;
    if (S.search) {
      LR.$('#search-summary').textContent =
        LR.t(S.photos.length === 1 ? 'search_found_one' : 'search_found', { n: S.photos.length, query: S.search.query });
    }

    LR.replaceKeepingFocus(LR.$('#grid'), album ? S.photos.map(thumb) : []);
    LR.$('#welcome').hidden = !S.ready || S.albums.length > 0;
    const empty = LR.$('#grid-empty');
    empty.hidden = S.photos.length > 0 || !album;
    empty.textContent = S.search ? LR.t('search_none') : part ? LR.t('no_photos') : LR.t('no_folder');
  }

  // ---- Commands --------------------------------------------------------------

  // Photos come in through the program's file dialog; it reports progress
  // and asks for reloadContent at the end.
  function addPhotos() {
    const album = S.album;
    if (!album || !S.part || S.job) return;
    LR.app.beginJob('import');
    const box = album.box;
    LR.program.send('AddPhoto', LR.library.partPath(album.id, S.part), album.id, S.part,
      box.pw, box.ph, box.bw, box.bh, '', '', '', 'reload');
  }

  async function runSearch() {
    await LR.app.search(LR.$('#search').value);
  }

  async function clearSearch() {
    LR.$('#search').value = '';
    await LR.app.search('');
  }

  // ---- Big view ----------------------------------------------------------------

  let viewed = null;

  function showInViewer(photo) {
    viewed = photo;
    const img = LR.$('#viewer-image');
    img.src = imageUrl(photo, 'big');
    img.alt = photo.name || '';
    LR.$('#viewer-caption').textContent = photo.name || '';
    const at = S.photos.findIndex((p) => p.part === photo.part && p.id === photo.id);
    LR.$('#viewer-count').textContent = LR.t('photo_of', { n: at + 1, total: S.photos.length });
    LR.$('#viewer-prev').disabled = at <= 0;
    LR.$('#viewer-next').disabled = at < 0 || at >= S.photos.length - 1;
  }

  function step(delta) {
    const at = S.photos.findIndex((p) => viewed && p.part === viewed.part && p.id === viewed.id);
    const next = S.photos[at + delta];
    if (next) showInViewer(next);
  }

  async function openViewer(photo) {
    if (!photo) return;
    showInViewer(photo);
    await LR.dialogs.ask(LR.$('#dlg-viewer'));
    if (viewed) LR.app.selectPhoto(viewed);
  }

  // Arrow keys move the focus through the grid, row by row; Enter or Space
  // chooses the photo.
  function moveFocus(event) {
    const buttons = Array.from(LR.$('#grid').querySelectorAll('.thumb'));
    const at = buttons.indexOf(document.activeElement);
    if (at < 0) return;
    const perRow = Math.max(1, Math.round(LR.$('#grid').clientWidth / buttons[0].offsetWidth));
    const step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -perRow, ArrowDown: perRow }[event.key];
    const next = step && buttons[at + step];
    if (!next) return;
    event.preventDefault();
    next.focus();
  }

  function wire() {
    LR.$('#grid').addEventListener('keydown', moveFocus);
    LR.$('#btn-add-photos').addEventListener('click', addPhotos);
    LR.$('#btn-search').addEventListener('click', runSearch);
    LR.$('#search').addEventListener('keydown', (event) => {
      if (event.key === 'Enter') { event.preventDefault(); runSearch(); }
    });
    LR.$('#btn-clear-search').addEventListener('click', clearSearch);
    LR.$('#viewer-prev').addEventListener('click', () => step(-1));
    LR.$('#viewer-next').addEventListener('click', () => step(1));
    LR.$('#dlg-viewer').addEventListener('keydown', (event) => {
      if (event.key === 'ArrowLeft') step(-1);
      if (event.key === 'ArrowRight') step(1);
    });
    LR.app.onRender(render);
  }

  LR.grid = { wire, openViewer, imageUrl };
})(window.LR);
