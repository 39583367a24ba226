// Publishing the chosen album as a gallery for the web, for a CD, or both
// (Publish: the program asks for the folder, shows its progress and an alert
// at the end), and bringing an album folder made elsewhere into the library
// (importAlbum: the program asks for the folder and answers with
// reloadContent, or the errorimportalbum alert).
'use strict';

(function (LR) {
  const S = LR.state;

  async function publish() {
    const album = S.album;
    if (!album || S.job) return;
    const web = LR.$('#pub-web');
    const cd = LR.$('#pub-cd');
    const ok = LR.$('#pub-ok');
    LR.$('#pub-album').textContent = album.name || LR.t('untitled');
    LR.upload.fill(album);
    LR.$('#pub-originals').checked = await LR.settings.includeOriginals();
    const sync = () => { ok.disabled = !web.checked && !cd.checked; };
    web.addEventListener('change', sync);
    cd.addEventListener('change', sync);
    sync();
    const result = await LR.dialogs.ask(LR.$('#dlg-publish'));
    web.removeEventListener('change', sync);
    cd.removeEventListener('change', sync);
    if (result !== 'primary' || (!web.checked && !cd.checked)) return;
    // The album prefix ends with a separator: the album folder is the
    // prefix followed by the album's id.
    await LR.upload.save(album);
    await LR.settings.setIncludeOriginals(LR.$('#pub-originals').checked);
    LR.program.send('Publish', '0', cd.checked ? '1' : '0', web.checked ? '1' : '0', album.id,
      LR.program.path('MyAlbums') + '/');
    // Runs once the web gallery is finished (the program queues it after
    // the publishing).
    if (web.checked) LR.upload.afterPublish(album);
    // A cancelled folder picker sends nothing back, so the movie stays free.
  }

  // The program's reply to PublishedFolders: the album, the picked folder,
  // then the CD and the web gallery ('' for one not built whole).
  async function publishedFolders() {
    const reply = await LR.program.send('PublishedFolders');
    const doc = reply ? new DOMParser().parseFromString(String(reply), 'application/xml') : null;
    const values = doc ? Array.from(doc.getElementsByTagName('string'), (s) => s.textContent) : [];
    const [album = '', picked = '', cd = '', web = ''] = values;
    return { album, picked, cd, web };
  }

  // The message at the end of a run says where the galleries are and offers
  // to open them: the CD gallery plays from its folder in the browser; the
  // web gallery reads its photos over HTTP, so it plays once on a web site.
  async function announce(title, message) {
    const where = await publishedFolders();
    const details = [];
    if (where.cd) details.push([LR.t('published_cd'), where.cd]);
    if (where.web) details.push([LR.t('published_web'), where.web]);
    const actions = [];
    if (where.cd) {
      actions.push({ key: 'open_gallery', run: () => LR.program.send('OpenLocation', where.cd + '/index.html') });
    }
    if (where.picked && (where.cd || where.web)) {
      actions.push({ key: 'open_folder', run: () => LR.program.send('OpenLocation', where.picked) });
    }
    // The program's own message stays; what the run made is told beside it.
    const note = where.web ? LR.t('published_web_hint') : where.cd ? '' : LR.t('published_nothing');
    LR.dialogs.alert(title, message, 'info', { details, note, actions });
  }

  let importing = null;  // the ids of the albums before an import

  async function importAlbum() {
    const name = await LR.dialogs.prompt('import_album', 'import_album_name', '', 'choose_folder');
    if (name === null) return;
    importing = new Set(S.albums.map((a) => a.id));
    LR.program.send('importAlbum', name);
  }

  // reloadContent after an import: the new album becomes the chosen one.
  async function afterReload() {
    if (!importing) return false;
    const before = importing;
    importing = null;
    const added = S.albums.find((a) => !before.has(a.id));
    if (added) await LR.app.selectAlbum(added.id);
    return !!added;
  }

  function wire() {
    LR.$('#btn-publish').addEventListener('click', publish);
    LR.$('#btn-import-album').addEventListener('click', importAlbum);
    LR.upload.wire();
  }

  LR.publish = { wire, afterReload, announce };
})(window.LR);
