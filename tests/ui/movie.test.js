// A user's day with the interface movie in Chromium, relayed to the real
// program (see harness.js): create an album, add three photos through the
// file dialog, caption one, edit one, tag one and find it by keyword, import
// an album folder, publish for the web and a CD, change the album's settings,
// and use the title bar. The files on disk are checked after each step;
// screenshots of each screen go to LUMIREEL_TEST_ARTIFACTS.
'use strict';

const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { after, before, test } = require('node:test');
const { launchMovie } = require('./harness');
const { Files, all, text, imageSize, saturation, digest } = require('./files');

const SOURCE = path.resolve(__dirname, '..', '..');
const ARTIFACTS = process.env.LUMIREEL_TEST_ARTIFACTS || path.join(os.tmpdir(), 'lumireel-movie-artifacts');
const LARGE = { width: 1280, height: 964 };
const SMALL = { width: 800, height: 670 };
const ALBUM = 'Summer & <Sea> "2024"';

let workspace, photos, browser, session, page, files;
const at = (...parts) => path.join(workspace, ...parts);
const album = (id, ...parts) => at('MyAlbums', String(id), ...parts);

async function shot(name, viewport) {
  if (viewport) await page.setViewportSize(viewport);
  await page.screenshot({ path: path.join(ARTIFACTS, name + '.png') });
  if (viewport) await page.setViewportSize(LARGE);
}

// Sets a range input the way the keyboard does (each key an input event).
async function slide(selector, key, times) {
  await page.focus(selector);
  for (let i = 0; i < times; i++) await page.keyboard.press(key);
}

const thumbs = () => page.locator('#grid .thumb');
const idle = () => page.waitForFunction(() => !document.body.dataset.job && !document.querySelector('#dlg-progress').open);

before(async () => {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  workspace = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-movie-'));
  photos = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-photos-'));
  execFileSync(path.join(SOURCE, 'scripts', 'make-workspace'), [workspace], { stdio: 'ignore' });
  execFileSync(path.join(SOURCE, 'scripts', 'make-demo-photos'), [photos], { stdio: 'ignore' });
  let blank;
  ({ browser, session, page, blank } = await launchMovie(workspace, LARGE));
  files = new Files(blank);
});

after(async () => {
  if (session) await session.close();
  if (browser) await browser.close();
  for (const folder of [workspace, photos]) if (folder) fs.rmSync(folder, { recursive: true, force: true });
});

