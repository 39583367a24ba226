// The movie's own settings (its language), kept in the workspace as
// quillmaralbumsettings/lumireel-movie.xml: <movie lang="de" />. The file is
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

  // Changes the language only: the file's other settings (such as whether
  // galleries include the originals) stay as they are.
  async function save(lang) {
    LR.cache.forget(LR.program.path(FILE));  // read as it is now, not as at start
    const current = await LR.program.readXml(LR.program.path(FILE));
    const doc = current && current.documentElement.nodeName === 'movie' ? current : LR.parseXml('<movie />');
    doc.documentElement.setAttribute('lang', lang);
    await LR.program.send('WriteLFile', FILE, LR.writeXml(doc) + '\n');
    stored = true;
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
      await save(select.value);
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

  LR.settings = { wire, load };
})(window.LR);
