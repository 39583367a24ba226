// The interface movie on large albums: the real movie in Chromium against
// the real `lumireel --headless --pace 0`, through the browser tests'
// harness (tests/ui/harness.js) and their large-album workspace
// (tests/ui/big-album.js). bench/run starts it and turns what it prints into
// rows of bench/results.md.
//
// Usage: node bench/movie_bench.js BINARY MOVIE RENDITIONS SCRATCH RUNS PHOTOS[,PHOTOS...] ALBUMS
// Prints one JSON object: {"runs": [{photos, albums, figures: {name: [values]}}]}.
//
// Each figure is taken in the page (performance.now(); "shown" means the
// next frame after the change has been drawn):
//   first_load_ms    page navigation to the library on show (setGlobPath read)
//   select_ms        a click on a photo until its selection is drawn
//   select_requests  preview requests caused by one such click
//   render_ms        one full render of every view, with layout
//   search_ms        Find clicked until the finds are drawn; clear_ms: "Show all"
//   import_ms        Add photos clicked until the program's reloadContent
//   add_ms           reloadContent until the grid holds the new photo
//   scroll_long_tasks / scroll_longest_ms   tasks over 50 ms while the grid
//                    is scrolled from top to bottom, a screenful a frame
//   dom_elements     the most elements the page held during all of this
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const REPO = path.resolve(__dirname, '..');
const UI_TESTS = path.join(REPO, 'tests', 'ui');
const { chromium } = require(path.join(UI_TESTS, 'node_modules', 'playwright-core'));
const { MovieSession } = require(path.join(UI_TESTS, 'harness'));
const { renditions, makeBigAlbum } = require(path.join(UI_TESTS, 'big-album'));

const VIEWPORT = { width: 1280, height: 964 };

// In every page before its scripts: long tasks and the moment the movie is ready.
const PROBES = `
window.__longTasks = [];
new PerformanceObserver((list) => { for (const e of list.getEntries()) window.__longTasks.push(e.duration); })
  .observe({ type: 'longtask', buffered: true });
new MutationObserver(() => {
  if (window.__readyAt === undefined && document.body && document.body.dataset.ready === 'true') window.__readyAt = performance.now();
}).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-ready'] });
window.__frame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
window.__until = async (test) => { while (!test()) await new Promise((resolve) => setTimeout(resolve, 2)); await window.__frame(); return performance.now(); };
`;

const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function openSession(context, binary, workspace) {
  const session = new MovieSession(binary, workspace);
  const page = await session.open(context, VIEWPORT);
  await page.waitForFunction(() => window.__readyAt !== undefined, null, { timeout: 60000 });
  return { session, page };
}

