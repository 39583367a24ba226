// The interface movie in Chromium, talking to the real
// `lumireel --headless --pace 0` the way it talks to the desktop host:
//
//   - the workspace root is served on 127.0.0.1 and the movie is loaded from
//     it, so its relative image addresses name workspace files; the page gets
//     the desktop host's content rules (inline scripts and styles, no eval,
//     nothing from elsewhere);
//   - window.webkit.messageHandlers.lumireel.postMessage is offered before
//     the bridge (ui/bridge/lumireel-bridge.js) is placed into the page:
//     {hello} gets the page's key, {key, request} is relayed to the program
//     and answered with the reply text (ReadFile) or null, {key, fscommand}
//     is relayed;
//   - the program's calls ({"call": ...} lines) are handed to
//     lumireel.receive in the order they come, the first ones (setGlobPath)
//     once the page has loaded;
//   - a Return that the program's window hands to the movie
//     ({"control_key": 13}) is pressed in the page.
//
// When is a request done? The program handles its input lines in order and
// answers ReadFile at once, so each request is followed by a ReadFile of a
// marker file outside the workspace: the marker's reply ends the request,
// and a reply before it is the request's own. Long commands (AddPhoto,
// Publish, the editor's jobs) only queue a job, so the movie never waits
// for one; their calls come later and are delivered as they come.
'use strict';

const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const { spawn } = require('node:child_process');
const { serve } = require('./static-server');

const BRIDGE = path.resolve(__dirname, '..', '..', 'ui', 'bridge', 'lumireel-bridge.js');
const MARKER_TEXT = 'lumireel-test-harness-marker';

// Placed into the page before the bridge: the host's message handler. The
// exposed binding may arrive after this script runs, so messages wait for it.
const HOST_SHIM = `
window.webkit = { messageHandlers: { lumireel: { postMessage(message) {
  return new Promise((resolve, reject) => {
    const post = () => (typeof window.__lumireelHost === 'function'
      ? window.__lumireelHost(message).then(resolve, reject) : setTimeout(post, 5));
    post();
  });
} } } };
`;

const encode = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
const invokeText = (name, strings) =>
  `<invoke name="${name}" returntype="xml"><arguments>${strings.map((s) => `<string>${encode(s)}</string>`).join('')}</arguments></invoke>`;
const nameOf = (xml) => (/<invoke\s+name="([^"]*)"/.exec(xml) || [])[1] || '';

class MovieSession {
  // `workspace` must hold the movie; `browser` is a playwright Browser.
  constructor(binary, workspace) {
    this.workspace = workspace;
    this.requests = [];   // {name, xml} of every request the movie sent
    this.calls = [];      // every call the program made, in order
    this.lines = [];      // every other line of the program
    this.pending = [];    // requests waiting for the marker reply
    this.syncs = 0;
    this.key = crypto.randomBytes(16).toString('hex');
    this.greeted = false;
    this.loaded = false;
    this.delivery = Promise.resolve();
    this.waitingCalls = [];
    this.markerDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumireel-marker-'));
    this.marker = path.join(this.markerDir, 'marker.txt');
    fs.writeFileSync(this.marker, MARKER_TEXT);
    this.markerReply = `<invoke name="ReadFile" returntype="xml"><string>${MARKER_TEXT}</string></invoke>`;

    this.child = spawn(binary, ['--headless', '--pace', '0'], { cwd: workspace, stdio: ['pipe', 'pipe', 'inherit'] });
    this.exited = new Promise((resolve) => this.child.on('close', resolve));
    readline.createInterface({ input: this.child.stdout }).on('line', (text) => this.onLine(JSON.parse(text)));
  }

  send(line) { this.child.stdin.write(JSON.stringify(line) + '\n'); }
  // Queues the answer of the next dialog or message box of the program.
  answer(answer) { this.send({ answer }); }
  cursor(x, y) { this.send({ cursor: [x, y] }); }

  onLine(line) {
    if (line.reply !== undefined) return this.onReply(line.reply);
    if (line.call !== undefined) return this.onCall(line.call);
    // The window hands Return to the movie, as the desktop host does.
    if (line.control_key === 13 && this.loaded) this.pressInPage('Enter');
    this.lines.push(line);
  }

  pressInPage(key) {
    this.delivery = this.delivery.then(() => this.page.keyboard.press(key))
      .catch((error) => { this.lines.push({ deliveryError: String(error) }); });
  }

  // A key pressed in the program's window ("Return" or "Escape").
  pressKey(name) { this.send({ key: name }); }

