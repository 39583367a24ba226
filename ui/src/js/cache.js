// What the movie has read from the workspace, kept so that a file is read
// and parsed once: the catalogue, the folder lists, the photo lists and the
// keyword files. An entry goes when the movie changes the file or the folder
// it lies in (see program.js), when an image job rewrites a photo list, and
// all of them on reloadContent, when the program says the files changed.
//
// Each entry holds the read's promise of the text (null for a missing file)
// and the values made from that text (a parsed list, say), so two readers of
// the same file share one ReadFile and one parse.
'use strict';

(function (LR) {
  const entries = new Map();  // path -> {text: Promise<string|null>, values: Map}
  let epoch = 0;              // raised by every forget: reads begun earlier are not kept

  const within = (path, prefix) => path === prefix || path.startsWith(prefix + '/');

  // The text of `path` through `read(path)`, read once until forgotten.
  function text(path, read) {
    const known = entries.get(path);
    if (known) return known.text;
    const began = epoch;
    const entry = { text: null, values: new Map() };
    entry.text = Promise.resolve(read(path)).then((result) => {
      // A change sent while the read was on its way may have come after it.
      if (epoch !== began && entries.get(path) === entry) entries.delete(path);
      return result;
    });
    entries.set(path, entry);
    return entry.text;
  }

  // A value made by `make(text)` from the text of `path`, made once per read.
  async function value(path, kind, read, make) {
    const source = await text(path, read);
    const entry = entries.get(path);
    if (!entry) return make(source);
    if (!entry.values.has(kind)) entry.values.set(kind, make(source));
    return entry.values.get(kind);
  }

  // Forgets every file at or below each of `paths`.
  function forget(...paths) {
    epoch += 1;
    for (const key of Array.from(entries.keys())) {
      if (paths.some((prefix) => within(key, prefix))) entries.delete(key);
    }
  }

  function clear() {
    epoch += 1;
    entries.clear();
  }

  LR.cache = { text, value, forget, clear, size: () => entries.size };
})(window.LR);
