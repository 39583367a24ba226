// The movie on an album of 5,000 photos in a catalogue of 2,000 albums (see
// big-album.js), relayed to the real program: only the rows in view are in
// the page, choosing a photo fetches no preview, scrolling to the end shows
// the last photos, the search finds by word prefix in keywords and captions
// without reading the keyword files again, and an edited photo is shown from
// its new files.
'use strict';

const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { after, before, test } = require('node:test');
const { chromium } = require('playwright-core');
const { MovieSession } = require('./harness');
const { renditions, makeBigAlbum, expectedFinds } = require('./big-album');
const { digest, imageSize } = require('./files');

const SOURCE = path.resolve(__dirname, '..', '..');
const ARTIFACTS = process.env.LUMIREEL_TEST_ARTIFACTS || path.join(os.tmpdir(), 'lumireel-movie-artifacts');
const PHOTOS = 5000;
const ALBUMS = 2000;
const EDITED = PHOTOS;  // the last photo, edited at the end of the walk
// Made once, then kept beside the fetched photographs (ignored by git).
const RENDITIONS = path.join(SOURCE, 'bench', '.cache', 'movie-renditions');

let workspace, browser, session, page;
const previews = [];  // addresses of the previews the page asked for
const part = (...parts) => path.join(workspace, 'MyAlbums', '1', 'photoparts', '1', ...parts);

const shot = (name) => page.screenshot({ path: path.join(ARTIFACTS, name + '.png') });
const cellIds = () => page.$$eval('#grid .thumb', (list) => list.map((b) => Number(b.dataset.id)));
const idle = () => page.waitForFunction(() => !document.body.dataset.job && !document.querySelector('#dlg-progress').open);
const allImagesLoaded = () => page.waitForFunction(() =>
  Array.from(document.querySelectorAll('#grid img')).every((img) => img.complete && img.naturalWidth > 0));

