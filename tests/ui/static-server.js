// A small static web server on 127.0.0.1 for a workspace folder.
'use strict';

const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.xml': 'application/xml', '.jpg': 'image/jpeg', '.png': 'image/png', '.svg': 'image/svg+xml' };

// Resolves with the server and its origin; nothing outside `root` is served.
// `types` adds content types by file extension; `headers` go with every
// answer.
function serve(root, types = {}, headers = {}) {
  const known = Object.assign({}, TYPES, types);
  const server = http.createServer((request, response) => {
    const file = path.join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    fs.readFile(file.startsWith(root + path.sep) ? file : '', (error, bytes) => {
      if (error) return response.writeHead(404).end();
      const type = known[path.extname(file)] || 'application/octet-stream';
      response.writeHead(200, Object.assign({ 'Content-Type': type + '; charset=utf-8' }, headers)).end(bytes);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1',
    () => resolve({ server, origin: 'http://127.0.0.1:' + server.address().port })));
}

module.exports = { serve };