test('a day with the movie', async (t) => {
  await t.test('start: the movie names its build and shows the empty library', async () => {
    assert.match(session.requestsNamed('setFlashBuildVersion')[0].xml, /lumireel-movie \d/);
    assert.equal(session.callsNamed('setGlobPath').length, 1);
    await page.waitForSelector('#welcome:not([hidden])');
    await shot('01-welcome');
    // An alert key the tables do not know is shown as it is.
    await page.evaluate(() => window.lumireel.receive('<invoke name="showAlert" returntype="xml"><arguments>' +
      '<string>odd_h</string><string>no_such_key</string><number>0</number></arguments></invoke>'));
    await page.waitForSelector('#dlg-alert[open]');
    assert.deepEqual([await page.textContent('#alert-title'), await page.textContent('#alert-message')], ['odd_h', 'no_such_key']);
    await page.keyboard.press('Enter');
    await page.waitForSelector('#dlg-alert', { state: 'hidden' });
  });

  await t.test('create an album: folders, lists and a catalogue entry', async () => {
    await page.click('#btn-first-album');
    await page.fill('#prompt-input', ALBUM);
    await shot('02-new-album-dialog');
    session.pressKey('Return');  // the window hands Enter to the movie, which confirms the dialog
    await page.waitForSelector('#album-list [data-album="1"].is-current');
    await session.settle();
    const catalogue = await files.xml(at('quillmaralbumsettings', 'quillmaralbums.xml'));
    assert.equal(catalogue.attrs.location, 'MyAlbums');
    const [entry] = all(catalogue, 'album');
    assert.equal(entry.attrs.id, '1');
    assert.deepEqual(entry.children.map((c) => [c.name, c.text]), [['name', ALBUM], ['pwidth', '360'],
      ['pheight', '360'], ['bwidth', '2048'], ['bheight', '2048'], ['skeen', 'snakeeye'], ['lang', 'en'],
      ['color', '0xCC00FF'], ['logo', ''], ['ftp', '']]);
    for (const folder of ['photoparts/1/big', 'photoparts/1/preview', 'photoparts/keywordsDB',
      'photoparts/sounds', 'logo', 'synchronization']) {
      assert.ok(fs.statSync(album(1, folder)).isDirectory(), folder);
    }
    const parts = await files.xml(album(1, 'photoparts', 'parts.xml'));
    assert.deepEqual(all(parts, 'part').map((p) => p.attrs), [{ folder: '1', name: 'Photos' }]);
    assert.equal(all(await files.xml(album(1, 'photoparts', '1', 'photos.xml')), 'photo').length, 0);
    await shot('02-new-album');
  });

  await t.test('add three photos through the file dialog, with a progress bar', async () => {
    const picked = ['sunset-field.jpg', 'tall-forest.jpg', 'blue-square.jpg'].map((f) => path.join(photos, f));
    await page.evaluate(() => {
      const dialog = document.querySelector('#dlg-progress');
      window.progressSeen = [];
      new MutationObserver(() => {
        if (!dialog.open) return;
        const bar = dialog.querySelector('progress');
        window.progressSeen.push({ label: dialog.querySelector('h2').textContent, value: bar.value, max: bar.max });
      }).observe(dialog, { attributes: true, subtree: true, childList: true, characterData: true });
    });
    session.answer({ files: picked });
    await page.click('#btn-add-photos');
    await session.waitForRequest('AddPhoto');
    await session.settle();
    await page.waitForFunction(() => document.querySelectorAll('#grid .thumb').length === 3);
    await idle();
    const [add] = session.requestsNamed('AddPhoto');
    assert.match(add.xml, /MyAlbums\/1\/photoparts\/1<\/string><string>1<\/string><string>1<\/string><string>360<\/string><string>360<\/string><string>2048<\/string><string>2048<\/string>.*<string>reload<\/string>/);
    const seen = await page.evaluate(() => window.progressSeen);
    assert.ok(seen.some((s) => s.label === 'Adding photos…'), JSON.stringify(seen));
    assert.ok(seen.some((s) => s.value === 3 && s.max === 3), JSON.stringify(seen));
    const list = await files.xml(album(1, 'photoparts', '1', 'photos.xml'));
    assert.deepEqual(all(list, 'photo').map((p) => text(p, 'id')), ['1', '2', '3']);
    for (const id of [1, 2, 3]) {
      for (const kind of ['big', 'preview']) assert.ok(fs.existsSync(album(1, 'photoparts', '1', kind, id + '.jpg')));
    }
    await page.waitForFunction(() => Array.from(document.querySelectorAll('#grid img')).every((img) => img.complete && img.naturalWidth > 0));
    await shot('03-photos');
    await shot('03-photos-small', SMALL);
  });

  await t.test('caption a photo: saved as its name in photos.xml', async () => {
    await page.click('#grid .thumb[data-id="1"]');
    // The facts of its file (photoinfo.xml): a fact the file did not carry is not shown.
    await page.waitForSelector('#details-original:text("sunset-field.jpg")');
    assert.match(await page.textContent('#details-taken'), /^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$/);
    assert.match(await page.textContent('#details-original-size'), /^\d+ × \d+$/);
    assert.ok(await page.$eval('#details-camera', (cell) => cell.hidden && cell.previousElementSibling.hidden));
    await page.fill('#caption', 'Sunset over the field & <friends>');
    await page.click('#btn-save-caption');
    await page.waitForSelector('#grid .thumb[data-id="1"] .thumb-caption:not(.is-empty)');
    await session.settle();
    const list = await files.xml(album(1, 'photoparts', '1', 'photos.xml'));
    assert.deepEqual(all(list, 'photo').map((p) => text(p, 'name')), ['Sunset over the field & <friends>', '', '']);
    await shot('04-caption');
  });

  await t.test('edit a photo: live preview into tmp, then save the big image', async () => {
    const big = album(1, 'photoparts', '1', 'big', '2.jpg');
    const before = { digest: digest(big), size: imageSize(big) };
    await page.click('#grid .thumb[data-id="2"]');
    await page.click('#btn-edit');
    await page.waitForSelector('#dlg-editor[open]');
    // The photo's original is rendered unedited into tmp first: the previews start from it.
    await page.waitForSelector('#btn-crop:not([disabled])');
    assert.match(session.requestsNamed('SavePreview')[0].xml, /originals\/2\.jpg<\/string><string>[^<]*\/tmp\/lumireel-base-1-2-\d+\.jpg<\/string><string><\/string><string>2<\/string><string>&lt;adjust&gt;&lt;a type=&quot;maxsize&quot;/);
    await slide('#adj-saturation', 'Home', 1);
    await page.waitForFunction(() => /^tmp\/lumireel-preview-.+\.jpg/.test(document.querySelector('#editor-image').getAttribute('src')) &&
      document.querySelector('#editor-image').naturalWidth > 0);
    const first = await page.getAttribute('#editor-image', 'src');
    assert.ok(fs.existsSync(at(first)), first);
    assert.match(session.requestsNamed('SaveIMG_last')[0].xml, /lumireel-base-.*type=&quot;saturation&quot; value=&quot;0&quot;.*type=&quot;maxsize&quot;/);
    await page.click('#dlg-editor [data-turn="90"]');
    await page.waitForFunction((src) => document.querySelector('#editor-image').getAttribute('src') !== src &&
      document.querySelector('#editor-image').naturalWidth > 0, first);
    assert.equal(session.requestsNamed('SaveIMG_last').length, 2);
    await shot('05-editor');
    await shot('05-editor-small', SMALL);
    // The crop frame starts a tenth inside the edges of the photo before the turn.
    await page.click('#btn-crop');
    await page.waitForSelector('#crop-box:not([hidden])');
    await shot('05-editor-crop');
    const second = await page.getAttribute('#editor-image', 'src');
    await page.click('#btn-crop');
    await page.waitForFunction((src) => /^tmp\//.test(document.querySelector('#editor-image').getAttribute('src')) &&
      document.querySelector('#editor-image').getAttribute('src') !== src, second);
    await page.click('#dlg-editor [data-primary]');
    await session.settle();
    await idle();
    const after = { digest: digest(big), size: imageSize(big) };
    assert.notEqual(after.digest, before.digest);
    // Cropped to four fifths, then turned by 90°.
    assert.deepEqual(after.size, { w: Math.round(before.size.h * 0.8), h: Math.round(before.size.w * 0.8) });
    assert.match(session.requestsNamed('SaveEdit')[0].xml, /crop.*rotation/);
    assert.ok(saturation(big) < 0.02, 'the saved photo is grey');
    assert.ok(saturation(album(1, 'photoparts', '1', 'preview', '2.jpg')) < 0.02, 'its preview too');
    assert.match(session.requestsNamed('SaveEdit')[0].xml, /MyAlbums\/1\/photoparts\/1<\/string><string>2<\/string><string>&lt;adjust&gt;/);
    assert.equal(session.requestsNamed('SaveIMG').length, 0);
    assert.equal(session.requestsNamed('CloseEditor').length, 1);
    await shot('05-edited');
  });

  await t.test('tag a photo and find it by keyword', async () => {
    await page.click('#grid .thumb[data-id="3"]');
    await page.fill('#keywords', 'beach, sea');
    await page.press('#keywords', 'Enter');
    await page.waitForSelector('#details-status:text("Keywords saved.")');
    await session.settle();
    const keywords = album(1, 'photoparts', 'keywordsDB');
    assert.deepEqual(all(await files.xml(path.join(keywords, 'keywordsdb.xml')), 't').map((e) => e.text), ['1']);
    const entry = all(await files.xml(path.join(keywords, '1.xml')), 's').find((s) => s.attrs.a === '3');
    assert.deepEqual([entry.attrs.p, entry.text], ['1', 'beach,sea']);
    // Shown again when the photo is chosen again (GetKeyWords, setKeyWords);
    // what was said of the photo before goes with the choice of another.
    await page.click('#grid .thumb[data-id="1"]');
    assert.equal(await page.textContent('#details-status'), '');
    await page.click('#grid .thumb[data-id="3"]');
    await page.waitForFunction(() => document.querySelector('#keywords').value === 'beach sea');
    await page.fill('#search', 'SEA');
    await page.press('#search', 'Enter');
    await page.waitForSelector('#search-banner:not([hidden])');
    assert.deepEqual(await thumbs().evaluateAll((list) => list.map((b) => b.dataset.id)), ['3']);
    await shot('06-search');
    await page.click('#btn-clear-search');
    await page.waitForFunction(() => document.querySelectorAll('#grid .thumb').length === 3);
  });

  await t.test('import an album folder, and refuse a folder that is not an album', async () => {
    session.answer({ folder: photos });
    await page.click('#btn-import-album');
    await page.fill('#prompt-input', 'Not an album');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#dlg-alert[open][data-kind="error"]');
    assert.equal(await page.textContent('#alert-title'), 'Not an album');
    await shot('07-import-refused');
    await page.keyboard.press('Enter');  // confirms the alert
    await page.waitForSelector('#dlg-alert', { state: 'hidden' });

    session.answer({ folder: album(1) });
    await page.click('#btn-import-album');
    await page.fill('#prompt-input', 'Summer copy');
    await page.click('#prompt-ok');
    await page.waitForSelector('#album-list [data-album="2"].is-current');
    await session.settle();
    const catalogue = await files.xml(at('quillmaralbumsettings', 'quillmaralbums.xml'));
    assert.deepEqual(all(catalogue, 'album').map((a) => [a.attrs.id, text(a, 'name')]), [['1', ALBUM], ['2', 'Summer copy']]);
    assert.equal(all(await files.xml(album(2, 'photoparts', '1', 'photos.xml')), 'photo').length, 3);
    await page.waitForFunction(() => document.querySelectorAll('#grid .thumb').length === 3);
    await shot('07-imported');
  });

  await t.test('switch the movie to German; publish the album for the web and a CD', async () => {
    // The language is saved beside the workspace's other settings, which stay.
    fs.writeFileSync(at('quillmaralbumsettings', 'lumireel-movie.xml'), '<movie lang="en" originals="1" />\n');
    await page.click('#btn-settings');
    await page.selectOption('#set-lang', 'de');
    await page.click('#dlg-settings [data-primary]');
    await page.waitForSelector('#btn-add-photos:text("Fotos hinzufügen…")');
    await session.waitForRequest('WriteLFile');
    await session.settle();
    assert.match(fs.readFileSync(at('quillmaralbumsettings', 'lumireel-movie.xml'), 'utf8'), /<movie lang="de" originals="1" ?\/>/);
    fs.writeFileSync(at('quillmaralbumsettings', 'lumireel-movie.xml'), '<movie lang="de" />\n');

    await page.click('#album-list [data-album="1"]');
    await page.waitForSelector('#album-list [data-album="1"].is-current');
    const published = at('published');
    fs.mkdirSync(published);
    await page.click('#btn-publish');
    await page.check('#pub-web');
    await page.check('#pub-cd');
    await shot('08-publish-dialog');
    session.answer({ folder: published });
    await page.click('#pub-ok');
    await page.waitForSelector('#dlg-alert[open]');
    assert.equal(await page.textContent('#alert-title'), 'Veröffentlicht');
    assert.equal(await page.textContent('#alert-message'), 'Das Album wurde veröffentlicht.');
    await shot('08-published');
    await session.settle();
    await page.click('#dlg-alert [data-primary]');
    await idle();
    assert.match(session.requestsNamed('Publish')[0].xml,
      /<string>0<\/string><string>1<\/string><string>1<\/string><string>1<\/string><string>[^<]*\/MyAlbums\/<\/string>/);
    const title = fs.readFileSync(path.join(published, 'web', 'index.html'), 'utf8');
    assert.ok(title.includes('Summer &amp; &lt;Sea&gt;'), 'the album name is the page title');
    for (const kind of ['web', 'cd']) {
      assert.equal(all(await files.xml(path.join(published, kind, 'photoparts', '1', 'photos.xml')), 'photo').length, 3);
      assert.equal((await files.xml(path.join(published, kind, 'zel_ui', 'zelsetting.xml'))).attrs.skeen, 'snakeeye');
    }
    assert.ok(fs.existsSync(path.join(published, 'cd', 'autorun.inf')));
  });

  await t.test('upload right after publishing: the server goes into the album, the password nowhere', async () => {
    await page.click('#btn-publish');
    await page.uncheck('#pub-cd');
    await page.selectOption('#up-protocol', 'ftp');
    await page.fill('#up-host', '127.0.0.1');
    await page.fill('#up-port', '1');  // nothing listens there
    await page.fill('#up-user', 'anna');
    await page.fill('#up-folder', '/www/summer');
    await page.fill('#up-password', 'pa55word');
    await page.check('#up-after');
    await shot('08-publish-upload');
    session.answer({ folder: at('published') });
    session.answer({ button: 'ok' });  // the web folder is not empty
    await page.click('#pub-ok');
    await page.waitForSelector('#dlg-alert[open]');
    assert.equal(await page.textContent('#alert-title'), 'Veröffentlicht');
    await page.click('#dlg-alert [data-primary]');
    await page.waitForSelector('#alert-title:text("Keine Antwort")');
    await shot('08-upload-unreachable');
    await page.click('#dlg-alert [data-primary]');
    await session.settle();
    await idle();
    assert.match(session.requestsNamed('UploadGallery')[0].xml,
      /<string>1<\/string><string><\/string><string>pa55word<\/string><string><\/string>/);
    const catalogue = fs.readFileSync(at('quillmaralbumsettings', 'quillmaralbums.xml'), 'utf8');
    const [entry] = all(await files.xml(at('quillmaralbumsettings', 'quillmaralbums.xml')), 'album');
    assert.deepEqual(all(entry, 'ftp')[0].attrs,
      { protocol: 'ftp', host: '127.0.0.1', port: '1', user: 'anna', folder: '/www/summer' });
    assert.ok(!catalogue.includes('pa55word'));
  });

  await t.test('album settings: name, skin, gallery language and colour go into the catalogue', async () => {
    await page.click('#btn-album-settings');
    await page.fill('#as-name', 'Summer 2024');
    await page.selectOption('#as-skin', 'ocean');
    await page.selectOption('#as-lang', 'fr');
    await page.fill('#as-color', '#336699');
    await shot('09-album-settings');
    await shot('09-album-settings-small', SMALL);
    await page.click('#dlg-album [data-primary]');
    await page.waitForSelector('#album-list [data-album="1"]:has-text("Summer 2024")');
    await session.settle();
    const [entry] = all(await files.xml(at('quillmaralbumsettings', 'quillmaralbums.xml')), 'album');
    assert.deepEqual(['name', 'skeen', 'lang', 'color'].map((f) => text(entry, f)), ['Summer 2024', 'ocean', 'fr', '0x336699']);
  });

  await t.test('photo folders added, renamed and reordered; a logo picked; a photo deleted', async () => {
    await page.click('#album-list [data-album="2"]');
    await page.waitForSelector('#album-list [data-album="2"].is-current');
    await page.click('#btn-add-part');
    await page.fill('#prompt-input', 'Zweiter Tag');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#part-list [data-part="2"].is-current');
    await page.click('#btn-part-up');
    await page.waitForFunction(() => document.querySelector('#part-list li:first-child [data-part="2"]'));
    await page.click('#btn-part-rename');
    await page.fill('#prompt-input', 'Day two');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#part-list [data-part="2"]:has-text("Day two")');
    await session.settle();
    const parts = await files.xml(album(2, 'photoparts', 'parts.xml'));
    assert.deepEqual(all(parts, 'part').map((p) => [p.attrs.folder, p.attrs.name]), [['2', 'Day two'], ['1', 'Photos']]);
    assert.ok(fs.statSync(album(2, 'photoparts', '2', 'preview')).isDirectory());
    assert.equal(all(await files.xml(album(2, 'photoparts', '2', 'photos.xml')), 'photo').length, 0);

    await page.click('#btn-album-settings');
    session.answer({ files: [path.join(photos, 'small-note.png')] });
    await page.click('#as-logo-choose');
    await page.waitForSelector('#dlg-alert[open]');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#as-logo-name:text("small-note.png")');
    await page.click('#dlg-album [data-cancel]');
    await session.settle();
    assert.ok(fs.existsSync(album(2, 'logo', 'small-note.png')));
    assert.equal(text(all(await files.xml(at('quillmaralbumsettings', 'quillmaralbums.xml')), 'album')[1], 'logo'), 'small-note.png');

    await page.click('#part-list [data-part="1"]');
    await page.click('#grid .thumb[data-id="3"]');
    // The delete question's default is Cancel: it has the focus, and Enter
    // (wherever the focus is) or Escape keeps the photo.
    for (const press of [() => page.keyboard.press('Enter'), () => page.keyboard.press('Escape'),
      () => page.evaluate(() => document.activeElement.blur()).then(() => page.keyboard.press('Enter'))]) {
      await page.click('#btn-delete-photo');
      await page.waitForSelector('#dlg-confirm[open]');
      assert.ok(await page.evaluate(() => document.activeElement === document.querySelector('#dlg-confirm .dialog-buttons .btn:not(#confirm-ok)')));
      assert.ok(await page.$eval('#confirm-ok', (b) => b.classList.contains('btn-danger')));
      await press();
      await page.waitForSelector('#dlg-confirm[open]', { state: 'detached' });
    }
    assert.equal(await page.$$eval('#grid .thumb', (cells) => cells.length), 3);
    await page.click('#btn-delete-photo');
    await page.click('#confirm-ok');
    await page.waitForFunction(() => document.querySelectorAll('#grid .thumb').length === 2);
    await session.settle();
    const list = await files.xml(album(2, 'photoparts', '1', 'photos.xml'));
    assert.deepEqual(all(list, 'photo').map((p) => text(p, 'id')), ['1', '2']);
    assert.ok(!fs.existsSync(album(2, 'photoparts', '1', 'big', '3.jpg')));
    assert.ok(!fs.existsSync(album(2, 'photoparts', '1', 'preview', '3.jpg')));
    await shot('10-folders-small', SMALL);

    // A change applied to every photo of the folder, with progress.
    const bigs = [1, 2].map((id) => album(2, 'photoparts', '1', 'big', id + '.jpg'));
    const before = bigs.map(digest);
    await page.click('#grid .thumb[data-id="1"]');
    await page.click('#btn-edit');
    await page.click('#dlg-editor [data-turn="180"]');
    await page.click('#dlg-editor [data-action="folder"]');
    await page.click('#confirm-ok');
    await session.waitForRequest('ApplyAdjustForFolder');
    await session.settle();
    await idle();
    assert.match(session.requestsNamed('ApplyAdjustForFolder')[0].xml, /MyAlbums\/2\/photoparts\/1\/<\/string><string>&lt;adjust&gt;&lt;a type=&quot;rotation&quot; value=&quot;180&quot;\/&gt;&lt;\/adjust&gt;</);
    assert.deepEqual(session.callsNamed('showProgress').slice(-1), ['<invoke name="showProgress" returntype="xml"><arguments><number>2</number><number>2</number></arguments></invoke>']);
    bigs.forEach((big, i) => assert.notEqual(digest(big), before[i], big));
  });

  await t.test('the title bar moves, maximises, restores, minimises and closes the window', async () => {
    const bar = await page.locator('#titlebar-drag').boundingBox();
    session.cursor(100, 100);
    await page.mouse.move(bar.x + 200, bar.y + 10);
    await page.mouse.down();
    await session.waitForRequest('startDragWindow');
    await session.settle();
    session.cursor(160, 90);
    await session.waitForLine((l) => l.window && l.window.x === 60 && l.window.y === 20);
    await page.mouse.up();
    await session.waitForRequest('stopDragWindow');
    await session.settle();
    assert.deepEqual(session.requests.map((r) => r.name).filter((n) => /DragWindow$/.test(n)), ['startDragWindow', 'stopDragWindow']);

    const grip = await page.locator('#resize-grip').boundingBox();
    await page.mouse.move(grip.x + 5, grip.y + 5);
    await page.mouse.down();
    await page.mouse.up();
    await session.waitForRequest('stopResizeWindow');
    await session.settle();
    assert.deepEqual(session.requests.map((r) => r.name).filter((n) => /ResizeWindow$/.test(n)), ['startResizeWindow', 'stopResizeWindow']);

    const windowState = async (button, state) => {
      const from = session.lines.length;
      await page.click(button);
      await session.waitForLine((l) => l.window && l.window.state === state, from);
    };
    await windowState('#btn-maximise', 'maximized');
    await windowState('#btn-maximise', 'normal');
    await windowState('#btn-minimise', 'minimized');
    assert.deepEqual(session.errors, []);
    await page.click('#btn-close');
    await session.waitForLine((l) => l.exit === 0);
  });
});
