// The centre: the chosen album's title and commands, the keyword search, and
// the grid of previews of the photos on show; the big view of one photo.
'use strict';

(function (LR) {
  const S = LR.state;

  const NO_PHOTOS = [];
  let cells = null;     // the VirtualList of the grid
  let showing = '';     // album, folder and search on show: scrolled to the top when they change

  const keyOf = (photo) => photo.part + ':' + photo.id;

  function imageUrl(photo, kind) {
    return LR.thumbs.url(S.album.id, photo, kind);
  }

  function isSelected(photo) {
    return S.chosen.has(keyOf(photo));
  }

  function createCell(photo) {
    const button = LR.make('button', { class: 'thumb', draggable: 'true', dataset: { part: photo.part, id: photo.id } }, [
      LR.make('span', { class: 'thumb-frame' }),
      LR.make('span', { class: 'thumb-caption' }),
    ]);
    return LR.make('li', {}, [button]);
  }

  // Brings one cell up to date; writes only what changed.
  function updateCell(cell, photo) {
    const selected = isSelected(photo);
    const address = imageUrl(photo, 'preview');
    const last = cell.shows || {};
    if (last.photo === photo && last.selected === selected && last.address === address &&
        last.language === LR.i18n.language() && last.text === LR.app.captionOf(photo)) return;
    const button = cell.firstElementChild;
    if (last.selected !== selected) {
      button.classList.toggle('is-selected', selected);
      button.setAttribute('aria-pressed', selected ? 'true' : 'false');
    }
    if (last.address !== address) button.firstElementChild.replaceChildren(LR.thumbs.preview(S.album.id, photo));
    const caption = button.lastElementChild;
    const text = LR.app.captionOf(photo);
    caption.textContent = text || LR.t('no_caption');
    caption.classList.toggle('is-empty', !text);
    cell.shows = { photo, selected, address, language: LR.i18n.language(), text };
  }

  // The photo of a cell's button.
  function photoAt(button) {
    const index = cells.indexOf.get(button.dataset.part + ':' + button.dataset.id);
    return index === undefined ? null : cells.items[index];
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
    LR.$('#btn-remove-duplicates').hidden = !album || S.duplicates.length === 0;
    LR.$('#btn-remove-duplicates').disabled = !!S.job;

    const banner = LR.$('#search-banner');
    banner.hidden = !S.search;
    if (S.search) {
      LR.$('#search-summary').textContent =
        LR.t(S.photos.length === 1 ? 'search_found_one' : 'search_found', { n: S.photos.length, query: S.search.query });
    }

    LR.$('#sort').value = S.sort;
    const view = [album ? album.id : '', S.part, S.search ? S.search.query : '', S.sort].join('\n');
    if (view !== showing) {
      showing = view;
      LR.$('#grid-wrap').scrollTop = 0;
    }
    cells.setItems(album ? S.photos : NO_PHOTOS);
    cells.update();
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
    const before = new Set(S.search ? [] : S.photos.map(keyOf));
    LR.app.beginJob('import', { album: album.id, part: S.part, before: S.search ? null : before });
    const box = album.box;
    LR.program.send('AddPhoto', LR.library.partPath(album.id, S.part), album.id, S.part,
      box.pw, box.ph, box.bw, box.bh, '', '', '', 'reload');
  }

  // Removes the photos of the chosen folder whose files are copies of
  // another of its photos, when the user agrees. After an import (`before`:
  // the photos that were there before) it asks only when a new photo is a
  // copy.
  async function removeDuplicates(before) {
    const album = S.album;
    const copies = S.duplicates;
    if (!album || S.job || !copies.length || (before && copies.every((p) => before.has(keyOf(p))))) return;
    const sure = await LR.dialogs.confirm('remove_duplicates', LR.t(copies.length === 1 ? 'remove_duplicate_question'
      : 'remove_duplicates_question', { n: copies.length }), 'delete', true);
    if (!sure || S.album !== album) return;
    await LR.library.deletePhotos(album.id, copies);
    for (const photo of copies) LR.thumbs.photoChanged(album.id, photo.part, photo.id);
    LR.searchIndex.forget(album.id);
    await LR.app.photosChanged();
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
  let zoom = null;

  function showInViewer(photo) {
    viewed = photo;
    const img = LR.$('#viewer-image');
    img.src = imageUrl(photo, 'big');
    img.alt = LR.app.captionOf(photo);
    LR.$('#viewer-caption').textContent = LR.app.captionOf(photo);
    const at = cells.items === S.photos ? cells.indexOf.get(keyOf(photo)) ?? -1 : -1;
    LR.$('#viewer-count').textContent = LR.t('photo_of', { n: at + 1, total: S.photos.length });
    LR.$('#viewer-prev').disabled = at <= 0;
    LR.$('#viewer-next').disabled = at < 0 || at >= S.photos.length - 1;
  }

  function step(delta) {
    const at = viewed && cells.items === S.photos ? cells.indexOf.get(keyOf(viewed)) ?? -1 : -1;
    const next = at < 0 ? null : S.photos[at + delta];
    if (next) showInViewer(next);
  }

  async function openViewer(photo) {
    if (!photo) return;
    showInViewer(photo);
    const asked = LR.dialogs.ask(LR.$('#dlg-viewer'));
    zoom.fit();  // now that the dialog is open and has its size
    const result = await asked;
    if (viewed) LR.app.selectPhoto(viewed);
    if (result === 'show') LR.slideshow.start(viewed);
  }

  // Arrow keys move the focus through the grid, row by row (scrolling the
  // next photo into view); Enter or Space chooses the photo.
  function moveFocus(event) {
    const button = document.activeElement && document.activeElement.closest('.thumb');
    const photo = button && LR.$('#grid').contains(button) ? photoAt(button) : null;
    if (!photo || !cells.metrics) return;
    const columns = cells.metrics.columns;
    const step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -columns, ArrowDown: columns }[event.key];
    const index = step === undefined ? -1 : cells.indexOf.get(keyOf(photo)) + step;
    if (index < 0 || index >= cells.items.length) return;
    event.preventDefault();
    cells.scrollToIndex(index);
    const next = cells.elementOf(keyOf(cells.items[index]));
    if (next) next.firstElementChild.focus();
  }

  function onGridClick(event) {
    const button = event.target.closest('.thumb');
    const photo = button && photoAt(button);
    if (!photo) return;
    if (event.type === 'dblclick') openViewer(photo);
    else LR.app.selectPhoto(photo, event.shiftKey ? 'range' : event.ctrlKey || event.metaKey ? 'toggle' : 'only');
  }

  // ---- Dragging ----------------------------------------------------------------

  const DRAGGED = 'application/x-lumireel-photos';
  let dropMark = null;  // the cell the dragged photos would go before or after

  // Photos are reordered by dragging within their folder as the folder's
  // list has them (not while sorted or searching).
  const canReorder = () => S.sort === 'list' && !S.search && !S.job;

  function markDrop(button, after) {
    if (dropMark) dropMark.classList.remove('drop-before', 'drop-after');
    dropMark = button;
    if (button) button.classList.add(after ? 'drop-after' : 'drop-before');
  }

  function onDragStart(event) {
    const button = event.target.closest('.thumb');
    const photo = button && photoAt(button);
    if (!photo || !canReorder()) { event.preventDefault(); return; }
    if (!isSelected(photo)) LR.app.selectPhoto(photo);
    event.dataTransfer.setData(DRAGGED, LR.app.chosenPhotos().map((p) => p.id).join(' '));
    event.dataTransfer.effectAllowed = 'move';
  }

  function dropPlace(event) {
    const button = event.target.closest('.thumb');
    if (!button) return null;
    const bounds = button.getBoundingClientRect();
    return { button, after: event.clientX > bounds.left + bounds.width / 2 };
  }

  // Whether the drag going on started in the movie (a photo, a picture or a
  // link dragged within it).
  let dragFromMovie = false;

  // What a drag brings: photos of the grid, or files from elsewhere. The
  // desktop's web view shows the files of a file manager's drag to the page
  // only as their addresses (text/uri-list), never as files; addresses count
  // as files when the drag came from another program, and the program
  // imports what of them are files on this computer.
  function dragKind(event) {
    const types = Array.from(event.dataTransfer.types);
    if (types.includes(DRAGGED)) return 'photos';
    if (types.includes('Files')) return 'files';
    return types.includes('text/uri-list') && !dragFromMovie ? 'files' : '';
  }

  function onDragOver(event) {
    const kind = dragKind(event);
    if (kind === 'files' && S.part && !S.job) {
      event.preventDefault();
      event.dataTransfer.dropEffect = 'copy';
      return;
    }
    if (kind !== 'photos' || !canReorder()) return;
    event.preventDefault();
    const place = dropPlace(event);
    markDrop(place && place.button, place && place.after);
  }

  // Photos dropped from another program are imported into the open folder:
  // the movie starts the import and the desktop answers its file dialog
  // with the dropped files.
  async function onDrop(event) {
    const place = dropPlace(event);
    markDrop(null);
    if (dragKind(event) === 'files') {
      event.preventDefault();
      addPhotos();
      return;
    }
    const ids = (event.dataTransfer.getData(DRAGGED) || '').split(' ').filter(Boolean);
    if (!ids.length || !canReorder()) return;
    event.preventDefault();
    let target = place ? photoAt(place.button) : null;
    if (target && place.after) target = S.photos[S.photos.indexOf(target) + 1] || null;
    await LR.library.reorderPhotos(S.album.id, S.part, ids, target ? target.id : null);
    await LR.app.photosChanged();
  }

  function wire() {
    cells = new LR.VirtualList({
      scroller: LR.$('#grid-wrap'), list: LR.$('#grid'), key: keyOf,
      create: createCell, update: updateCell, margin: 2,
    });
    LR.$('#grid').addEventListener('keydown', moveFocus);
    LR.$('#grid').addEventListener('keydown', (event) => {
      if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 'a') {
        event.preventDefault();
        LR.app.selectAll();
      }
    });
    LR.$('#grid').addEventListener('dragstart', onDragStart);
    LR.$('#grid-wrap').addEventListener('dragover', onDragOver);
    LR.$('#grid-wrap').addEventListener('drop', onDrop);
    LR.$('#grid').addEventListener('dragend', () => markDrop(null));
    // After the grid's own handler, which keeps some drags from starting.
    document.addEventListener('dragstart', (event) => { dragFromMovie = !event.defaultPrevented; });
    document.addEventListener('dragend', () => { dragFromMovie = false; });
    // Files from elsewhere are taken on the grid only: anywhere else the drag
    // is refused (the web view would otherwise offer to open the address),
    // so that the desktop keeps no files for an import that does not start.
    document.addEventListener('dragover', (event) => {
      if (event.defaultPrevented || dragKind(event) !== 'files') return;
      event.preventDefault();
      event.dataTransfer.dropEffect = 'none';
    });
    LR.$('#grid').addEventListener('click', onGridClick);
    LR.$('#grid').addEventListener('dblclick', onGridClick);
    LR.$('#btn-add-photos').addEventListener('click', addPhotos);
    // An import stops before its next photo; those it brought in stay.
    LR.dialogs.progress.cancellable('loc_convertimg', () => LR.program.send('CancelAddPhoto'));
    LR.$('#btn-remove-duplicates').addEventListener('click', () => removeDuplicates(null));
    LR.$('#btn-search').addEventListener('click', runSearch);
    LR.$('#search').addEventListener('keydown', (event) => {
      if (event.key === 'Enter') { event.preventDefault(); runSearch(); }
    });
    LR.$('#btn-clear-search').addEventListener('click', clearSearch);
    LR.$('#sort').addEventListener('change', (event) => LR.app.setSort(event.target.value));
    zoom = new LR.Zoom(LR.$('.viewer-stage'), LR.$('#viewer-image'), (percent) => {
      LR.$('#viewer-zoom').textContent = LR.t('zoom_percent', { n: percent });
    });
    LR.$('#viewer-fit').addEventListener('click', () => zoom.fit());
    LR.$('#viewer-actual').addEventListener('click', () => zoom.actual());
    LR.$('#viewer-prev').addEventListener('click', () => step(-1));
    LR.$('#viewer-next').addEventListener('click', () => step(1));
    LR.$('#dlg-viewer').addEventListener('keydown', (event) => {
      if (event.key === 'ArrowLeft') step(-1);
      if (event.key === 'ArrowRight') step(1);
    });
    LR.app.onRender(render);
  }

  LR.grid = { wire, openViewer, imageUrl, removeDuplicates, cells: () => cells };
})(window.LR);