  onReply(text) {
    const head = this.pending[0];
    if (!head) return;
    if (text !== this.markerReply) { head.reply = text; return; }
    this.pending.shift();
    head.resolve(head.reply === undefined ? null : head.reply);
  }

  onCall(xml) {
    this.calls.push(xml);
    if (this.loaded) this.deliver(xml);
    else this.waitingCalls.push(xml);
  }

  deliver(xml) {
    this.delivery = this.delivery
      .then(() => this.page.evaluate((call) => window.lumireel.receive(call), xml))
      .catch((error) => { this.lines.push({ deliveryError: String(error) }); });
  }

  relay(xml) {
    this.requests.push({ name: nameOf(xml), xml });
    return new Promise((resolve) => {
      this.pending.push({ resolve });
      this.send({ invoke: xml });
      this.send({ invoke: invokeText('ReadFile', [this.marker]) });
    });
  }

  onMessage(message) {
    if (!message || typeof message !== 'object') return null;
    if (message.hello) {
      if (this.greeted) return null;
      this.greeted = true;
      return this.key;
    }
    if (message.key !== this.key) return null;
    if (typeof message.request === 'string') return this.relay(message.request);
    if (Array.isArray(message.fscommand)) this.send({ fscommand: message.fscommand.map(String) });
    return null;
  }

  // Opens the movie in a new page of `context`.
  async open(context, viewport) {
    const { server, origin } = await serve(this.workspace, { '.snt': 'text/html' }, {
      'Content-Security-Policy': "default-src 'self' data: blob: 'unsafe-inline'; object-src 'none'; " +
        "base-uri 'self'; form-action 'none'",
    });
    this.server = server;
    this.page = await context.newPage();
    this.errors = [];
    this.page.on('pageerror', (error) => this.errors.push(String(error)));
    // Images that are not there yet (a folder's cover) fail to load: not an error of the movie.
    this.page.on('console', (message) => {
      if (message.type() === 'error' && !/^Failed to load resource/.test(message.text())) this.errors.push(message.text());
    });
    await this.page.setViewportSize(viewport);
    await this.page.exposeBinding('__lumireelHost', (source, message) => this.onMessage(message));
    await this.page.addInitScript({ content: HOST_SHIM + '\n' + fs.readFileSync(BRIDGE, 'utf8') });
    await this.page.goto(origin + '/quillmarZEL.snt', { waitUntil: 'load' });
    this.loaded = true;
    for (const xml of this.waitingCalls.splice(0)) this.deliver(xml);
    return this.page;
  }

  // Waits until the program has handled every earlier line and no job runs,
  // and the calls it made meanwhile were handed to the movie.
  async settle(timeout = 120000) {
    const token = 'settle-' + ++this.syncs;
    this.send({ sync: token });
    await this.waitForLine((line) => line.synced === token, 0, timeout);
    await this.delivery;
  }

  // The first line from index `from` on that passes `test`.
  async waitForLine(test, from = 0, timeout = 30000) {
    for (const deadline = Date.now() + timeout; Date.now() < deadline;) {
      const found = this.lines.slice(from).find(test);
      if (found) return found;
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    throw new Error('no such line of the program; lines: ' + JSON.stringify(this.lines.slice(-20)));
  }

  // Waits until the movie has sent `count` requests named `name`.
  async waitForRequest(name, count = 1, timeout = 30000) {
    for (const deadline = Date.now() + timeout; Date.now() < deadline;) {
      if (this.requestsNamed(name).length >= count) return;
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    throw new Error(`the movie sent no ${name}; it sent ` + this.requests.map((r) => r.name).join(' '));
  }

  requestsNamed(name) { return this.requests.filter((r) => r.name === name); }
  callsNamed(name) { return this.calls.filter((xml) => nameOf(xml) === name); }

  async close() {
    if (this.page) await this.page.close().catch(() => {});
    if (this.server) this.server.close();
    this.child.stdin.end();
    await this.exited;
    fs.rmSync(this.markerDir, { recursive: true, force: true });
  }
}

// Debian's Chromium with the movie of `workspace` open at `viewport` (the
// program has named the workspace), and a blank page of the same browser
// for reading files (files.js).
async function launchMovie(workspace, viewport) {
  const { chromium } = require('playwright-core');
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const context = await browser.newContext();
  const blank = await context.newPage();
  const session = new MovieSession(process.env.LUMIREEL_BINARY, workspace);
  const page = await session.open(context, viewport);
  await page.waitForSelector('body[data-ready="true"]');
  return { browser, session, page, blank };
}

module.exports = { MovieSession, nameOf, launchMovie };
