// The movie's language tables (ui/src/lang/*.json, inlined by the build as
// window.LUMIREEL_STRINGS). Elements name their texts with attributes:
//   data-t="key"              the element's text
//   data-t-title="key"        its title (tooltip)
//   data-t-aria="key"         its aria-label
//   data-t-placeholder="key"  its placeholder
// A key that no table holds is shown as the key itself, so an alert key the
// program sends that the movie does not know still says something.
'use strict';

(function (LR) {
  const tables = window.LUMIREEL_STRINGS || { en: {} };
  let language = 'en';

  // The text of `key` in the current language (English when the language
  // lacks it, the key itself when no table has it), with {name} replaced by
  // vars.name.
  function t(key, vars) {
    const table = tables[language] || {};
    let text = Object.prototype.hasOwnProperty.call(table, key) ? table[key]
      : Object.prototype.hasOwnProperty.call(tables.en, key) ? tables.en[key] : String(key);
    for (const [name, value] of Object.entries(vars || {})) {
      text = text.split('{' + name + '}').join(String(value));
    }
    return text;
  }

  function translate(root) {
    const scope = root || document;
    for (const el of scope.querySelectorAll('[data-t]')) el.textContent = t(el.dataset.t);
    for (const el of scope.querySelectorAll('[data-t-title]')) el.title = t(el.dataset.tTitle);
    for (const el of scope.querySelectorAll('[data-t-aria]')) {
      el.setAttribute('aria-label', t(el.dataset.tAria));
    }
    for (const el of scope.querySelectorAll('[data-t-placeholder]')) {
      el.placeholder = t(el.dataset.tPlaceholder);
    }
  }

  const listeners = [];

  // Switches the language (unknown codes fall back to English) and redraws
  // every text.
  function setLanguage(code) {
    language = Object.prototype.hasOwnProperty.call(tables, code) ? code : 'en';
    document.documentElement.lang = language;
    translate(document);
    for (const listener of listeners) listener(language);
  }

  LR.i18n = {
    t, translate, setLanguage,
    language: () => language,
    languages: () => Object.keys(tables).sort(),
    onChange: (listener) => listeners.push(listener),
  };
  LR.t = t;
})(window.LR);
