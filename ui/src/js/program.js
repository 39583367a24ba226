// How the movie talks to the program: requests go out through the bridge
// (window.lumireel.invoke), one after the other in the order they were made;
// the program's calls come in through window.lumireelMovie (movie.js).
//
// Paths are built with forward slashes below the workspace root that the
// program names in setGlobPath.
'use strict';

(function (LR) {
  let root = '';
  let queue = Promise.resolve();

  function setRoot(path) {
    // One separator throughout, and none at the end.
    root = String(path).replace(/\\/g, '/').replace(/\/+$/, '') || '/';
  }

  // The absolute path of a file below the workspace root.
  function path(...parts) {
    return [root, ...parts.map(String)].join('/');
  }

  // The commands whose arguments the program reads with its escaping reader.
  const POSITIONAL = new Set(['importAlbum', 'setFlashBuildVersion', 'Publish', 'GetKeyWords',
    'AddKeyWords', 'UnlinkLFile', 'SaveIMG', 'SavePreview', 'ApplyAdjustForFolder', 'SaveEdit',
    'RevertPhoto', 'RenderAlbum', 'CancelRenderAlbum']);

  function requestText(name, args) {
    const positional = POSITIONAL.has(name);
    const strings = args.map((a) => '<string>' + LR.requestValue(a === undefined ? '' : a, positional) + '</string>');
    return '<invoke name="' + name + '" returntype="xml"><arguments>' + strings.join('') +
      '</arguments></invoke>';
  }

  // The files and folders each command changes, as the paths the movie
  // reads them by: what the read cache must forget when it is sent.
  // GetKeyWords is among them: for a photo without an entry the program
  // adds an empty one.
  const CHANGES = {
    WriteFile: (a) => [a[0]],
    WriteLFile: (a) => [path(a[0])],
    UnlinkFile: (a) => [a[0]],
    UnlinkLFile: (a) => [path(a[0])],
    RmDir: (a) => [a[0]],
    MakeDir: (a) => [a[0]],
    MoveFile: (a) => [a[1]],
    AddKeyWords: (a) => [a[1]],
    GetKeyWords: (a) => [a[0]],
  };

  // Sends the request `name` with string arguments; resolves with the
  // program's reply text, or null when the request has none. Requests keep
  // their order: each is sent once the one before has been answered.
  function send(name, ...args) {
    const xml = requestText(name, args);
    const bridge = window.lumireel;
    const changes = CHANGES[name];
    if (changes) LR.cache.forget(...changes(args.map(String)));
    const result = queue.then(() => (bridge ? bridge.invoke(xml) : null)).catch(() => null);
    queue = result.then(() => undefined);
    return result;
  }

  // The reply to ReadFile is <invoke name="ReadFile" returntype="xml">
  // <string>TEXT</string></invoke> with TEXT entity-encoded. A file of
  // thousands of photos makes a long reply: the text is cut out and decoded
  // without building a document of it; a reply of another shape goes
  // through the XML parser.
  const READ_REPLY = /^\s*<invoke\b[^>]*>\s*<string>([^<]*)<\/string>\s*<\/invoke>\s*$/;

  async function readUncached(file) {
    const reply = await send('ReadFile', file);
    if (!reply) return null;
    const plain = READ_REPLY.exec(reply);
    let text = plain ? LR.decodeEntities(plain[1]) : null;
    if (text === null) {
      const doc = LR.parseXml(reply);
      const value = doc && doc.getElementsByTagName('string')[0];
      text = value ? value.textContent : '';
    }
    return text === '' ? null : text;
  }

  // The text of a file, or null when it cannot be read (the program replies
  // with an empty text then). Read once, then kept (see cache.js).
  function readFile(file) {
    return LR.cache.text(file, readUncached);
  }

  // A fresh Document of a file, the caller's to change.
  async function readXml(file) {
    return LR.parseXml(await readFile(file));
  }

  // A value made once from the text of a file by `make(text)`; shared by
  // every caller, who must not change it.
  function readValue(file, kind, make) {
    return LR.cache.value(file, kind, readUncached, make);
  }

  function writeXmlFile(file, doc) {
    return send('WriteFile', file, LR.writeXml(doc));
  }

  LR.program = {
    setRoot, path, send, readFile, readXml, readValue, writeXmlFile,
  };
})(window.LR);