before(async () => {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  workspace = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-big-album-'));
  execFileSync(path.join(SOURCE, 'scripts', 'make-workspace'), [workspace], { stdio: 'ignore' });
  makeBigAlbum({ workspace, photos: PHOTOS, albums: ALBUMS, sources: renditions(RENDITIONS, 42), ownFiles: [EDITED] });
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const context = await browser.newContext();
  context.on('request', (request) => {
    if (/\/preview\//.test(request.url())) previews.push(new URL(request.url()).pathname + new URL(request.url()).search);
  });
  session = new MovieSession(process.env.LUMIREEL_BINARY, workspace);
  page = await session.open(context, { width: 1280, height: 964 });
  await page.waitForSelector('body[data-ready="true"]');
});

after(async () => {
  if (session) await session.close();
  if (browser) await browser.close();
  if (workspace) fs.rmSync(workspace, { recursive: true, force: true });
});

test('an album of 5,000 photos among 2,000 albums', async (t) => {
  await t.test('only the rows in view are in the page', async () => {
    await allImagesLoaded();
    const counts = await page.evaluate(() => ({
      elements: document.getElementsByTagName('*').length,
      cells: document.querySelectorAll('#grid .thumb').length,
      albums: document.querySelectorAll('#album-list [data-album]').length,
      photos: window.LR.state.photos.length,
    }));
    assert.equal(counts.photos, PHOTOS);
    assert.ok(counts.cells > 0 && counts.cells < 100, JSON.stringify(counts));
    assert.ok(counts.albums > 0 && counts.albums < 60, JSON.stringify(counts));
    assert.ok(counts.elements < 3000, JSON.stringify(counts));
    assert.deepEqual((await cellIds()).slice(0, 3), [1, 2, 3]);
    // The list stands for all its rows: the scroll range reaches the last one.
    const range = await page.$eval('#grid-wrap', (box) => box.scrollHeight / box.clientHeight);
    assert.ok(range > 100, String(range));
    await shot('big-01-loaded');
  });

  await t.test('sorted by name: the list is sorted, the page still holds only the rows in view', async () => {
    const lastCaptioned = PHOTOS - (PHOTOS % 7);
    // Names are the captions ("Harbour walk 7", every seventh photo), else the
    // file names ("1.jpg"), numbers in them compared as numbers.
    for (const [order, first, last] of [['name', [1, 2, 3, 4, 5, 6, 8], lastCaptioned], ['added', [1, 2, 3, 4, 5, 6, 7], PHOTOS],
      ['list', [1, 2, 3, 4, 5, 6, 7], PHOTOS]]) {
      await page.selectOption('#sort', order);
      await page.waitForFunction((o) => window.LR.state.sort === o, order);
      await allImagesLoaded();
      assert.deepEqual((await cellIds()).slice(0, 7), first, order);
      const model = await page.evaluate(() => window.LR.state.photos.map((p) => Number(p.id)));
      assert.equal(model.length, PHOTOS);
      assert.equal(model[model.length - 1], last, order);
      assert.ok((await cellIds()).length < 100);
      if (order === 'name') await shot('big-01-by-name');
    }
  });

  await t.test('choosing photos fetches no preview and touches the cells it changes', async () => {
    const before = previews.length;
    await page.click('#grid .thumb[data-id="2"]');
    await page.waitForSelector('#grid .thumb[data-id="2"].is-selected');
    await page.click('#grid .thumb[data-id="5"]');
    await page.waitForSelector('#grid .thumb[data-id="5"].is-selected');
    assert.equal(await page.$$eval('#grid .thumb.is-selected', (list) => list.length), 1);
    assert.equal(await page.textContent('#details-file'), '5.jpg');
    await session.settle();
    assert.deepEqual(previews.slice(before), []);
  });

  await t.test('scrolling to the end shows the last photos, and back fetches nothing again', async () => {
    await page.$eval('#grid-wrap', (box) => { box.scrollTop = box.scrollHeight; });
    await page.waitForSelector(`#grid .thumb[data-id="${PHOTOS}"]`);
    await allImagesLoaded();
    const ids = await cellIds();
    assert.equal(ids[ids.length - 1], PHOTOS);
    assert.ok(!ids.includes(1), 'the first rows left the page');
    await shot('big-02-end');
    const before = previews.length;
    await page.$eval('#grid-wrap', (box) => { box.scrollTop = 0; });
    await page.waitForSelector('#grid .thumb[data-id="1"]');
    await allImagesLoaded();
    assert.deepEqual(previews.slice(before), []);
    assert.equal(new Set(previews).size, previews.length, 'a preview was fetched twice');
  });

  await t.test('the search matches word prefixes of keywords and captions, any letter case', async () => {
    const search = async (query) => {
      await page.fill('#search', query);
      await page.press('#search', 'Enter');
      await page.waitForFunction((q) => window.LR.state.search && window.LR.state.search.query === q &&
        !document.querySelector('#search-banner').hidden, query);
      return page.evaluate(() => window.LR.state.photos.map((p) => Number(p.id)));
    };
    const keywordReads = () => session.requestsNamed('ReadFile').filter((r) => /keywordsDB/.test(r.xml)).length;
    const reads = keywordReads();
    const sea = await search('SEA');
    assert.equal(sea.length, expectedFinds(PHOTOS, 'sea'));
    assert.deepEqual(sea.slice(0, 2), [8, 16]);
    assert.equal((await search('harb')).length, expectedFinds(PHOTOS, 'harb'));
    assert.deepEqual(await search('Fore osl'), Array.from({ length: PHOTOS }, (_, i) => i + 1)
      .filter((n) => n % 8 === 1 && n % 5 === 1));
    await shot('big-03-search');
    // A keyword saved by the movie is found at once, from the index.
    await page.click('#btn-clear-search');
    await page.waitForFunction((n) => window.LR.state.photos.length === n && !window.LR.state.search, PHOTOS);
    await page.click('#grid .thumb[data-id="3"]');
    await page.fill('#keywords', 'zebra crossing');
    await page.press('#keywords', 'Enter');
    await page.waitForSelector('#details-status:text("Keywords saved.")');
    assert.deepEqual(await search('zeb cross'), [3]);
    assert.equal(keywordReads(), reads, 'the keyword files were read again');
    await page.click('#btn-clear-search');
    await page.waitForFunction((n) => window.LR.state.photos.length === n && !window.LR.state.search, PHOTOS);
  });

  await t.test('an edited photo is shown from its new files', async () => {
    const preview = part('preview', EDITED + '.jpg');
    const old = { digest: digest(preview), size: imageSize(preview) };
    await page.$eval('#grid-wrap', (box) => { box.scrollTop = box.scrollHeight; });
    await page.click(`#grid .thumb[data-id="${EDITED}"]`);
    const src = () => page.$eval(`#grid .thumb[data-id="${EDITED}"] img`, (img) => img.getAttribute('src'));
    const before = await src();
    await page.click('#btn-edit');
    await page.waitForSelector('#dlg-editor[open]');
    await page.click('#dlg-editor [data-turn="90"]');
    await page.click('#dlg-editor [data-primary]');
    await session.settle();
    await idle();
    assert.notEqual(digest(preview), old.digest);
    // Turned a quarter: the preview's sides are swapped (give or take the rounding).
    const turned = imageSize(preview);
    assert.ok(Math.abs(turned.w - old.size.h) <= 1 && Math.abs(turned.h - old.size.w) <= 1, JSON.stringify([old, turned]));
    await page.waitForFunction(([id, was]) => {
      const img = document.querySelector(`#grid .thumb[data-id="${id}"] img`);
      return img && img.getAttribute('src') !== was && img.complete && img.naturalWidth > 0;
    }, [EDITED, before]);
    const shown = await page.$eval(`#grid .thumb[data-id="${EDITED}"] img`, (img) => ({ w: img.naturalWidth, h: img.naturalHeight }));
    assert.deepEqual(shown, imageSize(preview));
    assert.ok(previews.includes('/' + (await src())), 'the new preview was fetched');
    await shot('big-04-edited');
    assert.deepEqual(session.errors, []);
  });
});
