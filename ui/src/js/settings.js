// The movie's own settings, kept in the workspace as
// quillmaralbumsettings/lumireel-movie.xml: <movie lang="de" originals="1" />
// (its language, and whether galleries and imported albums keep the photos'
// originals, which the program reads). The file is
// written with WriteLFile and removed with UnlinkLFile (both relative to the
// workspace root) and read with ReadFile.
'use strict';

(function (LR) {
  const FILE = 'quillmaralbumsettings/lumireel-movie.xml';
  let stored = false;  // the file exists

  async function load() {
    const doc = await LR.program.readXml(LR.program.path(FILE));
    stored = !!doc;
    const lang = doc ? doc.documentElement.getAttribute('lang') : '';
    LR.i18n.setLanguage(lang || 'en');
  }

  // The file as it is now, not as at start.
  function current() {
    LR.cache.forget(LR.program.path(FILE));
    return LR.program.readXml(LR.program.path(FILE));
  }

  // Changes the attributes `values` names (null removes one): the file's
  // other settings stay as they are.
  async function save(values) {
    const read = await current();
    const doc = read && read.documentElement.nodeName === 'movie' ? read : LR.parseXml('<movie />');
    for (const [name, value] of Object.entries(values)) {
      if (value === null) doc.documentElement.removeAttribute(name);
      else doc.documentElement.setAttribute(name, value);
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

  async function open() {
    const select = LR.$('#set-lang');
    select.replaceChildren(...LR.i18n.languages().map((code) =>
      LR.make('option', { value: code, text: LR.t('language_' + code) })));
    select.value = LR.i18n.language();
    LR.$('#set-reset').disabled = !stored;
    const result = await LR.dialogs.ask(LR.$('#dlg-settings'));
    if (result === 'primary') {
      LR.i18n.setLanguage(select.value);
      await save({ lang: select.value });
    } else if (result === 'reset') {
      await LR.program.send('UnlinkLFile', FILE);
      stored = false;
      LR.i18n.setLanguage('en');
    }
    LR.app.render();
  }

  function wire() {
    LR.$('#btn-settings').addEventListener('click', open);
  }

  LR.settings = { wire, load, includeOriginals, setIncludeOriginals };
})(window.LR);
