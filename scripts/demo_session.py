#!/usr/bin/env python3
"""A scripted headless session on the demo workspace: it plays the movie's part,
sends requests to `lumireel --headless` and prints what the program answers."""
import json
import os
import subprocess
import sys
from xml.sax.saxutils import escape


def main():
    binary = os.path.abspath(sys.argv[1])
    workspace = os.path.abspath(sys.argv[2])
    proc = subprocess.Popen([binary, "--headless", "--pace", "0"], cwd=workspace,
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def send(obj, what):
        print(f"\n> {what}")
        proc.stdin.write(json.dumps(obj) + "\n")
        proc.stdin.flush()

    def invoke(name, *args, what=None):
        xml = "".join(f"<string>{escape(a)}</string>" for a in args)
        send({"invoke": f'<invoke name="{name}" returntype="xml"><arguments>{xml}</arguments></invoke>'},
             what or name)

    def until_synced(token):
        send({"sync": token}, "sync")
        for line in proc.stdout:
            msg = json.loads(line)
            if msg.get("synced") == token:
                return
            print("  <", json.dumps(msg)[:200])

    print(f"lumireel on {workspace}")
    until_synced("start")
    invoke("setFlashBuildVersion", "demo", what="the movie says which build it is")
    invoke("ReadFile", os.path.join(workspace, "quillmaralbumsettings", "quillmaralbums.xml"),
           what="the movie reads the album catalogue")
    until_synced("catalogue")
    invoke("MakeDir", os.path.join(workspace, "tmp", "demo"), what="make a folder")
    invoke("WriteFile", os.path.join(workspace, "tmp", "demo", "note.xml"), "<note>hello</note>",
           what="write a file into it")
    invoke("ReadFile", os.path.join(workspace, "tmp", "demo", "note.xml"), what="read it back")
    invoke("MakeDir", os.path.join(workspace, "tmp", "demo"), what="make the same folder again (fails)")
    until_synced("files")
    invoke("FullSkreenWindow", what="maximise the window")
    invoke("LastSizeWindow", what="restore it")
    until_synced("window")
    invoke("CloseWindow", what="close the program")
    for line in proc.stdout:
        print("  <", line.rstrip()[:200])
    print(f"\nlumireel ended with status {proc.wait()}")


if __name__ == "__main__":
    main()
