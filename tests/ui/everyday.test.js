// Everyday work with the movie on an album of real photographs imported
// through the program (so that each keeps its original and its facts), in
// Chromium with the real program behind (see harness.js): copies offered for
// removal after the import, the caption a file carried, edits kept and
// undone, an album rendered again at new sizes (and stopped), galleries with
// the originals, and more. Screenshots of each screen at a desktop, a small
// window and a phone go to LUMIREEL_TEST_ARTIFACTS.
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
const DESKTOP = { width: 1280, height: 964 };
const SMALL = { width: 800, height: 670 };
const PHONE = { width: 390, height: 844 };
const PHOTOS = 42;
const CAPTIONED = 5;      // the photo whose file carries a caption
const EDITED = 3;         // the photo edited, reverted and edited again
const CROPPED = 7;        // the photo cropped on the turned and mirrored photo
const CAPTION = 'Friends at the lake';
const TAKEN = { 10: '2001:05:01 10:00:00', 20: '1999:12:31 23:59:00' };

let workspace, sources, browser, session, page, files;
const part = (...parts) => path.join(workspace, 'MyAlbums', '1', 'photoparts', '1', ...parts);
const idle = () => page.waitForFunction(() => !document.body.dataset.job && !document.querySelector('#dlg-progress').open);
// The grid draws only the rows in view: what it holds is its list's.
const gridCount = () => page.evaluate(() => LR.grid.cells().items.length);

// Screenshots at the desktop size, the small window's and a phone's.
async function shots(name) {
  await page.screenshot({ path: path.join(ARTIFACTS, `everyday-${name}.png`) });
  for (const [size, viewport] of [['small', SMALL], ['phone', PHONE]]) {
    await page.setViewportSize(viewport);
    await page.screenshot({ path: path.join(ARTIFACTS, `everyday-${name}-${size}.png`) });
  }
  await page.setViewportSize(DESKTOP);
}

// One second of a 440 Hz tone as a WAV file.
function tone(rate = 8000) {
  const data = Buffer.alloc(44 + rate * 2);
  data.write('RIFF', 0);
  data.writeUInt32LE(36 + rate * 2, 4);
  data.write('WAVEfmt ', 8);
  for (const [at, value, bytes] of [[16, 16, 4], [20, 1, 2], [22, 1, 2], [24, rate, 4], [28, rate * 2, 4], [32, 2, 2], [34, 16, 2]]) {
    if (bytes === 4) data.writeUInt32LE(value, at);
    else data.writeUInt16LE(value, at);
  }
  data.write('data', 36);
  data.writeUInt32LE(rate * 2, 40);
  for (let i = 0; i < rate; i++) data.writeInt16LE(Math.round(8000 * Math.sin((2 * Math.PI * 440 * i) / rate)), 44 + i * 2);
  return data;
}

// Records every state the progress bar shows (its label and whether it can
// be cancelled); with `cancel`, presses its Cancel as soon as it shows.
function watchProgress(cancel = false) {
  return page.evaluate((cancelIt) => {
    const dialog = document.querySelector('#dlg-progress');
    window.progressSeen = [];
    window.cancelled = false;
    window.progressWatch?.disconnect();
    window.progressWatch = new MutationObserver(() => {
      if (!dialog.open) return;
      const button = document.querySelector('#progress-cancel');
      window.progressSeen.push({ label: document.querySelector('#progress-label').textContent, cancel: !button.hidden });
      if (cancelIt && !button.hidden && !window.cancelled) { window.cancelled = true; button.click(); }
    });
    window.progressWatch.observe(dialog, { attributes: true, subtree: true, childList: true, characterData: true });
  }, cancel);
}

async function openEditor(id) {
  await page.click(`#grid .thumb[data-id="${id}"]`);
  await page.click('#btn-edit');
  await page.waitForSelector('#dlg-editor[open]');
  // The base (the original, unedited) is there once cropping can start.
  await page.waitForSelector('#btn-crop:not([disabled])');
}

async function saveEditor() {
  await page.click('#dlg-editor [data-primary]');
  await session.settle();
  await idle();
}

// Saves the album's settings with big images of `side` x `side`.
async function setBigBox(side) {
  await page.click('#btn-album-settings');
  await page.fill('#as-bwidth', String(side));
  await page.fill('#as-bheight', String(side));
  await page.click('#dlg-album [data-primary]');
}

// The longer side of each big image, in photo order.
function bigSides() {
  return Array.from({ length: PHOTOS }, (_, i) => {
    const { w, h } = imageSize(part('big', `${i + 1}.jpg`));
    return Math.max(w, h);
  });
}

