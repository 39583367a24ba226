// The gallery player in a real browser. An album is made with the real
// program (photos imported with AddPhoto, keywords with AddKeyWords) and
// published with Publish: the web gallery is served on 127.0.0.1, the CD
// gallery is opened from its folder (file://). Screenshots go to the folder
// LUMIREEL_TEST_ARTIFACTS.
'use strict';

const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { after, before, test } = require('node:test');
const { pathToFileURL } = require('node:url');
const { chromium } = require('playwright-core');
const { Lumireel } = require('./headless');
const { serve } = require('./static-server');

const SOURCE = path.resolve(__dirname, '..', '..');
const ARTIFACTS = process.env.LUMIREEL_TEST_ARTIFACTS || path.join(os.tmpdir(), 'lumireel-gallery');
const NAME = 'Zoë\'s "Trip" & <Friends>';
const CAPTIONS = ['Sunrise "over" <the> bay & café </script>', 'Harbour', 'Hill top'];

let workspace;
let profile;
let context;

const xmlText = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
const album = (...parts) => path.join(workspace, 'MyAlbums', '1', ...parts);

function write(file, text) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, text);
}

async function publish(app, kind, skin, colour, show = '') {
  write(path.join(workspace, 'quillmaralbumsettings', 'quillmaralbums.xml'),
    `<?xml version="1.0" encoding="utf-8" ?><albums><album id="1"><name>${xmlText(NAME)}</name>` +
    `<skeen>${skin}</skeen><lang>en</lang><color>${colour}</color><logo />${show}</album></albums>`);
  app.answer({ folder: path.join(workspace, 'published') });
  app.invoke('Publish', ['0', kind === 'cd' ? '1' : '0', kind === 'web' ? '1' : '0', '1', album('..') + '/']);
  const calls = (await app.sync()).filter((line) => line.call);
  assert.equal(calls.length, 3, JSON.stringify(calls));
}

before(async () => {
  workspace = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-gallery-'));
  fs.cpSync(path.join(SOURCE, 'data', 'images'), path.join(workspace, 'images'), { recursive: true });
  fs.mkdirSync(path.join(workspace, 'published'));
  write(album('photoparts', 'parts.xml'), '<?xml version="1.0" encoding="utf-8" ?><parts sound="theme.mp3">' +
    '<part folder="1" name="Day one" /><part folder="2" name="Day two" /></parts>');
  write(album('photoparts', 'sounds', 'theme.mp3'), 'not really music');
  const app = new Lumireel(process.env.LUMIREEL_BINARY, workspace);
  try {
    const gradients = [['800x600', '#c0392b-#f1c40f'], ['600x800', '#1abc9c-#2c3e50'], ['900x500', '#8e44ad-#ecf0f1']];
    for (const [i, [size, colours]] of gradients.entries()) {
      const picture = path.join(workspace, `source-${i}.jpg`);
      execFileSync('convert', ['-size', size, 'gradient:' + colours, picture]);
      // The last photo's caption comes from its file (EXIF ImageDescription).
      if (i === 2) execFileSync('exiftool', ['-q', '-overwrite_original', '-ImageDescription=' + CAPTIONS[i], picture]);
      const part = album('photoparts', i < 2 ? '1' : '2');
      fs.mkdirSync(path.join(part, 'big'), { recursive: true });
      fs.mkdirSync(path.join(part, 'preview'), { recursive: true });
      if (!fs.existsSync(path.join(part, 'photos.xml'))) {
        write(path.join(part, 'photos.xml'), '<?xml version="1.0" encoding="utf-8" ?><album></album>\r\n');
      }
      app.answer({ files: [picture] });
      app.invoke('AddPhoto', [part, 'x', '', '180', '180', '700', '700', '', '', '', 'reload']);
      await app.sync();
      // The caption, as the movie writes it when the user names the photo.
      const list = path.join(part, 'photos.xml');
      if (i === 2) continue;
      fs.writeFileSync(list, fs.readFileSync(list, 'utf8').replace('<name/>', `<name>${xmlText(CAPTIONS[i])}</name>`));
    }
    fs.mkdirSync(album('photoparts', 'keywordsDB'));
    app.invoke('AddKeyWords', ['harbour boats', album('photoparts', 'keywordsDB'), '1', '2']);
    await app.sync();
    // The CD gallery: a quick show without fades, and "Download all" asked for.
    await publish(app, 'cd', 'ocean', '0x3366CC', '<seconds>1</seconds><transition>cut</transition><download>1</download>');
    await publish(app, 'web', 'graphite', '0x00AA55');
  } finally {
    await app.close();
  }
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-chromium-'));
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    viewport: { width: 1024, height: 700 },
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  if (context) await context.close();
  for (const folder of [workspace, profile]) if (folder) fs.rmSync(folder, { recursive: true, force: true });
});

// Serious and critical accessibility violations that axe-core finds on the page.
async function axeViolations(page) {
  await page.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
  const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
  return result.violations.filter((v) => ['serious', 'critical'].includes(v.impact))
    .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
}

