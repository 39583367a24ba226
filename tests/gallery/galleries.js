// Published galleries for the browser tests, made by the real program: a
// workspace with one album is published with Publish (both galleries in one
// run), and the pages are opened as a visitor opens them: the web gallery
// over HTTP on 127.0.0.1, the CD gallery from its folder (file://).
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { pathToFileURL } = require('node:url');
const { Lumireel } = require('./headless');
const { serve } = require('./static-server');
const { renditions, makeBigAlbum } = require('../ui/big-album');

const SOURCE = path.resolve(__dirname, '..', '..');
// Real photographs, scaled once and kept beside the fetched wallpapers.
const RENDITIONS = path.join(SOURCE, 'bench', '.cache', 'gallery-renditions');

function write(file, text) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, text);
}

// A workspace holding the gallery templates of this source tree.
function newWorkspace(prefix) {
  const workspace = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  fs.cpSync(path.join(SOURCE, 'data', 'images'), path.join(workspace, 'images'), { recursive: true });
  fs.mkdirSync(path.join(workspace, 'published'));
  return workspace;
}

// Publishes album 1 of `workspace` into workspace/published/{web,cd}.
async function publishBoth(app, workspace, { web = true, cd = true } = {}) {
  app.answer({ folder: path.join(workspace, 'published') });
  app.invoke('Publish', ['0', cd ? '1' : '0', web ? '1' : '0', '1', path.join(workspace, 'MyAlbums') + '/']);
  const calls = (await app.sync(300000)).filter((line) => line.call && !line.call.includes('"setGlobPath"'));
  assert.equal(calls.length, 3, JSON.stringify(calls));
}

// An album of `photos` photographs (renditions shared as hard links, see
// tests/ui/big-album.js; by default 42 real ones), published with the
// catalogue entry's extra children `settings` (such as
// "<download>1</download>"). Returns the workspace.
async function publishBigAlbum(binary, photos, settings = '', sources = renditions(RENDITIONS, 42)) {
  const workspace = newWorkspace(`lumireel-gallery-${photos}-`);
  makeBigAlbum({ workspace, photos, albums: 1, sources });
  const catalogue = path.join(workspace, 'quillmaralbumsettings', 'quillmaralbums.xml');
  fs.writeFileSync(catalogue, fs.readFileSync(catalogue, 'utf8')
    .replace('Five thousand', `${photos} photos`).replace('<ftp />', settings + '<ftp />'));
  const parts = path.join(workspace, 'MyAlbums', '1', 'photoparts');
  fs.writeFileSync(path.join(parts, 'parts.xml'), fs.readFileSync(path.join(parts, 'parts.xml'), 'utf8')
    .replace('<parts>', '<parts sound="theme.mp3">'));
  write(path.join(parts, 'sounds', 'theme.mp3'), 'not really music');
  const app = new Lumireel(binary, workspace);
  try {
    await publishBoth(app, workspace);
  } finally {
    await app.close();
  }
  return workspace;
}

// The addresses of both galleries of `workspace`; close() stops the server.
async function open(workspace) {
  const { server, origin } = await serve(path.join(workspace, 'published', 'web'));
  return {
    web: origin + '/index.html',
    cd: pathToFileURL(path.join(workspace, 'published', 'cd')).href + '/index.html',
    close: () => server.close(),
  };
}

module.exports = { write, newWorkspace, publishBoth, publishBigAlbum, open };
