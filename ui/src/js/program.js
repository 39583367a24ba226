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
    'AddKeyWords', 'UnlinkLFile', 'SaveIMG', 'SavePreview', 'ApplyAdjustForFolder']);

  function requestText(name, args) {
    const positional = POSITIONAL.has(name);
    const strings = args.map((a) => '<string>' + LR.requestValue(a === undefined ? '' : a, positional) + '</string>');
    return '<invoke name="' + name + '" returntype="xml"><arguments>' + strings.join('') +
      '</arguments></invoke>';
  }

  // Sends the request `name` with string arguments; resolves with the
  // program's reply text, or null when the request has none. Requests keep
  // their order: each is sent once the one before has been answered.
  function send(name, ...args) {
    const xml = requestText(name, args);
    const bridge = window.lumireel;
    const result = queue.then(() => (bridge ? bridge.invoke(xml) : null)).catch(() => null);
    queue = result.then(() => undefined);
    return result;
  }

  // The text of a file, or null when it cannot be read (the program replies
  // with an empty text then).
  async function readFile(file) {
    const reply = await send('ReadFile', file);
    if (!reply) return null;
    const doc = LR.parseXml(reply);
    const value = doc && doc.getElementsByTagName('string')[0];
    const text = value ? value.textContent : '';
    return text === '' ? null : text;
  }

  async function readXml(file) {
    return LR.parseXml(await readFile(file));
  }

  function writeXmlFile(file, doc) {
    return send('WriteFile', file, LR.writeXml(doc));
  }

  LR.program = {
    setRoot, path, send, readFile, readXml, writeXmlFile,
  };
})(window.LR);
