// The Upload section of the Publish dialog: where the album's web gallery
// goes (protocol, host, port, user, server folder, kept in the album's
// `ftp` element), "Test connection" (TestUploadConnection) and the upload
// right after publishing (UploadGallery, which the program runs once the
// gallery is finished). The password is kept only in memory until the movie
// closes; an empty one lets the program take the one the desktop's password
// store keeps for the server. The program reports with
// showUploadProgress, askHostKey and alerts; the progress bar's Cancel
// sends CancelUpload.
'use strict';

(function (LR) {
  const field = (name) => LR.$('#up-' + name);
  const DEFAULT_PORTS = { sftp: '22', ftp: '21', ftps: '21' };
  let password = '';

  function fill(album) {
    const upload = album.upload || {};
    field('protocol').value = DEFAULT_PORTS[upload.protocol] ? upload.protocol : 'sftp';
    field('host').value = upload.host || '';
    field('port').value = upload.port || '';
    field('user').value = upload.user || '';
    field('folder').value = upload.folder || '';
    field('password').value = password;
    field('after').checked = !!upload.host && field('after').checked;
    sync();
  }

  function settings() {
    const port = parseInt(field('port').value, 10);
    return {
      protocol: field('protocol').value,
      host: field('host').value.trim(),
      port: port >= 1 && port <= 65535 ? String(port) : '',
      user: field('user').value.trim(),
      folder: field('folder').value.trim(),
    };
  }

  function sync() {
    field('port').placeholder = DEFAULT_PORTS[field('protocol').value];
    const ready = settings().host !== '';
    field('test').disabled = !ready;
    field('after').disabled = !ready;
    if (!ready) field('after').checked = false;
  }

  // Keeps the settings in the catalogue when they changed.
  async function save(album) {
    password = field('password').value;
    const now = settings();
    const before = album.upload || {};
    if (Object.keys(now).every((name) => (before[name] || '') === now[name])) return;
    try {
      await LR.library.updateUpload(album.id, now);
      album.upload = now;
    } catch (error) {
      // An unreadable catalogue is never overwritten; publishing goes on.
    }
  }

  function afterPublish(album) {
    if (field('after').checked) LR.program.send('UploadGallery', album.id, '', password, '');
  }

  async function test() {
    const album = LR.state.album;
    if (!album) return;
    await save(album);
    LR.program.send('TestUploadConnection', album.id, password, '');
  }

  function progress(files, totalFiles, kib, totalKib) {
    LR.dialogs.progress.show(totalKib, kib);
    LR.$('#progress-count').textContent = LR.t('upload_progress',
      { files, total: totalFiles, kib, kibtotal: totalKib });
  }

  // A server key not known yet: shown once; accepted, the same command goes
  // again with the fingerprint, and the program pins the key.
  async function askHostKey(host, fingerprint, command) {
    const album = LR.state.album;
    const message = host + '\n' + LR.t('upload_hostkey_ask', { fingerprint });
    if (!album || !(await LR.dialogs.confirm('upload_hostkey_unknown_h', message, 'upload_accept_key'))) return;
    if (command === 'TestUploadConnection') {
      LR.program.send('TestUploadConnection', album.id, password, fingerprint);
    } else {
      LR.program.send('UploadGallery', album.id, '', password, fingerprint);
    }
  }

  function wire() {
    for (const name of ['protocol', 'host']) field(name).addEventListener('input', sync);
    field('protocol').addEventListener('change', sync);
    field('test').addEventListener('click', test);
    LR.dialogs.progress.cancellable('loc_upload_lbl', () => LR.program.send('CancelUpload'));
  }

  LR.upload = { wire, fill, save, afterPublish, progress, askHostKey };
})(window.LR);
