// A fast reader for the workspace's own XML files (the catalogue, photo
// lists, keyword files), which the movie reads whole and often: a file of
// thousands of photos takes the browser's XML parser far longer to turn
// into a Document than this reader takes to turn it into plain nodes.
//
// LR.xmlTree(text) -> the root element {name, attrs, children} (children:
// elements and texts, in order), or null when the text is empty or not
// well-formed: tags that do not match, a second root, text outside the
// root, a '<' or '&' that starts no markup or known entity, a document
// type declaration. Comments and processing instructions are skipped.
// Changes to files still go through a Document (LR.parseXml).
'use strict';

(function (LR) {
  // One piece of markup or a run of text, from the current position.
  const TOKEN = new RegExp([
    '<(/?)([^\\s/>=<!?"\']+)((?:\\s+[^\\s=/>"\']+\\s*=\\s*(?:"[^"<]*"|\'[^\'<]*\'))*)\\s*(/?)>',  // tags
    '<!--[\\s\\S]*?-->',                    // comment
    '<!\\[CDATA\\[([\\s\\S]*?)\\]\\]>',       // CDATA section
    '<\\?[\\s\\S]*?\\?>',                    // declaration, processing instruction
    '([^<]+)',                               // text
  ].join('|'), 'y');
  const ATTRIBUTE = /([^\s=/>"']+)\s*=\s*(?:"([^"<]*)"|'([^'<]*)')/g;

  function attributes(source) {
    const attrs = {};
    if (!source) return attrs;
    for (const [, name, double, single] of source.matchAll(ATTRIBUTE)) {
      if (name in attrs) return null;
      const value = LR.decodeEntities(double !== undefined ? double : single);
      if (value === null) return null;
      // Attribute values are normalised as an XML parser does.
      attrs[name] = value.replace(/[\t\n\r]/g, ' ');
    }
    return attrs;
  }

  function xmlTree(text) {
    if (typeof text !== 'string') return null;
    const source = text.replace(/^\uFEFF/, '');
    const stack = [];
    let root = null;
    TOKEN.lastIndex = 0;
    while (TOKEN.lastIndex < source.length) {
      const at = TOKEN.lastIndex;
      const m = TOKEN.exec(source);
      if (!m || m.index !== at) return null;
      const [whole, closing, name, attrText, selfClosing, cdata, run] = m;
      const parent = stack[stack.length - 1];
      if (run !== undefined || cdata !== undefined) {
        const value = cdata !== undefined ? cdata : LR.decodeEntities(run);
        if (value === null) return null;
        if (parent) parent.children.push(value);
        else if (cdata !== undefined || value.trim() !== '') return null;
      } else if (name !== undefined) {
        if (closing) {
          if (!parent || parent.name !== name || attrText || selfClosing) return null;
          stack.pop();
        } else {
          const attrs = attributes(attrText);
          if (!attrs) return null;
          const element = { name, attrs, children: [] };
          if (parent) parent.children.push(element);
          else if (root) return null;
          else root = element;
          if (!selfClosing) stack.push(element);
        }
      } else if (/^<!DOCTYPE/i.test(whole) || (whole.startsWith('<?') && root && !parent)) {
        return null;
      }
    }
    return root && !stack.length ? root : null;
  }

  // ---- Looking into a tree ---------------------------------------------------

  function textOf(node) {
    if (typeof node === 'string') return node;
    let out = '';
    for (const child of node.children) out += textOf(child);
    return out;
  }

  // The child elements of `node` named `name`.
  function elements(node, name) {
    return node ? node.children.filter((child) => typeof child !== 'string' && child.name === name) : [];
  }

  // Every element below `node` named `name`, in document order.
  function descendants(node, name, out = []) {
    for (const child of node ? node.children : []) {
      if (typeof child === 'string') continue;
      if (child.name === name) out.push(child);
      descendants(child, name, out);
    }
    return out;
  }

  // The texts of the first child elements named in `names`: {name: text}.
  function texts(node, names) {
    const out = {};
    for (const name of names) out[name] = '';
    const wanted = new Set(names);
    for (const child of node.children) {
      if (typeof child !== 'string' && wanted.has(child.name)) {
        out[child.name] = textOf(child);
        wanted.delete(child.name);
      }
    }
    return out;
  }

  LR.xmlTree = xmlTree;
  LR.tree = { textOf, elements, descendants, texts };
})(window.LR);