before(async () => {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  workspace = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-everyday-'));
  sources = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-everyday-photos-'));
  execFileSync(path.join(SOURCE, 'scripts', 'make-workspace'), [workspace], { stdio: 'ignore' });
  execFileSync(path.join(SOURCE, 'tests', 'support', 'real_photos.py'), [sources, String(PHOTOS), '--box', '1000'],
    { stdio: ['ignore', 'ignore', 'inherit'] });
  let blank;
  ({ browser, session, page, blank } = await launchMovie(workspace, DESKTOP));
  files = new Files(blank);
});

after(async () => {
  if (session) await session.close();
  if (browser) await browser.close();
  for (const folder of [workspace, sources]) if (folder) fs.rmSync(folder, { recursive: true, force: true });
});

test('everyday work on an album of real photographs', async (t) => {
  await t.test('import: the copy of a photo is offered for removal, the caption its file carried is shown', async () => {
    const picked = fs.readdirSync(sources).filter((f) => f.endsWith('.jpg')).sort().map((f) => path.join(sources, f));
    assert.equal(picked.length, PHOTOS);
    execFileSync('exiftool', ['-q', '-overwrite_original', `-ImageDescription=${CAPTION}`, picked[CAPTIONED - 1]]);
    // Two photos taken long before the others, the later one first in the list.
    for (const [n, when] of Object.entries(TAKEN)) {
      execFileSync('exiftool', ['-q', '-overwrite_original', `-DateTimeOriginal=${when}`, picked[n - 1]]);
    }
    // The others were taken (by their files' times) all at once.
    const now = new Date();
    for (const file of picked) fs.utimesSync(file, now, now);
    const copy = path.join(sources, 'copy-of-the-first.jpg');
    fs.copyFileSync(picked[0], copy);
    await page.click('#btn-first-album');
    await page.fill('#prompt-input', 'Everyday');
    await page.click('#prompt-ok');
    await page.waitForSelector('#album-list [data-album="1"].is-current');
    session.answer({ files: [...picked, copy] });
    await page.click('#btn-add-photos');
    await session.waitForRequest('AddPhoto');
    await session.settle();
    await page.waitForSelector('#dlg-confirm[open]');
    assert.match(await page.textContent('#confirm-message'), /^One photo in this folder is a copy/);
    await shots('01-duplicates');
    const facts = await files.xml(part('photoinfo.xml'));
    assert.deepEqual(all(facts, 'photo').filter((p) => p.attrs.duplicate_of).map((p) => [p.attrs.id, p.attrs.duplicate_of]),
      [[String(PHOTOS + 1), '1']]);
    await page.click('#confirm-ok');
    await page.waitForSelector('#btn-remove-duplicates', { state: 'hidden' });
    await session.settle();
    assert.equal(await gridCount(), PHOTOS);
    const ids = all(await files.xml(part('photos.xml')), 'photo').map((p) => Number(text(p, 'id')));
    assert.deepEqual(ids, Array.from({ length: PHOTOS }, (_, i) => i + 1));
    for (const gone of [part('big', `${PHOTOS + 1}.jpg`), part('preview', `${PHOTOS + 1}.jpg`), part('originals', `${PHOTOS + 1}.jpg`)]) {
      assert.ok(!fs.existsSync(gone), gone);
    }
    assert.ok(fs.existsSync(part('originals', '1.jpg')), 'the photo copied keeps its original');

    // The file's caption wherever the photo has none of its own.
    const cell = `#grid .thumb[data-id="${CAPTIONED}"] .thumb-caption`;
    assert.equal(await page.textContent(cell), CAPTION);
    assert.ok(!(await page.$eval(cell, (c) => c.classList.contains('is-empty'))));
    await page.dblclick(`#grid .thumb[data-id="${CAPTIONED}"]`);
    await page.waitForSelector('#dlg-viewer[open]');
    assert.equal(await page.textContent('#viewer-caption'), CAPTION);
    await page.keyboard.press('Escape');
    await page.waitForSelector('#dlg-viewer', { state: 'hidden' });
    assert.equal(await page.inputValue('#caption'), CAPTION);
    await shots('02-caption-from-file');
  });

  await t.test('sorted by date taken, by name, by date added, and as in the folder', async () => {
    const ids = () => page.evaluate(() => window.LR.state.photos.map((p) => Number(p.id)));
    const inList = Array.from({ length: PHOTOS }, (_, i) => i + 1);
    // The names are the files' own ("0001-Aqua.jpg"), the caption for the captioned photo.
    for (const [order, expected] of [
      ['taken', [20, 10, ...inList.filter((n) => n !== 10 && n !== 20)]],
      ['name', [...inList.filter((n) => n !== CAPTIONED), CAPTIONED]],
      ['added', inList], ['list', inList]]) {
      await page.selectOption('#sort', order);
      await page.waitForFunction((o) => window.LR.state.sort === o, order);
      assert.deepEqual(await ids(), expected, order);
      if (order === 'taken') {
        await page.waitForFunction(() => Array.from(document.querySelectorAll('#grid img')).every((img) => img.complete && img.naturalWidth > 0));
        await shots('03-sorted-by-date-taken');
      }
    }
  });

  await t.test('edit from the original: kept, shown again on opening, reverted', async () => {
    const big = part('big', `${EDITED}.jpg`);
    const imported = { digest: digest(big), size: imageSize(big) };
    await openEditor(EDITED);
    assert.ok(await page.isVisible('#btn-revert'));
    await page.focus('#adj-saturation');
    await page.keyboard.press('Home');
    await page.click('#dlg-editor [data-turn="90"]');
    await page.click('#btn-crop');
    await page.waitForSelector('#crop-box:not([hidden])');
    await page.click('#btn-crop');
    await page.waitForFunction(() => /^tmp\/lumireel-preview-/.test(document.querySelector('#editor-image').getAttribute('src')));
    await saveEditor();
    const [save] = session.requestsNamed('SaveEdit');
    assert.match(save.xml, /photoparts\/1<\/string><string>3<\/string><string>&lt;adjust&gt;.*saturation.*crop.*rotation/);
    assert.equal(session.requestsNamed('SaveIMG').length, 0);
    // Cropped to four fifths of the photo, then turned.
    const edited = imageSize(big);
    assert.ok(Math.abs(edited.w - imported.size.h * 0.8) <= 1 && Math.abs(edited.h - imported.size.w * 0.8) <= 1,
      JSON.stringify([imported.size, edited]));
    assert.ok(saturation(big) < 0.02, 'grey');
    assert.ok(fs.existsSync(part('edits', `${EDITED}.xml`)));

    await openEditor(EDITED);
    assert.equal(await page.inputValue('#adj-saturation'), '0');
    assert.match(await page.textContent('#crop-size'), /^\d+ × \d+$/);
    await page.waitForFunction(() => /^tmp\/lumireel-preview-/.test(document.querySelector('#editor-image').getAttribute('src')) &&
      document.querySelector('#editor-image').naturalWidth > 0);
    await shots('03-editor-kept-edits');
    await page.click('#btn-revert');
    await session.settle();
    await idle();
    assert.equal(session.requestsNamed('RevertPhoto').length, 1);
    assert.deepEqual({ digest: digest(big), size: imageSize(big) }, imported);
    assert.ok(!fs.existsSync(part('edits', `${EDITED}.xml`)));

    // Opened again: nothing kept, nothing changed.
    await openEditor(EDITED);
    assert.equal(await page.inputValue('#adj-saturation'), '100');
    assert.equal(await page.textContent('#crop-size'), '');
    await page.focus('#adj-saturation');
    await page.keyboard.press('Home');
    await saveEditor();
  });

  await t.test('crop on the photo as turned and mirrored, with handles and aspects', async () => {
    const id = CROPPED;
    const cropOf = (xml) => Object.fromEntries(['x', 'y', 'w', 'h'].map((k) =>
      [k, Number(new RegExp(`type=&quot;crop&quot;.*?${k}=&quot;(\\d+)&quot;`).exec(xml)[1])]));
    const sizeShown = async () => (await page.textContent('#crop-size')).split(' × ').map(Number);
    // The frame moved into the top left corner of the photo as seen is
    // where these turns and mirrors take that corner from.
    for (const { turn, mirror, corner } of [
      { turn: 90, mirror: null, corner: 'bottom left' },
      { turn: 90, mirror: 'h', corner: 'top left' },
      { turn: 0, mirror: 'v', corner: 'bottom left' },
      { turn: 180, mirror: 'h', corner: 'bottom left' },
    ]) {
      await openEditor(id);
      await page.click('#btn-editor-reset');  // what the last round kept
      if (turn) await page.click(`#dlg-editor [data-turn="${turn}"]`);
      if (mirror) await page.click(`#dlg-editor [data-flip="${mirror}"]`);
      await page.click('#btn-crop');
      await page.waitForSelector('#crop-box:not([hidden])');
      const disk = await page.$eval('#editor-image', (img) => ({ w: img.naturalWidth, h: img.naturalHeight }));
      const seen = await page.$eval('#crop-canvas', (c) => ({ w: c.width, h: c.height }));
      assert.deepEqual(seen, turn % 180 ? { w: disk.h, h: disk.w } : disk);
      const frame = await page.locator('#crop-box').boundingBox();
      const photo = await page.locator('#crop-canvas').boundingBox();
      await page.mouse.move(frame.x + frame.width / 2, frame.y + frame.height / 2);
      await page.mouse.down();
      await page.mouse.move(photo.x - 50, photo.y - 50, { steps: 4 });
      await page.mouse.up();
      if (turn === 90 && !mirror) await shots('04-crop-turned');
      await page.click('#btn-crop');
      await saveEditor();
      const crop = cropOf(session.requestsNamed('SaveEdit').at(-1).xml);
      const left = crop.x === 0;
      const top = crop.y === 0;
      const bottom = crop.y + crop.h === disk.h;
      assert.equal(corner, (top ? 'top' : bottom ? 'bottom' : '?') + ' ' + (left ? 'left' : '?'), JSON.stringify({ crop, disk }));
    }

    // Aspects hold through a handle's drag; turning the frame swaps its sides.
    await openEditor(id);
    await page.click('#btn-editor-reset');
    await page.click('#btn-crop');
    await page.waitForSelector('#crop-box:not([hidden])');
    await page.selectOption('#crop-aspect', '1:1');
    let [w, h] = await sizeShown();
    assert.equal(w, h);
    const handle = await page.locator('.crop-handle[data-handle="se"]').boundingBox();
    await page.mouse.move(handle.x + 7, handle.y + 7);
    await page.mouse.down();
    await page.mouse.move(handle.x - 60, handle.y - 20, { steps: 4 });
    await page.mouse.up();
    const [smaller, same] = await sizeShown();
    assert.ok(smaller < w && Math.abs(smaller - same) <= 1, JSON.stringify([w, smaller, same]));
    await page.selectOption('#crop-aspect', '16:9');
    await page.click('#btn-crop-turn');
    [w, h] = await sizeShown();
    assert.ok(Math.abs(w / h - 9 / 16) < 0.02, JSON.stringify([w, h]));
    await shots('04-crop-aspect');
    await page.click('#btn-crop');
    await saveEditor();
    const saved = imageSize(part('big', `${id}.jpg`));
    assert.ok(Math.abs(saved.w - w) <= 1 && Math.abs(saved.h - h) <= 1, JSON.stringify([saved, w, h]));
  });

  await t.test('new sizes render the whole album again, with progress; Cancel stops it', async () => {
    const cropped = imageSize(part('big', `${CROPPED}.jpg`));
    await watchProgress();
    await setBigBox(600);
    await session.waitForRequest('RenderAlbum');
    await session.settle();
    await idle();
    const seen = await page.evaluate(() => window.progressSeen);
    assert.ok(seen.some((s) => s.label === 'Making the album’s photos at the new sizes…' && s.cancel), JSON.stringify(seen));
    assert.match(session.requestsNamed('RenderAlbum')[0].xml, /<string>[^<]*\/MyAlbums\/1<\/string>/);
    const sides = bigSides();
    assert.deepEqual(sides.filter((_, i) => i + 1 !== CROPPED), Array(PHOTOS - 1).fill(600));
    // The crop, made on big images of the originals' 1000 px, is scaled to the new size.
    const scaled = imageSize(part('big', `${CROPPED}.jpg`));
    assert.ok(Math.abs(scaled.w - cropped.w * 0.6) <= 1 && Math.abs(scaled.h - cropped.h * 0.6) <= 1,
      JSON.stringify([cropped, scaled]));
    assert.ok(saturation(part('big', `${EDITED}.jpg`)) < 0.02, 'the edit is applied again');
    await page.waitForFunction(() => Array.from(document.querySelectorAll('#grid img')).every((img) => img.complete && img.naturalWidth > 0));
    await shots('05-rendered');

    await watchProgress(true);
    await setBigBox(500);
    await session.waitForRequest('CancelRenderAlbum');
    await session.settle();
    await idle();
    // Each photo is whole at one of the two sizes.
    bigSides().forEach((side, i) => assert.ok(i + 1 === CROPPED || side === 600 || side === 500, String(side)));
    assert.deepEqual(session.errors, []);
  });

  await t.test('a gallery with the originals, when asked for', async () => {
    const published = path.join(workspace, 'published');
    fs.mkdirSync(published);
    await page.click('#btn-publish');
    assert.ok(!(await page.isChecked('#pub-originals')));
    await page.check('#pub-originals');
    await page.check('#pub-cd');
    await shots('06-publish-originals');
    session.answer({ folder: published });
    await page.click('#pub-ok');
    // The message names both galleries' folders and opens the offline one in
    // the browser, through the desktop.
    await page.waitForSelector('#dlg-alert[open] #alert-actions button');
    assert.deepEqual(await page.$$eval('#alert-details dd', (dds) => dds.map((dd) => dd.textContent)),
      [path.join(published, 'cd'), path.join(published, 'web')]);
    assert.deepEqual(await page.$$eval('#alert-actions button', (bs) => bs.map((b) => b.textContent)),
      ['Open gallery', 'Open folder']);
    await shots('06-published-where');
    const before = session.lines.length;
    await page.click('#alert-actions button:text("Open gallery")');
    const opened = await session.waitForLine((line) => 'open' in line, before);
    assert.equal(opened.open, path.join(fs.realpathSync(published), 'cd', 'index.html'));
    assert.ok(!(await page.isVisible('#dlg-alert')));
    await session.settle();
    await idle();
    const settings = await files.xml(path.join(workspace, 'quillmaralbumsettings', 'lumireel-movie.xml'));
    assert.equal(settings.attrs.originals, '1');
    assert.equal(fs.readdirSync(path.join(published, 'web', 'photoparts', '1', 'originals')).length, PHOTOS);
    assert.ok(fs.existsSync(path.join(published, 'cd', 'index.html')));
    await page.click('#btn-publish');
    assert.ok(await page.isChecked('#pub-originals'));
    await page.click('#dlg-publish [data-cancel]');
  });

  await t.test('the viewer zooms (fit, 100 %, wheel, pinch) and pans; the slide show plays the album\'s music', async () => {
    const tune = path.join(sources, 'tune.wav');
    fs.writeFileSync(tune, tone());
    await page.click('#btn-album-settings');
    session.answer({ files: [tune] });
    await page.click('#as-music-choose');
    await page.waitForSelector('#dlg-alert[open]');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#as-music-name:text("tune.wav")');
    await page.click('#dlg-album [data-cancel]');

    // A phone's screen: the photo is fitted well below its own size.
    await page.setViewportSize(PHONE);
    await page.dblclick('#grid .thumb[data-id="1"]');
    await page.waitForSelector('#dlg-viewer[open]');
    await page.waitForFunction(() => document.querySelector('#viewer-image').complete);
    const zoomShown = async () => Number((await page.textContent('#viewer-zoom')).replace(/\D/g, ''));
    const placed = () => page.locator('#viewer-image').boundingBox();
    const natural = await page.$eval('#viewer-image', (img) => img.naturalWidth);
    const fitted = await zoomShown();
    assert.ok(fitted > 0 && fitted < 100, String(fitted));
    assert.ok(Math.abs((await placed()).width - natural * fitted / 100) < natural / 100 + 1);
    const stage = await page.locator('.viewer-stage').boundingBox();
    await page.mouse.move(stage.x + stage.width / 2, stage.y + stage.height / 2);
    await page.mouse.wheel(0, -400);
    await page.waitForFunction((f) => Number(document.querySelector('#viewer-zoom').textContent.replace(/\D/g, '')) > f, fitted);
    await page.screenshot({ path: path.join(ARTIFACTS, 'everyday-08-viewer-zoomed-phone.png') });
    // Dragged to the right: the image follows, up to its left edge.
    const before = await placed();
    await page.mouse.down();
    await page.mouse.move(stage.x + stage.width / 2 + 30, stage.y + stage.height / 2, { steps: 3 });
    await page.mouse.up();
    assert.ok(Math.abs((await placed()).x - before.x - 30) < 1.5, JSON.stringify([before, await placed()]));
    await page.click('#viewer-fit');
    assert.equal(await zoomShown(), fitted);
    // Two fingers moved from 40 to 160 pixels apart: four times the size.
    await page.evaluate(() => {
      const target = document.querySelector('.viewer-stage');
      const box = target.getBoundingClientRect();
      const [cx, cy] = [box.left + box.width / 2, box.top + box.height / 2];
      const finger = (type, id, dx) => target.dispatchEvent(new PointerEvent(type,
        { pointerId: id, pointerType: 'touch', isPrimary: id === 11, clientX: cx + dx, clientY: cy, bubbles: true }));
      finger('pointerdown', 11, -20);
      finger('pointerdown', 12, 20);
      for (let d = 30; d <= 80; d += 10) { finger('pointermove', 11, -d); finger('pointermove', 12, d); }
      finger('pointerup', 11, -80);
      finger('pointerup', 12, 80);
    });
    assert.ok(Math.abs(await zoomShown() - 4 * fitted) <= 2, String(await zoomShown()));
    await page.click('#viewer-actual');
    assert.equal(await zoomShown(), 100);
    assert.ok(Math.abs((await placed()).width - natural) < 1);
    await page.screenshot({ path: path.join(ARTIFACTS, 'everyday-08-viewer-actual-phone.png') });
    await page.click('#dlg-viewer [data-primary]');
    await page.setViewportSize(DESKTOP);

    const from = session.lines.length;
    await page.click('#btn-slideshow');
    await page.waitForSelector('#dlg-show[open]');
    await session.waitForLine((l) => l.window && l.window.state === 'maximized', from);
    const music = await page.$eval('#show-music', (a) => ({ src: a.getAttribute('src'), loop: a.loop }));
    assert.deepEqual(music, { src: 'MyAlbums/1/photoparts/sounds/tune.wav', loop: true });
    assert.match(await page.getAttribute('#show-image', 'src'), /^MyAlbums\/1\/photoparts\/1\/big\/1\.jpg/);
    await page.waitForFunction(() => document.querySelector('#show-image').naturalWidth > 0);
    await shots('09-slideshow');
    await page.click('#show-next');
    assert.equal(await page.textContent('#show-count'), '2 of 42');
    await page.click('#show-play');
    assert.equal(await page.getAttribute('#dlg-show', 'data-playing'), 'false');
    assert.ok(await page.$eval('#show-music', (a) => a.paused));
    await page.keyboard.press('Escape');
    await page.waitForSelector('#dlg-show', { state: 'hidden' });
    await session.waitForLine((l) => l.window && l.window.state === 'normal', from);
    assert.equal(await page.textContent('#details-file'), '2.jpg');
  });

  await t.test('many photos at once: chosen with Shift, Ctrl and select all; captioned, tagged, reordered, deleted', async () => {
    const chosen = () => page.$$eval('#grid .thumb.is-selected', (list) => list.map((b) => Number(b.dataset.id)));
    const listed = async () => all(await files.xml(part('photos.xml')), 'photo');
    await page.click('#grid .thumb[data-id="4"]');
    await page.click('#grid .thumb[data-id="7"]', { modifiers: ['Shift'] });
    await page.click('#grid .thumb[data-id="9"]', { modifiers: ['Control'] });
    await page.click('#grid .thumb[data-id="5"]', { modifiers: ['Control'] });
    assert.deepEqual(await chosen(), [4, 6, 7, 9]);
    assert.equal(await page.textContent('#batch-title'), '4 photos chosen');
    await page.fill('#caption', 'Harbour day');
    await page.click('#btn-save-caption');
    await page.waitForSelector('#details-status:text("Caption saved for 4 photos.")');
    await page.fill('#keywords', 'boat, pier');
    await page.press('#keywords', 'Enter');
    await page.waitForSelector('#details-status:text("Keywords saved for 4 photos.")');
    await shots('10-batch');
    await session.settle();
    const names = Object.fromEntries((await listed()).map((p) => [text(p, 'id'), text(p, 'name')]));
    assert.deepEqual([4, 5, 6, 7, 9].map((n) => names[n]), ['Harbour day', '', 'Harbour day', 'Harbour day', 'Harbour day']);
    const keys = all(await files.xml(path.join(workspace, 'MyAlbums', '1', 'photoparts', 'keywordsDB', '1.xml')), 's');
    assert.deepEqual(keys.filter((k) => k.text === 'boat,pier').map((k) => Number(k.attrs.a)).sort((a, b) => a - b), [4, 6, 7, 9]);

    await page.focus('#grid .thumb[data-id="1"]');
    await page.keyboard.press('Control+A');
    assert.equal(await page.textContent('#batch-title'), `${PHOTOS} photos chosen`);
    await page.click('#grid .thumb[data-id="1"]');
    assert.deepEqual(await chosen(), [1]);

    // Photos 8 and 10 dragged before photo 2: the list's order, its form kept.
    await page.click('#grid .thumb[data-id="8"]');
    await page.click('#grid .thumb[data-id="10"]', { modifiers: ['Control'] });
    const source = await page.locator('#grid .thumb[data-id="8"]').boundingBox();
    const target = await page.locator('#grid .thumb[data-id="2"]').boundingBox();
    await page.mouse.move(source.x + source.width / 2, source.y + source.height / 2);
    await page.mouse.down();
    await page.mouse.move(target.x + 10, target.y + target.height / 2, { steps: 12 });
    await page.mouse.up();
    await page.waitForFunction(() => window.LR.state.photos[1].id === '8');
    await session.settle();
    const order = (await listed()).map((p) => Number(text(p, 'id')));
    assert.deepEqual(order.slice(0, 5), [1, 8, 10, 2, 3]);
    assert.equal(order.length, PHOTOS);
    assert.match(fs.readFileSync(part('photos.xml'), 'utf8'), /^<\?xml version="1.0" encoding="utf-8" \?><album [^>]*><photo><id>1<\/id><file>1\.jpg<\/file><name \/><w>\d+<\/w><h>\d+<\/h><\/photo><photo><id>8<\/id>/);
    assert.deepEqual((await page.$$eval('#grid .thumb', (list) => list.map((b) => Number(b.dataset.id)))).slice(0, 4), [1, 8, 10, 2]);

    // The desktop's web view shows a file manager's files to the page only as
    // their addresses: a drag of addresses is taken for files too, unless it
    // started in the movie; files are taken on the grid only.
    const accepted = await page.evaluate(() => {
      // The drop effect a drag of addresses over `selector` is given (a
      // constructed DataTransfer keeps none, so the movie's choice is caught).
      const over = (selector) => {
        const transfer = new DataTransfer();
        transfer.setData('text/uri-list', 'file:///photos/a.jpg');
        let effect = 'none';
        Object.defineProperty(transfer, 'dropEffect', { get: () => effect, set: (value) => { effect = value; } });
        const taken = !document.querySelector(selector).dispatchEvent(
          new DragEvent('dragover', { dataTransfer: transfer, bubbles: true, cancelable: true }));
        return taken ? effect : 'left to the view';
      };
      const fromElsewhere = [over('#grid-wrap'), over('.sidebar'), over('#search')];
      const link = document.createElement('a');
      link.href = '#';
      document.body.append(link);
      link.dispatchEvent(new DragEvent('dragstart', { dataTransfer: new DataTransfer(), bubbles: true, cancelable: true }));
      const fromMovie = over('#grid-wrap');
      link.dispatchEvent(new DragEvent('dragend', { bubbles: true }));
      link.remove();
      return { fromElsewhere, fromMovie, afterwards: over('#grid-wrap') };
    });
    assert.deepEqual(accepted, { fromElsewhere: ['copy', 'none', 'none'], fromMovie: 'left to the view', afterwards: 'copy' });

    // Files dropped from the file manager are imported into the open folder.
    const dropped = fs.readdirSync(sources).filter((f) => /^00(0[1-2])-/.test(f)).map((f) => path.join(sources, f));
    session.answer({ files: dropped });
    await page.evaluate(() => {
      const transfer = new DataTransfer();
      transfer.items.add(new File(['photo'], 'dropped.jpg', { type: 'image/jpeg' }));
      const grid = document.querySelector('#grid-wrap');
      for (const type of ['dragenter', 'dragover', 'drop']) grid.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
    });
    await session.waitForRequest('AddPhoto', 2);
    await session.settle();
    await idle();
    // They copy photos 1 and 2: the movie offers to remove the copies.
    await page.waitForSelector('#dlg-confirm[open]');
    assert.match(await page.textContent('#confirm-message'), /^2 photos in this folder are copies/);
    await page.click('#dlg-confirm [data-primary]');  // Cancel: they stay
    assert.equal((await listed()).length, PHOTOS + 2);

    // The two copies and the last photo of the list, chosen together, deleted.
    await page.$eval('#grid-wrap', (box) => { box.scrollTop = box.scrollHeight; });
    const ids = (await listed()).map((p) => Number(text(p, 'id')));
    const [lastListed, ...copies] = ids.slice(-3);
    await page.click(`#grid .thumb[data-id="${lastListed}"]`);
    await page.click(`#grid .thumb[data-id="${copies[1]}"]`, { modifiers: ['Shift'] });
    await page.click('#btn-delete-photo');
    assert.equal(await page.textContent('#confirm-message'), 'Delete the 3 chosen photos from the album? Their images are removed from the disk.');
    await page.click('#confirm-ok');
    await page.waitForSelector('#batch-title', { state: 'hidden' });
    await session.settle();
    assert.deepEqual((await listed()).map((p) => Number(text(p, 'id'))), ids.slice(0, -3));
    for (const id of [lastListed, ...copies]) {
      for (const kind of ['big', 'preview', 'originals']) assert.ok(!fs.existsSync(part(kind, `${id}.jpg`)), `${kind} ${id}`);
    }

    // Photos 3 (with kept edits) and 4 (captioned and tagged) moved into a new folder.
    await page.click('#btn-add-part');
    await page.fill('#prompt-input', 'Harbour');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#part-list [data-part="2"].is-current');
    await page.click('#part-list [data-part="1"]');
    await page.click('#grid .thumb[data-id="3"]');
    await page.click('#grid .thumb[data-id="4"]', { modifiers: ['Control'] });
    await page.selectOption('#move-target', '2');
    await page.click('#btn-move');
    await page.waitForFunction(() => !window.LR.state.photos.some((p) => p.id === '3' || p.id === '4'));
    await session.settle();
    const moved = path.join(workspace, 'MyAlbums', '1', 'photoparts', '2');
    assert.deepEqual(all(await files.xml(path.join(moved, 'photos.xml')), 'photo').map((p) => [text(p, 'id'), text(p, 'file'), text(p, 'name')]),
      [['1', '1.jpg', ''], ['2', '2.jpg', 'Harbour day']]);
    assert.ok(!(await listed()).some((p) => ['3', '4'].includes(text(p, 'id'))));
    for (const [kind, from, to] of [['big', 3, 1], ['preview', 4, 2], ['originals', 3, 1], ['originals', 4, 2]]) {
      assert.ok(fs.existsSync(path.join(moved, kind, `${to}.jpg`)) && !fs.existsSync(part(kind, `${from}.jpg`)), `${kind} ${from}`);
    }
    assert.ok(fs.existsSync(path.join(moved, 'edits', '1.xml')) && !fs.existsSync(part('edits', '3.xml')));
    const facts = all(await files.xml(path.join(moved, 'photoinfo.xml')), 'photo').map((p) => p.attrs.id + ' ' + p.attrs.original);
    assert.deepEqual(facts.map((f) => f.slice(0, 7)), ['1 0003-', '2 0004-']);
    const tags = all(await files.xml(path.join(workspace, 'MyAlbums', '1', 'photoparts', 'keywordsDB', '1.xml')), 's');
    assert.deepEqual(tags.filter((k) => k.text === 'boat,pier').map((k) => k.attrs.p + ':' + k.attrs.a).sort(), ['1:6', '1:7', '1:9', '2:2']);
    assert.ok(!(await page.isVisible('#dlg-alert')), 'no message');
    await page.click('#part-list [data-part="2"]');
    await page.waitForSelector('#grid .thumb[data-id="2"] .thumb-caption:text("Harbour day")');
    await shots('11-moved');
    assert.deepEqual(session.errors, []);
  });

  await t.test('the settings hold the language and what new albums get', async () => {
    await page.click('#btn-settings');
    await page.waitForSelector('#dlg-settings[open]');
    assert.equal(await page.inputValue('#new-bwidth'), '2048');
    await page.selectOption('#new-skin', 'ocean');
    await page.selectOption('#new-lang', 'de');
    await page.fill('#new-color', '#336699');
    for (const [field, value] of [['pwidth', '240'], ['pheight', '240'], ['bwidth', '1280'], ['bheight', '1280']]) {
      await page.fill('#new-' + field, value);
    }
    await shots('07-settings');
    await page.click('#dlg-settings [data-primary]');
    await session.settle();
    const settings = await files.xml(path.join(workspace, 'quillmaralbumsettings', 'lumireel-movie.xml'));
    assert.equal(settings.attrs.originals, '1', 'the other settings stay');
    assert.deepEqual(all(settings, 'newalbum')[0].attrs, { skeen: 'ocean', lang: 'de', color: '0x336699',
      pwidth: '240', pheight: '240', bwidth: '1280', bheight: '1280' });
    await page.click('#btn-new-album');
    await page.fill('#prompt-input', 'Second');
    await page.click('#prompt-ok');
    await page.waitForSelector('#album-list [data-album="2"].is-current');
    await session.settle();
    const [, second] = all(await files.xml(path.join(workspace, 'quillmaralbumsettings', 'quillmaralbums.xml')), 'album');
    assert.deepEqual(['skeen', 'lang', 'color', 'pwidth', 'pheight', 'bwidth', 'bheight'].map((f) => text(second, f)),
      ['ocean', 'de', '0x336699', '240', '240', '1280', '1280']);
    const list = await files.xml(path.join(workspace, 'MyAlbums', '2', 'photoparts', '1', 'photos.xml'));
    assert.deepEqual([list.attrs.mwidth, list.attrs.mheight], ['240', '240']);

    // Reset brings back the defaults of the dialog and keeps the other settings.
    await page.click('#btn-settings');
    await page.click('#set-reset');
    await session.settle();
    const reset = await files.xml(path.join(workspace, 'quillmaralbumsettings', 'lumireel-movie.xml'));
    assert.deepEqual([reset.attrs, all(reset, 'newalbum').length], [{ originals: '1' }, 0]);
    await page.click('#btn-settings');
    assert.equal(await page.inputValue('#new-bwidth'), '2048');
    await page.click('#dlg-settings [data-cancel]');
    assert.deepEqual(session.errors, []);
  });

  await t.test('an import shows its progress with Cancel, which stops it and keeps what came in', async () => {
    const picked = fs.readdirSync(sources).filter((f) => /^\d{4}-.*\.jpg$/.test(f)).sort().map((f) => path.join(sources, f));
    await watchProgress(true);
    session.answer({ files: picked });
    await page.click('#btn-add-photos');
    await session.waitForRequest('CancelAddPhoto');
    await session.settle();
    await idle();
    const seen = await page.evaluate(() => window.progressSeen);
    assert.ok(seen.some((s) => s.label === 'Adding photos…' && s.cancel), JSON.stringify(seen));
    // However far it came (the program's own test stops one for sure), the
    // list names exactly the photos whose images are there.
    const second = path.join(workspace, 'MyAlbums', '2', 'photoparts', '1');
    const ids = all(await files.xml(path.join(second, 'photos.xml')), 'photo').map((p) => Number(text(p, 'id')));
    assert.deepEqual(ids, Array.from({ length: ids.length }, (_, i) => i + 1));
    assert.deepEqual(fs.readdirSync(path.join(second, 'big')).sort(), ids.map((n) => `${n}.jpg`).sort());
    assert.deepEqual(session.errors, []);
  });
});
