// What the walk checks on disk: XML files read with the browser's own parser
// (in a blank page of their own), and image sizes and contents.
'use strict';

const crypto = require('node:crypto');
const fs = require('node:fs');
const { execFileSync } = require('node:child_process');

class Files {
  constructor(page) { this.page = page; }

  // The element tree of an XML file as {name, attrs, text, children}; throws
  // when the file is missing or not well-formed.
  async xml(file) {
    const text = fs.readFileSync(file, 'utf8');
    const tree = await this.page.evaluate((source) => {
      const doc = new DOMParser().parseFromString(source, 'application/xml');
      if (doc.getElementsByTagName('parsererror').length) return null;
      const walk = (element) => ({
        name: element.nodeName,
        attrs: Object.fromEntries(Array.from(element.attributes).map((a) => [a.name, a.value])),
        text: element.textContent,
        children: Array.from(element.children).map(walk),
      });
      return walk(doc.documentElement);
    }, text);
    if (!tree) throw new Error(file + ' is not well-formed XML:\n' + text);
    return tree;
  }
}

// The children of `node` named `name`, and the text of the first one.
const all = (node, name) => node.children.filter((c) => c.name === name);
const text = (node, name) => (all(node, name)[0] || { text: undefined }).text;

function imageSize(file) {
  const [w, h] = execFileSync('identify', ['-format', '%w %h', file], { encoding: 'utf8' }).split(' ').map(Number);
  return { w, h };
}

// The mean saturation (0..1) of an image.
function saturation(file) {
  return Number(execFileSync('convert', [file, '-colorspace', 'HSL', '-channel', 'G', '-separate',
    '-format', '%[fx:mean]', 'info:'], { encoding: 'utf8' }));
}

const digest = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');

module.exports = { Files, all, text, imageSize, saturation, digest };
