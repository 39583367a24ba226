// The movie's reader of the workspace's XML files and its search index, run
// in node on the movie's own scripts (no page): tables of good and bad texts
// for the reader, and of queries for the index, before and after a keyword
// change.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const { test } = require('node:test');

const JS = path.resolve(__dirname, '..', '..', 'ui', 'src', 'js');

// A context holding window.LR with the scripts loaded, library stubbed.
function movieScripts(library) {
  const context = vm.createContext({ window: {} });
  for (const name of ['core.js', 'xml-tree.js', 'search-index.js']) {
    vm.runInContext(fs.readFileSync(path.join(JS, name), 'utf8'), context, { filename: name });
  }
  context.window.LR.library = library;
  return context.window.LR;
}

// An element as plain data: [name, attrs, ...children].
const plain = (node) => (typeof node === 'string' ? node
  : [node.name, { ...node.attrs }, ...node.children.map(plain)]);

test('the XML reader: entities, attributes and malformed texts', () => {
  const LR = movieScripts(null);
  const good = [
    ['<a/>', ['a', {}]],
    ['<?xml version="1.0" encoding="utf-8" ?>\r\n<album id="1"></album>\r\n', ['album', { id: '1' }]],
    ['\uFEFF<a x=\'1\' y = "two words"/>', ['a', { x: '1', y: 'two words' }]],
    ['<n>Sea &amp; sky &lt;3&gt; &quot;&apos;</n>', ['n', {}, 'Sea & sky <3> "\'']],
    ['<n>&#233;t&#xE9; &#x1F600;</n>', ['n', {}, 'été \u{1F600}']],
    ['<a t="x&amp;y&#10;z&#9;"/>', ['a', { t: 'x&y z ' }]],
    ['<a t="tab\tline\nend"/>', ['a', { t: 'tab line end' }]],
    ['<a><!-- note --><b>1</b><![CDATA[<raw & text>]]><c /></a>',
      ['a', {}, ['b', {}, '1'], '<raw & text>', ['c', {}]]],
  ];
  for (const [text, expected] of good) assert.deepEqual(plain(LR.xmlTree(text)), expected, text);
  const bad = ['', '   ', 'plain text', '<a>', '<a></b>', '<a/><b/>', 'x<a/>', '<a/>x',
    '<a>&nbsp;</a>', '<a>& b</a>', '<a>a < b</a>', '<a t="1" t="2"/>', '<a t=1/>',
    '<a t="&bogus;"/>', '<!DOCTYPE a><a/>', '<a>&#x110000;</a>', '</a>', null, 42];
  for (const text of bad) assert.equal(LR.xmlTree(text), null, String(text));
});

test('the search index: word prefixes of keywords and captions, any case, kept up to date', async () => {
  const photos = [
    { part: '1', id: '1', name: 'Harbour walk' },
    { part: '1', id: '2', name: '' },
    { part: '1', id: '3', name: 'Night in Oslo' },
    { part: '2', id: '1', name: 'SEASIDE' },
  ];
  const keywords = new Map([['1:1', 'sea,lisbon'], ['1:2', 'forest,oslo'], ['2:1', 'beach']]);
  const LR = movieScripts({
    loadParts: async () => ({ parts: [{ folder: '1' }, { folder: '2' }] }),
    loadPhotos: async (album, folder) => photos.filter((p) => p.part === folder),
    keywordEntries: async () => keywords,
  });
  const finds = async (query) => [...await LR.searchIndex.find('7', query)].map((p) => p.part + ':' + p.id);
  const cases = [
    ['sea', ['1:1', '2:1']],          // keyword and caption word, caption in capitals
    ['SEA', ['1:1', '2:1']],
    ['harb', ['1:1']],                // caption prefix
    ['arbour', []],                   // not at the start of a word
    ['osl', ['1:2', '1:3']],          // keyword and caption
    ['Fore osl', ['1:2']],            // every word must match
    ['forest beach', []],
    ['  ', []],
    ['sea-lis', ['1:1']],             // words split at punctuation
  ];
  for (const [query, expected] of cases) assert.deepEqual(await finds(query), expected, query);

  LR.searchIndex.setKeywords('7', '1', '2', 'Zebra crossing');
  LR.searchIndex.setCaption('7', '1', '1', 'Quay');
  await LR.searchIndex.of('7');
  const after = [
    ['zeb cross', ['1:2']], ['forest', []], ['osl', ['1:3']], ['harb', []], ['quay', ['1:1']],
    ['sea', ['1:1', '2:1']],
  ];
  for (const [query, expected] of after) assert.deepEqual(await finds(query), expected, 'after: ' + query);
});
