// The movie's bridge to the program: window.lumireel.
//
// The movie sends requests, invoke messages such as
//   <invoke name="ReadFile" returntype="xml"><arguments><string>/a/b.xml</string></arguments></invoke>
// with
//   lumireel.invoke(xml)            -> a promise of the program's reply text,
//                                      or of null when the request has no reply
//   lumireel.fscommand(command, args)  an FSCommand event (the program ignores them)
//
// The program calls functions of the movie with invoke messages such as
//   <invoke name="setGlobPath" returntype="xml"><arguments><string>/home/ann/Lumireel</string></arguments></invoke>
// through lumireel.receive(xml), which hands each call to the movie:
//   - when the movie has set lumireel.onCall to a function, that function gets
//     the message text, and what it returns (as text) is the answer;
//   - otherwise the function of that name in window.lumireelMovie (an object
//     the movie defines) is called with the decoded arguments: <string> as
//     text, <number> as a number, <true/> and <false/> as booleans, <null/> as
//     null; what it returns (as text) is the answer.
//   A call that finds no function, or that cannot be read, answers "".
// Values inside messages are entity-encoded (&amp; &lt; &gt; &quot; &apos;);
// the decoded arguments have them decoded.
//
// Transport. The host registers a script message handler named "lumireel"
// that answers (window.webkit.messageHandlers.lumireel.postMessage returns a
// promise) and places this file into the movie's top frame before any script
// of the page runs. The messages are:
//   {hello: true}                       -> the page's key (a text); only the
//                                          first greeting of a page gets it
//   {key, request: xml}                 -> the reply text, or null
//   {key, fscommand: [command, args]}   -> null
// A test harness offers the same API by defining
// window.webkit.messageHandlers.lumireel.postMessage with these messages
// before it loads this file.
//
// What the desktop host lets the movie do: the page's address is the
// workspace root as the host's own scheme serves it (lumireel://workspace/),
// so relative addresses name workspace files. It may load workspace files
// (only those at or below the root once links are resolved), data: and
// blob: content, and run inline scripts and styles; it may not load file:
// addresses or anything from a network, run eval, open windows or frames,
// submit forms, or leave its page. Calls of movie functions arrive once the page has loaded.
(() => {
  'use strict';

  const handlers = window.webkit && window.webkit.messageHandlers;
  const channel = handlers && handlers.lumireel;
  if (!channel || window.lumireel) return;

  // The key stays inside this closure: scripts of other frames cannot use it.
  const key = Promise.resolve(channel.postMessage({ hello: true })).catch(() => null);

  async function send(message) {
    const pass = await key;
    if (typeof pass !== 'string') return null;
    const reply = await channel.postMessage(Object.assign({ key: pass }, message));
    return typeof reply === 'string' ? reply : null;
  }

  function invoke(xml) {
    return send({ request: String(xml) });
  }

  function fscommand(command, args) {
    send({ fscommand: [String(command), args === undefined ? '' : String(args)] });
  }

  function argumentValue(element) {
    switch (element.localName) {
      case 'number':
        return Number(element.textContent);
      case 'true':
        return true;
      case 'false':
        return false;
      case 'null':
        return null;
      default:
        return element.textContent;
    }
  }

  // {name, args} of an invoke message, or null when it cannot be read.
  function decodeCall(xml) {
    const doc = new DOMParser().parseFromString(String(xml), 'application/xml');
    if (doc.getElementsByTagName('parsererror').length > 0) return null;
    const root = doc.documentElement;
    const list = Array.from(root.children).find((child) => child.localName === 'arguments');
    const args = list ? Array.from(list.children).map(argumentValue) : [];
    return { name: root.getAttribute('name') || '', args };
  }

  function answerText(value) {
    return value === undefined || value === null ? '' : String(value);
  }

  function receive(xml) {
    if (typeof api.onCall === 'function') return answerText(api.onCall(String(xml)));
    const call = decodeCall(xml);
    const movie = window.lumireelMovie;
    // Only the movie's own functions: never one inherited from Object.
    if (!call || !movie || !Object.prototype.hasOwnProperty.call(movie, call.name)) return '';
    const target = movie[call.name];
    if (typeof target !== 'function') return '';
    return answerText(target.apply(movie, call.args));
  }

  const api = { onCall: null };
  Object.defineProperties(api, {
    invoke: { value: invoke, enumerable: true },
    fscommand: { value: fscommand, enumerable: true },
    receive: { value: receive, enumerable: true },
  });
  Object.seal(api);
  Object.defineProperty(window, 'lumireel', { value: api, enumerable: true });
})();
