// The movie's own settings, kept in the workspace as
// quillmaralbumsettings/lumireel-movie.xml:
//   <movie lang="de" originals="1"><newalbum skeen=".." lang=".." color=".."
//          pwidth=".." pheight=".." bwidth=".." bheight=".." /></movie>
// its language, whether galleries and imported albums keep the photos'
// originals (which the program reads), and what new albums get. The file is
// written with WriteLFile and removed with UnlinkLFile (both relative to the
// workspace root) and read with ReadFile.
'use strict';

(function (LR) {
  const FILE = 'quillmaralbumsettings/lumireel-movie.xml';
  let stored = false;  // the file exists
  const ALBUM_FIELDS = ['skeen', 'lang', 'color', 'pwidth', 'pheight', 'bwidth', 'bheight'];
  let albumDefaults = {};  // the catalogue fields of new albums the user chose

  async function load() {
    const doc = await LR.program.readXml(LR.program.path(FILE));
    stored = !!doc;
    const lang = doc ? doc.documentElement.getAttribute('lang') : '';
    LR.i18n.setLanguage(lang || 'en');
    const element = doc && LR.childElements(doc.documentElement, 'newalbum')[0];
    albumDefaults = {};
    for (const name of ALBUM_FIELDS) {
      const value = element ? element.getAttribute(name) : null;
      if (value) albumDefaults[name] = value;
    }
  }

  // The file as it is now, not as at start.
  function current() {
    LR.cache.forget(LR.program.path(FILE));
    return LR.program.readXml(LR.program.path(FILE));
  }

  // Changes the attributes `values` names (null removes one) and, with
  // `album`, the defaults of new albums: the file's other settings stay as
  // they are.
  async function save(values, album) {
    const read = await current();
    const doc = read && read.documentElement.nodeName === 'movie' ? read : LR.parseXml('<movie />');
    for (const [name, value] of Object.entries(values)) {
      if (value === null) doc.documentElement.removeAttribute(name);
      else doc.documentElement.setAttribute(name, value);
    }
    if (album) {
      for (const old of LR.childElements(doc.documentElement, 'newalbum')) old.remove();
      const element = doc.documentElement.appendChild(doc.createElement('newalbum'));
      for (const name of ALBUM_FIELDS) element.setAttribute(name, String(album[name]));
      albumDefaults = Object.fromEntries(ALBUM_FIELDS.map((name) => [name, String(album[name])]));
    }
    await LR.program.send('WriteLFile', FILE, LR.writeXml(doc) + '\n');
    stored = true;
  }

  async function includeOriginals() {
    const doc = await current();
    return !!doc && doc.documentElement.getAttribute('originals') === '1';
  }

  async function setIncludeOriginals(on) {
    if (on !== await includeOriginals()) await save({ originals: on ? '1' : null });
  }

  // Back to the defaults of what this dialog holds (the language and what
  // new albums get); the other settings, such as whether galleries keep the
  // originals, stay. The file goes once nothing is left in it.
  async function reset() {
    const doc = await current();
    const root = doc && doc.documentElement.nodeName === 'movie' ? doc.documentElement : null;
    if (root) {
      root.removeAttribute('lang');
      for (const old of LR.childElements(root, 'newalbum')) old.remove();
    }
    if (root && (root.attributes.length || root.children.length)) {
      await LR.program.send('WriteLFile', FILE, LR.writeXml(doc) + '\n');
    } else {
      await LR.program.send('UnlinkLFile', FILE);
      stored = false;
    }
    albumDefaults = {};
    LR.i18n.setLanguage('en');
  }

  async function open() {
    const select = LR.$('#set-lang');
    select.replaceChildren(...LR.i18n.languages().map((code) =>
      LR.make('option', { value: code, text: LR.t('language_' + code) })));
    select.value = LR.i18n.language();
    const looks = LR.library.newAlbumLooks();
    LR.albumSettings.fillLooks('new-', looks);
    LR.$('#set-reset').disabled = !stored;
    const result = await LR.dialogs.ask(LR.$('#dlg-settings'));
    if (result === 'primary') {
      LR.i18n.setLanguage(select.value);
      // The defaults are written only once the user changes one.
      const chosen = LR.albumSettings.readLooks('new-', looks.box);
      const changed = ALBUM_FIELDS.some((name) => String(chosen[name]) !== String(looks[name]));
      await save({ lang: select.value }, changed ? chosen : null);
    } else if (result === 'reset') {
      await reset();
    }
    LR.app.render();
  }

  function wire() {
    LR.$('#btn-settings').addEventListener('click', open);
  }

  LR.settings = {
    wire, load, includeOriginals, setIncludeOriginals,
    newAlbumDefaults: () => Object.assign({}, albumDefaults),
  };
})(window.LR);