async function measureAlbum(browser, options, photos) {
  const { binary, movie, sources, scratch, runs, albums } = options;
  const workspace = path.join(scratch, `movie-${photos}`);
  fs.rmSync(workspace, { recursive: true, force: true });
  execFileSync(path.join(REPO, 'scripts', 'make-workspace'), [workspace],
    { stdio: 'ignore', env: Object.assign({}, process.env, { LUMIREEL_MOVIE: movie }) });
  makeBigAlbum({ workspace, photos, albums, sources });
  const figures = {};
  const add = (name, value) => (figures[name] = figures[name] || []).push(value);
  const context = await browser.newContext();
  await context.addInitScript({ content: PROBES });
  let previews = 0;
  context.on('request', (request) => { if (/\/preview\//.test(request.url())) previews += 1; });

  // First load: a new program and page each time (setGlobPath comes once per start).
  let open = null;
  for (let run = 0; run < runs; run++) {
    if (open) { await open.session.close(); }
    open = await openSession(context, binary, workspace);
    add('first_load_ms', await open.page.evaluate(() => window.__readyAt));
  }
  const { session, page } = open;
  const dom = () => page.evaluate(() => document.getElementsByTagName('*').length);
  let domMost = await dom();
  await page.evaluate(() => window.LR.searchIndex.of(window.LR.state.album.id));
  await page.waitForTimeout(500);

  for (let run = 0; run < runs * 4; run++) {
    const before = previews;
    add('select_ms', await page.evaluate(async (n) => {
      const cells = document.querySelectorAll('#grid .thumb');
      const button = cells[(n * 5 + 1) % cells.length];
      const start = performance.now();
      button.click();
      await window.__frame();
      return performance.now() - start;
    }, run));
    await page.waitForTimeout(150);
    add('select_requests', previews - before);
  }
  for (let run = 0; run < runs * 4; run++) {
    add('render_ms', await page.evaluate(() => {
      const start = performance.now();
      window.LR.app.render();
      void document.body.offsetHeight;
      return performance.now() - start;
    }));
  }
  for (let run = 0; run < runs * 2; run++) {
    const query = ['sea', 'Fore', 'harb'][run % 3];
    const [search, clear] = await page.evaluate(async (q) => {
      const S = window.LR.state;
      document.querySelector('#search').value = q;
      let start = performance.now();
      document.querySelector('#btn-search').click();
      const found = await window.__until(() => S.search && S.search.query === q && !document.querySelector('#search-banner').hidden) - start;
      start = performance.now();
      document.querySelector('#btn-clear-search').click();
      const cleared = await window.__until(() => !S.search && document.querySelector('#search-banner').hidden) - start;
      return [found, cleared];
    }, query);
    add('search_ms', search);
    add('clear_ms', clear);
    domMost = Math.max(domMost, await dom());
  }

  const scroll = await page.evaluate(async () => {
    const box = document.querySelector('#grid-wrap');
    box.scrollTop = 0;
    await window.__frame();
    window.__longTasks.length = 0;
    let most = document.getElementsByTagName('*').length;
    while (box.scrollTop + box.clientHeight < box.scrollHeight - 1) {
      box.scrollTop += box.clientHeight * 0.9;
      await window.__frame();
      most = Math.max(most, document.getElementsByTagName('*').length);
    }
    await new Promise((resolve) => setTimeout(resolve, 300));
    return { tasks: window.__longTasks.slice(), most };
  });
  add('scroll_long_tasks', scroll.tasks.length);
  add('scroll_longest_ms', scroll.tasks.length ? Math.max(...scroll.tasks) : 0);
  domMost = Math.max(domMost, scroll.most);

  for (let run = 0; run < runs; run++) {
    const id = photos + run + 1;
    session.answer({ files: [sources[run % sources.length].big] });
    const times = await page.evaluate(async (newId) => {
      const movie = window.lumireelMovie;
      const reload = movie.reloadContent;
      let reloadAt = 0;
      movie.reloadContent = function () { reloadAt = performance.now(); return reload.apply(this, arguments); };
      const box = document.querySelector('#grid-wrap');
      box.scrollTop = box.scrollHeight;
      await window.__frame();
      const start = performance.now();
      document.querySelector('#btn-add-photos').click();
      const shown = await window.__until(() => document.querySelector(`#grid .thumb[data-id="${newId}"]`));
      movie.reloadContent = reload;
      return { importMs: reloadAt - start, addMs: shown - reloadAt };
    }, id);
    add('import_ms', times.importMs);
    add('add_ms', times.addMs);
    await session.settle();
  }
  domMost = Math.max(domMost, await dom());
  add('dom_elements', domMost);
  if (session.errors.length) throw new Error('the movie reported errors: ' + session.errors.join('; '));
  await session.close();
  await context.close();
  fs.rmSync(workspace, { recursive: true, force: true });
  return { photos, albums, figures };
}

async function main() {
  const [binary, movie, renditionsDir, scratch, runs, counts, albums] = process.argv.slice(2);
  if (!albums) throw new Error('usage: movie_bench.js BINARY MOVIE RENDITIONS SCRATCH RUNS PHOTOS[,...] ALBUMS');
  const options = {
    binary, movie, scratch, runs: Number(runs), albums: Number(albums),
    sources: renditions(renditionsDir, 42),
  };
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  try {
    const results = [];
    for (const photos of counts.split(',').map(Number)) results.push(await measureAlbum(browser, options, photos));
    process.stdout.write(JSON.stringify({ runs: results }) + '\n');
  } finally {
    await browser.close();
  }
}

main().catch((error) => { console.error('movie_bench:', error.message); process.exit(1); });
module.exports = { median };
