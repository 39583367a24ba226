// The real `lumireel --headless --pace 0`, driven through its JSON lines:
// requests go in as the movie sends them, dialogs are answered like a user.
'use strict';

const { spawn } = require('node:child_process');
const readline = require('node:readline');

class Lumireel {
  constructor(binary, workspace) {
    this.child = spawn(binary, ['--headless', '--pace', '0'], { cwd: workspace, stdio: ['pipe', 'pipe', 'inherit'] });
    this.lines = [];
    this.syncs = 0;
    readline.createInterface({ input: this.child.stdout }).on('line', (text) => this.lines.push(JSON.parse(text)));
  }

  send(line) { this.child.stdin.write(JSON.stringify(line) + '\n'); }
  answer(answer) { this.send({ answer }); }

  invoke(name, strings) {
    const encode = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
    const args = strings.map((s) => '<string>' + encode(s) + '</string>').join('');
    this.send({ invoke: `<invoke name="${name}" returntype="xml"><arguments>${args}</arguments></invoke>` });
  }

  // Waits until every earlier line was handled and no job runs; returns the
  // lines written meanwhile.
  async sync(timeout = 60000) {
    const token = 'sync-' + ++this.syncs;
    this.send({ sync: token });
    for (const deadline = Date.now() + timeout; Date.now() < deadline;) {
      const at = this.lines.findIndex((line) => line.synced === token);
      if (at >= 0) return this.lines.splice(0, at + 1);
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    throw new Error('no answer to ' + token + ': ' + JSON.stringify(this.lines));
  }

  close() {
    this.child.stdin.end();
    return new Promise((resolve) => this.child.on('close', resolve));
  }
}

module.exports = { Lumireel };
