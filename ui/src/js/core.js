// The movie's namespace LR and the helpers every part uses: XML files read
// and written, values made safe for requests, and small DOM helpers.
'use strict';

window.LR = window.LR || {};

(function (LR) {
  const ENTITIES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&apos;' };

  // Text and attribute values inside an XML file.
  function xmlEscape(text) {
    return String(text).replace(/[&<>"']/g, (c) => ENTITIES[c]);
  }

  // A value put into a request, entity-encoded. The program reads the
  // arguments of some commands with a reader that takes a backslash as an
  // escape character (`positional`): there each backslash is doubled. The
  // other commands take backslashes as they are.
  function requestValue(text, positional) {
    const value = String(text);
    return xmlEscape(positional ? value.replace(/\\/g, '\\\\') : value);
  }

  // The Document of an XML text, or null when the text is empty or not
  // well-formed.
  function parseXml(text) {
    if (typeof text !== 'string' || text.trim() === '') return null;
    const doc = new DOMParser().parseFromString(text.replace(/^\uFEFF/, ''), 'application/xml');
    if (doc.getElementsByTagName('parsererror').length > 0) return null;
    return doc;
  }

  // Writes an element the way the program's own files look: no added line
  // breaks, empty elements as <name />.
  function writeNode(node) {
    switch (node.nodeType) {
      case Node.ELEMENT_NODE: {
        let out = '<' + node.nodeName;
        for (const attr of Array.from(node.attributes)) {
          out += ' ' + attr.name + '="' + xmlEscape(attr.value) + '"';
        }
        if (!node.hasChildNodes()) return out + ' />';
        out += '>';
        for (const child of Array.from(node.childNodes)) out += writeNode(child);
        return out + '</' + node.nodeName + '>';
      }
      case Node.TEXT_NODE:
      case Node.CDATA_SECTION_NODE:
        return String(node.nodeValue).replace(/[&<>]/g, (c) => ENTITIES[c]);
      case Node.COMMENT_NODE:
        return '<!--' + node.nodeValue + '-->';
      default:
        return '';
    }
  }

  // A whole file: the declaration the program writes, then the root.
  function writeXml(doc) {
    return '<?xml version="1.0" encoding="utf-8" ?>' + writeNode(doc.documentElement);
  }

  // The text of the first child element `name` of `element`, or ''.
  function childText(element, name) {
    if (!element) return '';
    for (let child = element.firstElementChild; child; child = child.nextElementSibling) {
      if (child.nodeName === name) return child.textContent;
    }
    return '';
  }

  const NAMED = { lt: '<', gt: '>', amp: '&', quot: '"', apos: "'" };

  // The text of an entity-encoded value (the five named entities and
  // numeric references); null when it holds another entity.
  function decodeEntities(text) {
    if (text.indexOf('&') < 0) return text;
    // The common case, only the named entities: native replaces, &amp; last.
    if (!/&(?!(?:lt|gt|amp|quot|apos);)/.test(text)) {
      return text.replace(/&lt;/g, '<').replace(/&gt;/g, '>').replace(/&quot;/g, '"')
        .replace(/&apos;/g, "'").replace(/&amp;/g, '&');
    }
    let bad = false;
    const out = text.replace(/&(#x[0-9a-fA-F]+|#[0-9]+|[a-z]+);|&/g, (whole, name) => {
      if (name === undefined) { bad = true; return whole; }
      if (name[0] !== '#') {
        if (!(name in NAMED)) bad = true;
        return NAMED[name] || whole;
      }
      const code = name[1] === 'x' ? parseInt(name.slice(2), 16) : parseInt(name.slice(1), 10);
      if (code > 0x10ffff) { bad = true; return whole; }
      return String.fromCodePoint(code);
    });
    return bad ? null : out;
  }

  // Sets (creating when missing) the child element `name` to `text`.
  function setChildText(element, name, text) {
    let child = Array.from(element.children).find((c) => c.nodeName === name);
    if (!child) {
      child = element.ownerDocument.createElement(name);
      element.appendChild(child);
    }
    child.textContent = text;
  }

  function childElements(element, name) {
    return element ? Array.from(element.children).filter((c) => c.nodeName === name) : [];
  }

  // ---- DOM -------------------------------------------------------------

  function $(selector, root) {
    return (root || document).querySelector(selector);
  }

  // make('button', {class: 'btn', text: 'OK', onclick: f}, [children])
  function make(tag, props, children) {
    const element = document.createElement(tag);
    for (const [key, value] of Object.entries(props || {})) {
      if (value === undefined || value === null || value === false) continue;
      if (key === 'text') element.textContent = value;
      else if (key === 'class') element.className = value;
      else if (key.startsWith('on')) element.addEventListener(key.slice(2), value);
      else if (key === 'dataset') Object.assign(element.dataset, value);
      else element.setAttribute(key, value === true ? '' : value);
    }
    for (const child of children || []) {
      if (child !== null && child !== undefined) element.append(child);
    }
    return element;
  }

  // Replaces the children of `container` with `children`; when the focus was
  // on one of them, it moves to the new child with the same data attributes,
  // so that redrawing a list never throws the keyboard user out of it.
  function replaceKeepingFocus(container, children) {
    const active = document.activeElement;
    const key = active && container.contains(active) ? JSON.stringify(active.dataset) : null;
    container.replaceChildren(...children);
    if (key === null) return;
    const same = Array.from(container.querySelectorAll('button, [tabindex]'))
      .find((element) => JSON.stringify(element.dataset) === key);
    if (same) same.focus();
  }

  // A path inside the workspace as a relative address of the page (the page
  // lives at the workspace root); `version` defeats the image cache after an
  // edit.
  function workspaceUrl(parts, version) {
    const url = parts.map((p) => encodeURIComponent(String(p))).join('/');
    return version ? url + '?v=' + version : url;
  }

  // The file name at the end of a path of either separator.
  function baseName(path) {
    return String(path).split(/[\\/]/).pop();
  }

  // True for a name that stays inside its folder.
  function isPlainName(name) {
    return typeof name === 'string' && name !== '' && name !== '.' && name !== '..' &&
      !/[\\/]/.test(name);
  }

  Object.assign(LR, {
    xmlEscape, requestValue, parseXml, writeNode, writeXml, childText, decodeEntities, setChildText,
    childElements, $, make, replaceKeepingFocus, workspaceUrl, baseName, isPlainName,
  });
})(window.LR);
