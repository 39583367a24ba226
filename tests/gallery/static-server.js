// A small static web server on 127.0.0.1 for a published web gallery.
'use strict';

const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.xml': 'application/xml', '.jpg': 'image/jpeg', '.svg': 'image/svg+xml', '.zip': 'application/zip',
  '.mp3': 'audio/mpeg' };

// Resolves with the server and its origin; nothing outside `root` is served.
function serve(root) {
  const server = http.createServer((request, response) => {
    const file = path.join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    fs.readFile(file.startsWith(root + path.sep) ? file : '', (error, bytes) => {
      if (error) return response.writeHead(404).end();
      const type = TYPES[path.extname(file)] || 'application/octet-stream';
      response.writeHead(200, { 'Content-Type': type + '; charset=utf-8' }).end(bytes);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1',
    () => resolve({ server, origin: 'http://127.0.0.1:' + server.address().port })));
}

module.exports = { serve };
