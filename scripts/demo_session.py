#!/usr/bin/env python3
"""A scripted headless session on the demo workspace: it plays the movie's part,
sends requests to `lumireel --headless` and prints what the program answers.

Usage: demo_session.py LUMIREEL WORKSPACE"""
import json
import os
import subprocess
import sys
from xml.sax.saxutils import escape


class Session:
    def __init__(self, binary, workspace):
        self.workspace = workspace
        self.proc = subprocess.Popen([binary, "--headless", "--pace", "0"], cwd=workspace,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.tokens = 0

    def path(self, *parts):
        return os.path.join(self.workspace, *parts)

    def send(self, obj):
        self.proc.stdin.write(json.dumps(obj) + "\n")
        self.proc.stdin.flush()

    def step(self, what):
        print(f"\n> {what}")

    def invoke(self, name, *args):
        strings = "".join(f"<string>{escape(str(a))}</string>" for a in args)
        self.send({"invoke": f'<invoke name="{name}" returntype="xml"><arguments>{strings}</arguments></invoke>'})

    def answer(self, answer):
        self.send({"answer": answer})

    def settle(self):
        """Waits until the program has handled everything and no job runs, printing its lines."""
        self.tokens += 1
        self.send({"sync": self.tokens})
        for line in self.proc.stdout:
            msg = json.loads(line)
            if msg.get("synced") == self.tokens:
                return
            text = json.dumps(msg, ensure_ascii=False)
            print("  <", text if len(text) < 220 else text[:217] + "...")

    def close(self):
        self.invoke("CloseWindow")
        for line in self.proc.stdout:
            print("  <", line.rstrip()[:220])
        return self.proc.wait()


def make_album(s, album_id, name):
    """Creates an album the way the interface does: folders, lists and a catalogue entry."""
    album = s.path("MyAlbums", str(album_id))
    for folder in ["", "photoparts", "photoparts/1", "photoparts/1/big", "photoparts/1/preview",
                   "photoparts/keywordsDB", "photoparts/sounds", "logo", "synchronization"]:
        s.invoke("MakeDir", os.path.join(album, folder))
    s.invoke("WriteFile", os.path.join(album, "photoparts", "1", "photos.xml"),
             '<?xml version="1.0" encoding="utf-8" ?><album mwidth="180" mheight="180" id="1"></album>\r\n')
    s.invoke("WriteFile", os.path.join(album, "photoparts", "parts.xml"),
             '<?xml version="1.0" encoding="utf-8" ?><parts><part folder="1" name="First day" /></parts>')
    s.invoke("WriteFile", s.path("quillmaralbumsettings", "quillmaralbums.xml"),
             '<?xml version="1.0" encoding="utf-8" ?><albums location="MyAlbums">'
             f'<album id="{album_id}"><name>{escape(name)}</name><pwidth>180</pwidth><pheight>180</pheight>'
             '<bwidth>700</bwidth><bheight>700</bheight><skeen>snakeeye</skeen><lang>en</lang>'
             '<color>0xCC00FF</color><logo /><ftp /></album></albums>')
    return album


def main():
    binary = os.path.abspath(sys.argv[1])
    workspace = os.path.abspath(sys.argv[2])
    s = Session(binary, workspace)
    print(f"lumireel on {workspace}")
    s.step("start-up: the movie is loaded, the window placed and setGlobPath sent")
    s.settle()

    s.step("the movie says which build it is and reads the album catalogue")
    s.invoke("setFlashBuildVersion", "demo")
    s.invoke("ReadFile", s.path("quillmaralbumsettings", "quillmaralbums.xml"))
    s.settle()

    s.step("create the album 'Holiday' (folders and lists, as the interface does)")
    if os.path.isdir(s.path("MyAlbums", "1")):
        s.invoke("RmDir", s.path("MyAlbums", "1"))
    for extra in sorted(os.listdir(s.path("MyAlbums"))):
        if extra.isdigit():
            s.invoke("RmDir", s.path("MyAlbums", extra))
    album = make_album(s, 1, "Holiday")
    s.settle()

    photos = sorted(os.path.join(workspace, "sample-photos", f)
                    for f in os.listdir(s.path("sample-photos")))
    folder = os.path.join(album, "photoparts", "1")
    s.step(f"add {len(photos)} photos (the file dialog is answered with the sample photos)")
    s.answer({"files": photos})
    s.invoke("AddPhoto", folder, "", "", 180, 180, 700, 700, "", "", "", "reload")
    s.settle()
    s.step("the photo list now reads")
    s.invoke("ReadFile", os.path.join(folder, "photos.xml"))
    s.settle()

    s.step("edit: a live preview of photo 1 (brighter, warmer) into tmp, then save photo 2 turned by 90°")
    adjust = ('<adjust><a type="brightes" value="12"/><a type="saturation" value="130"/>'
              '<a type="maxsize" width="400" height="400"/></adjust>')
    s.invoke("SavePreview", os.path.join(folder, "big", "1.jpg"), s.path("tmp", "preview-1.jpg"),
             os.path.join(folder, "photos.xml"), 1, adjust)
    turn = '<adjust><a type="contrast" value="30"/><a type="rotation" value="90"/></adjust>'
    s.invoke("SaveIMG", os.path.join(folder, "big", "2.jpg"), "", turn, 1, 1, "", 2)
    s.settle()

    s.step("tag photo 1 with keywords and read them back")
    keywords = os.path.join(album, "photoparts", "keywordsDB")
    s.invoke("AddKeyWords", "sea sand sunset", keywords, 1, 1)
    s.invoke("GetKeyWords", keywords, 1, 1)
    s.settle()

    s.step("import the album folder as a new album 'Holiday copy' (the folder picker is answered)")
    s.answer({"folder": album})
    s.invoke("importAlbum", "Holiday copy")
    s.settle()
    s.invoke("ReadFile", s.path("quillmaralbumsettings", "quillmaralbums.xml"))
    s.settle()

    s.step("publish the album for the web and for a CD into ./published (the folder picker is answered)")
    s.invoke("RmDir", s.path("published"))  # a fresh folder: no question about replacing
    s.invoke("MakeDir", s.path("published"))
    s.answer({"folder": s.path("published")})
    s.invoke("Publish", 0, 1, 1, 1, s.path("MyAlbums") + "/")
    s.settle()
    print(f"  the web gallery is {s.path('published', 'web', 'index.html')}")

    s.step("file commands: make a folder, write and read a file, make the folder again (fails)")
    s.invoke("MakeDir", s.path("tmp", "demo"))
    s.invoke("WriteFile", s.path("tmp", "demo", "note.xml"), "<note>hello & welcome</note>")
    s.invoke("ReadFile", s.path("tmp", "demo", "note.xml"))
    s.invoke("MakeDir", s.path("tmp", "demo"))
    s.settle()

    s.step("maximise the window, restore it, press Enter")
    s.invoke("FullSkreenWindow")
    s.invoke("LastSizeWindow")
    s.send({"key": "Return"})
    s.settle()

    s.step("close the program")
    status = s.close()
    print(f"\nlumireel ended with status {status}; the workspace is {workspace}")


if __name__ == "__main__":
    main()
