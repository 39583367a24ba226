// A workspace with one large album, written directly as the program writes
// it (making thousands of photos through the import would take most of an
// hour): album 1 holds `photos` photos in one photo folder, with big images
// and previews from real photographs, a caption on every seventh photo and
// keywords on every photo; the catalogue lists `albums` albums in all, the
// others empty. The movie and the program behind it then work on it as on
// any album.
//
// The renditions come from tests/support/real_photos.py (big images of at
// most 700 px) and vipsthumbnail (previews of at most 180 px from them);
// photo n takes source n modulo their count. Each photo gets files of its
// own name; they are hard links to the source's files, except those of the
// photos named in `ownFiles`, which are copies (for photos a test edits).
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const SOURCE = path.resolve(__dirname, '..', '..');
const THEMES = ['sea', 'forest', 'city', 'night', 'snow', 'family', 'beach', 'mountain'];
const PLACES = ['Lisbon', 'Oslo', 'Kyoto', 'Quito', 'Tunis'];
const CAPTIONED_EVERY = 7;

const xmlText = (text) => String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');

// The keywords and caption of photo n (as the album stores them: keyword
// words separated by commas).
function keywordsOf(n) { return THEMES[n % THEMES.length] + ',' + PLACES[n % PLACES.length].toLowerCase(); }
function captionOf(n) { return n % CAPTIONED_EVERY === 0 ? `Harbour walk ${n}` : ''; }

function imageSize(file) {
  const [w, h] = execFileSync('vipsheader', ['-f', 'width', file], { encoding: 'utf8' }).trim()
    .split('\n').concat(execFileSync('vipsheader', ['-f', 'height', file], { encoding: 'utf8' }).trim());
  return { w: Number(w), h: Number(h) };
}

// Big images and previews of `count` real photographs in `folder`
// (made once; a folder that already holds them is used as it is).
function renditions(folder, count) {
  const big = path.join(folder, 'big');
  const preview = path.join(folder, 'preview');
  const have = fs.existsSync(preview) ? fs.readdirSync(preview).filter((f) => f.endsWith('.jpg')) : [];
  if (have.length < count) {
    fs.rmSync(folder, { recursive: true, force: true });
    fs.mkdirSync(preview, { recursive: true });
    execFileSync(path.join(SOURCE, 'tests', 'support', 'real_photos.py'), [big, String(count), '--box', '700'],
      { stdio: ['ignore', 'ignore', 'inherit'] });
    for (const name of fs.readdirSync(big)) {
      execFileSync('vipsthumbnail', [path.join(big, name), '--size', '180x180', '-o',
        path.join(preview, name) + '[Q=93,strip]']);
    }
  }
  return fs.readdirSync(big).filter((f) => f.endsWith('.jpg')).sort().slice(0, count).map((name) => ({
    big: path.join(big, name), preview: path.join(preview, name), size: imageSize(path.join(big, name)),
  }));
}

function write(file, text) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, text);
}

const PART = (id, folder, entries) => '<?xml version="1.0" encoding="utf-8" ?>' +
  `<album mwidth="180" mheight="180" id="${folder}">${entries}</album>\r\n`;

function emptyAlbum(albumDir) {
  for (const sub of ['photoparts/1/big', 'photoparts/1/preview', 'photoparts/keywordsDB', 'photoparts/sounds',
    'logo', 'synchronization']) fs.mkdirSync(path.join(albumDir, sub), { recursive: true });
  write(path.join(albumDir, 'photoparts', 'parts.xml'),
    '<?xml version="1.0" encoding="utf-8" ?><parts><part folder="1" name="Photos" /></parts>');
  write(path.join(albumDir, 'photoparts', '1', 'photos.xml'), PART(0, 1, ''));
}

// Writes the album and the catalogue into `workspace` (made by
// scripts/make-workspace). Returns {photos, albums, sources}.
function makeBigAlbum({ workspace, photos, albums, sources, ownFiles = [] }) {
  const own = new Set(ownFiles.map(Number));
  const albumDir = path.join(workspace, 'MyAlbums', '1');
  const part = path.join(albumDir, 'photoparts', '1');
  emptyAlbum(albumDir);
  write(path.join(albumDir, 'photoparts', 'parts.xml'),
    '<?xml version="1.0" encoding="utf-8" ?><parts><part folder="1" name="Everything" /></parts>');
  const entries = [];
  const keys = [];
  for (let n = 1; n <= photos; n++) {
    const source = sources[n % sources.length];
    const file = n + '.jpg';
    for (const kind of ['big', 'preview']) {
      const target = path.join(part, kind, file);
      if (own.has(n)) fs.copyFileSync(source[kind], target);
      else fs.linkSync(source[kind], target);
    }
    const caption = captionOf(n);
    entries.push(`<photo><id>${n}</id>${caption ? `<name>${xmlText(caption)}</name>` : '<name />'}` +
      `<file>${file}</file><w>${source.size.w}</w><h>${source.size.h}</h></photo>`);
    keys.push(`<s p="1" a="${n}">${keywordsOf(n)}</s>`);
  }
  write(path.join(part, 'photos.xml'), PART(1, 1, entries.join('')));
  const keywords = path.join(albumDir, 'photoparts', 'keywordsDB');
  write(path.join(keywords, 'keywordsdb.xml'), '<?xml version="1.0" encoding="utf-8" ?>\r\n<db>\r\n<t>1</t></db>\r\n\r\n');
  write(path.join(keywords, '1.xml'), '<?xml version="1.0" encoding="utf-8" ?>\r\n<keys>\r\n' + keys.join('') + '</keys>\r\n\r\n');
  fs.copyFileSync(sources[1 % sources.length].preview, path.join(part, 'album.jpg'));

  const catalogue = [];
  for (let id = 1; id <= albums; id++) {
    if (id > 1) emptyAlbum(path.join(workspace, 'MyAlbums', String(id)));
    catalogue.push(`<album id="${id}"><name>${id === 1 ? 'Five thousand' : 'Album ' + id}</name><pwidth>180</pwidth>` +
      '<pheight>180</pheight><bwidth>700</bwidth><bheight>700</bheight><skeen>snakeeye</skeen><lang>en</lang>' +
      `<color>0x${(0x336699 + id * 2654435).toString(16).slice(-6).toUpperCase()}</color><logo /><ftp /></album>`);
  }
  write(path.join(workspace, 'quillmaralbumsettings', 'quillmaralbums.xml'),
    '<?xml version="1.0" encoding="utf-8" ?><albums location="MyAlbums">' + catalogue.join('') + '</albums>');
  return { photos, albums, sources };
}

// How many photos of the album have a keyword or caption word beginning
// with each word of `query` (as the movie's search counts them).
function expectedFinds(photos, query) {
  const words = query.toLowerCase().split(/[^\p{L}\p{N}]+/u).filter(Boolean);
  let found = 0;
  for (let n = 1; n <= photos; n++) {
    const have = (keywordsOf(n) + ' ' + captionOf(n)).toLowerCase().split(/[^\p{L}\p{N}]+/u).filter(Boolean);
    if (words.every((w) => have.some((h) => h.startsWith(w)))) found += 1;
  }
  return found;
}

module.exports = { renditions, makeBigAlbum, expectedFinds, keywordsOf, captionOf };