// Plays the gallery at `url`: the first photo with its caption as its
// alternative text, the album name in the heading, the next photo loading
// ahead, the arrow keys, the skin, the accent colour, the keyword search,
// the slide show's transition; no address outside the gallery is asked for
// and axe-core finds nothing serious.
async function playGallery(url, expected) {
  const { base, fade, ...look } = expected;
  const page = await context.newPage();
  const requests = [];
  const errors = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.goto(url + '?autoplay=0');
  const showing = async (slide) => {
    await page.waitForSelector(`#lumireel-gallery[data-ready="true"][data-slide="${slide}"]`);
    return page.evaluate(() => {
      const figure = document.querySelector('.lr-slide.lr-current');
      const img = figure.querySelector('img');
      return [figure.querySelector('figcaption').textContent, img.getAttribute('src'), img.naturalWidth > 0, img.alt];
    });
  };
  assert.deepEqual(await showing(1), [CAPTIONS[0], 'photoparts/1/big/1.jpg', true, CAPTIONS[0]]);
  assert.deepEqual(await page.evaluate(() => ({
    skin: getComputedStyle(document.documentElement).getPropertyValue('--lr-skin-name').trim(),
    accent: getComputedStyle(document.querySelector('.lr-play')).backgroundColor,
    title: document.title,
    heading: document.querySelector('h1').textContent,
    thumbs: document.querySelectorAll('.lr-thumb img').length,
    music: document.querySelector('.lr-music').hidden ? '' : document.querySelector('.lr-audio').getAttribute('src'),
    download: document.querySelector('.lr-download')?.getAttribute('href'),
    fade: getComputedStyle(document.querySelector('.lr-slide')).transitionDuration,
  })), { ...look, heading: NAME, thumbs: 3, music: 'photoparts/sounds/theme.mp3', download: 'album.zip', fade });
  await page.waitForFunction(() => document.querySelector('.lr-thumb img').complete);
  assert.ok(requests.includes(base + 'photoparts/1/big/2.jpg'), 'the next photo is loaded ahead');
  await page.waitForTimeout(900);  // the fade
  await page.screenshot({ path: path.join(ARTIFACTS, `${look.skin.slice(1, -1)}-first.png`) });
  assert.deepEqual(await axeViolations(page), []);

  await page.keyboard.press('ArrowRight');
  assert.deepEqual(await showing(2), [CAPTIONS[1], 'photoparts/1/big/2.jpg', true, CAPTIONS[1]]);
  await page.keyboard.press('ArrowRight');
  assert.deepEqual(await showing(3), [CAPTIONS[2], 'photoparts/2/big/1.jpg', true, CAPTIONS[2]]);
  await page.keyboard.press('ArrowRight');  // round to the first again
  await showing(1);
  await page.fill('.lr-query', 'boat');  // part 1, photo 2
  assert.equal((await showing(2))[0], CAPTIONS[1]);
  assert.equal(await page.textContent('.lr-matches'), '1 found');
  assert.equal(await page.textContent('.lr-counter'), '1 / 1');
  await page.screenshot({ path: path.join(ARTIFACTS, `${look.skin.slice(1, -1)}-search.png`) });

  await page.emulateMedia({ reducedMotion: 'reduce' });
  assert.equal(await page.evaluate(() => getComputedStyle(document.querySelector('.lr-slide')).transitionDuration), '0s');
  assert.deepEqual(errors, []);
  assert.deepEqual(requests.filter((address) => !address.startsWith(base)), []);
  await page.close();
}

test('web gallery served over HTTP plays with its skin and accent colour', async () => {
  const { server, origin } = await serve(path.join(workspace, 'published', 'web'));
  try {
    await playGallery(origin + '/index.html', { base: origin + '/', skin: '"graphite"',
      accent: 'rgb(0, 170, 85)', title: 'Quillmar Slide Show Album : ' + NAME, fade: '0.8s' });
  } finally {
    server.close();
  }
});

test('CD gallery opened from its folder plays without a server', async () => {
  const folder = pathToFileURL(path.join(workspace, 'published', 'cd')).href + '/';
  await playGallery(folder + 'index.html', { base: folder, skin: '"ocean"',
    accent: 'rgb(51, 102, 204)', title: 'Quillmar Slide Show Album', fade: '0s' });
});

// The visitor starts and pauses the show; it moves on after the album's
// seconds per photo (1 in the CD album) and holds the photo when paused.
test('the slide show plays at the album\'s pace and pauses', async () => {
  const page = await context.newPage();
  await page.goto(pathToFileURL(path.join(workspace, 'published', 'cd')).href + '/index.html');
  await page.waitForSelector('#lumireel-gallery[data-ready="true"][data-slide="1"]');
  assert.equal(await page.getAttribute('.lr-play', 'aria-pressed'), 'false');
  await page.waitForTimeout(1500);
  assert.equal(await page.getAttribute('#lumireel-gallery', 'data-slide'), '1', 'it starts paused');
  await page.click('.lr-play');
  await page.waitForSelector('#lumireel-gallery[data-slide="2"]', { timeout: 2500 });
  await page.waitForSelector('#lumireel-gallery[data-slide="3"]', { timeout: 2500 });
  await page.keyboard.press(' ');
  assert.equal(await page.getAttribute('.lr-play', 'aria-pressed'), 'false');
  await page.waitForTimeout(1500);
  assert.equal(await page.getAttribute('#lumireel-gallery', 'data-slide'), '3');
  await page.close();
});
