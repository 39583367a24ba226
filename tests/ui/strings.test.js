// The movie's language tables hold every text the movie shows: each alert
// key and progress label the program sends (found in its sources), and each
// key the movie's page and scripts name, in every language.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { test } = require('node:test');

const SOURCE = path.resolve(__dirname, '..', '..');
const UI = path.join(SOURCE, 'ui', 'src');

function filesBelow(folder, pattern) {
  return fs.readdirSync(folder, { withFileTypes: true }).flatMap((entry) => {
    const file = path.join(folder, entry.name);
    if (entry.isDirectory()) return filesBelow(file, pattern);
    return pattern.test(entry.name) ? [file] : [];
  });
}

const tables = Object.fromEntries(fs.readdirSync(path.join(UI, 'lang'))
  .filter((name) => name.endsWith('.json'))
  .map((name) => [name.slice(0, -5), JSON.parse(fs.readFileSync(path.join(UI, 'lang', name), 'utf8'))]));

// The keys of the program's showAlert and createProgressBar calls: string
// literals in those calls, and the constants they name.
function programKeys() {
  const keys = new Set();
  for (const file of filesBelow(path.join(SOURCE, 'src'), /\.cpp$/)) {
    const source = fs.readFileSync(file, 'utf8');
    const constants = new Map(Array.from(source.matchAll(/char (k\w+)\[\] = "([^"]*)"/g), (m) => [m[1], m[2]]));
    for (const call of source.matchAll(/(?:SendAlert|ShowAlertMessage|CreateProgressBarMessage)\(([^;]*)\)/g)) {
      for (const literal of call[1].matchAll(/"([^"]*)"/g)) keys.add(literal[1]);
      for (const name of call[1].matchAll(/\bk\w+/g)) if (constants.has(name[0])) keys.add(constants.get(name[0]));
    }
  }
  return keys;
}

// The keys the movie's page and scripts name.
function movieKeys() {
  const keys = new Set();
  const page = fs.readFileSync(path.join(UI, 'movie.html'), 'utf8');
  for (const m of page.matchAll(/data-t(?:-title|-aria|-placeholder)?="([^"]+)"/g)) keys.add(m[1]);
  for (const file of filesBelow(path.join(UI, 'js'), /\.js$/)) {
    const script = fs.readFileSync(file, 'utf8');
    for (const m of script.matchAll(/LR\.t\('([a-z_0-9]+)'\s*[,)]/g)) keys.add(m[1]);
    for (const m of script.matchAll(/(?:prompt|confirm)\(\s*'([a-z_0-9]+)',\s*(?:'([a-z_0-9]+)')?/g)) {
      keys.add(m[1]);
      if (m[2]) keys.add(m[2]);
    }
    // Keys the movie passes on to the program for its alerts (MoveFile).
    for (const m of script.matchAll(/'([a-z_0-9]+)', '([a-z_0-9]+_h)'\)/g)) {
      keys.add(m[1]);
      keys.add(m[2]);
    }
  }
  return keys;
}

test('every key the program sends has a text in every language', () => {
  const keys = programKeys();
  for (const key of ['mkdir_error_h', 'write_file_error', 'errorimportalbum', 'loc_msg_localpubsucc',
    'import_error', 'loc_convertimg', 'loc_publish_lbl']) {
    assert.ok(keys.has(key), `the scan of the program's sources misses ${key}`);
  }
  for (const [code, table] of Object.entries(tables)) {
    assert.deepEqual([...keys].filter((key) => !(key in table)), [], `missing in lang/${code}.json`);
  }
});

test('every key the movie names has a text in every language', () => {
  const keys = movieKeys();
  assert.ok(keys.size > 50, 'the scan of the movie finds its keys');
  for (const [code, table] of Object.entries(tables)) {
    assert.deepEqual([...keys].filter((key) => !(key in table)), [], `missing in lang/${code}.json`);
  }
});

test('the tables are English and at least one more language, with the same keys', () => {
  assert.ok('en' in tables && Object.keys(tables).length >= 2);
  const english = Object.keys(tables.en).sort();
  for (const table of Object.values(tables)) assert.deepEqual(Object.keys(table).sort(), english);
});
