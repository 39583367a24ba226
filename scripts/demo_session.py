#!/usr/bin/env python3
"""A scripted headless session on the demo workspace: it plays the movie's part,
sends requests to `lumireel --headless`, checks what came of them and prints a
short account: the album made, the photos imported, where the galleries are.
With --verbose it prints every step and every line the program answers too.

Usage: demo_session.py [--verbose] LUMIREEL WORKSPACE
Exit status 1 when the program failed at a step (the account says which)."""
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
from xml.sax.saxutils import escape


class Session:
    def __init__(self, binary, workspace, verbose):
        self.workspace = workspace
        self.verbose = verbose
        self.proc = subprocess.Popen([binary, "--headless", "--pace", "0"], cwd=workspace,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.tokens = 0

    def path(self, *parts):
        return os.path.join(self.workspace, *parts)

    def send(self, obj):
        try:
            self.proc.stdin.write(json.dumps(obj) + "\n")
            self.proc.stdin.flush()
        except BrokenPipeError:
            raise SessionError(f"lumireel ended early with status {self.proc.wait()}")

    def step(self, what):
        if self.verbose:
            print(f"\n> {what}")

    def show(self, text):
        if self.verbose:
            print("  <", text if len(text) < 220 else text[:217] + "...")

    def invoke(self, name, *args):
        strings = "".join(f"<string>{escape(str(a))}</string>" for a in args)
        self.send({"invoke": f'<invoke name="{name}" returntype="xml"><arguments>{strings}</arguments></invoke>'})

    def answer(self, answer):
        self.send({"answer": answer})

    def settle(self):
        """Waits until the program has handled everything and no job runs; returns
        the lines it wrote meanwhile. A program that ended raises SessionError."""
        self.tokens += 1
        self.send({"sync": self.tokens})
        lines = []
        for line in self.proc.stdout:
            msg = json.loads(line)
            if msg.get("synced") == self.tokens:
                return lines
            lines.append(msg)
            self.show(json.dumps(msg, ensure_ascii=False))
        raise SessionError(f"lumireel ended early with status {self.proc.wait()}")

    def close(self):
        try:
            self.invoke("CloseWindow")
            self.proc.stdin.close()
        except (SessionError, BrokenPipeError):
            pass  # it has ended already
        for line in self.proc.stdout:
            self.show(line.rstrip())
        return self.proc.wait()


class SessionError(Exception):
    pass


def calls(lines, name):
    """The movie functions called `name` among the program's lines."""
    return [m["call"] for m in lines if f'<invoke name="{name}"' in m.get("call", "")]


def photo_count(photos_xml):
    try:
        return len(ElementTree.parse(photos_xml).getroot().findall("photo"))
    except (OSError, ElementTree.ParseError):
        return 0


def album_names(catalogue):
    try:
        root = ElementTree.parse(catalogue).getroot()
    except (OSError, ElementTree.ParseError):
        return {}
    return {a.get("id"): a.findtext("name", "") for a in root.findall("album")}


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


def run(s, account):
    """The session; adds a line to `account` for each thing done and checked.
    Raises SessionError at the first step whose result is not there."""
    workspace = s.workspace
    s.step("start-up: the movie is loaded, the window placed and setGlobPath sent")
    if not calls(s.settle(), "setGlobPath"):
        raise SessionError("the program did not start its movie (no setGlobPath call)")

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
    catalogue = s.path("quillmaralbumsettings", "quillmaralbums.xml")
    if album_names(catalogue).get("1") != "Holiday":
        raise SessionError(f"the album 'Holiday' is not in the catalogue {catalogue}")
    account.append(f"album made:    'Holiday', in {os.path.relpath(album, workspace)}")

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
    imported = photo_count(os.path.join(folder, "photos.xml"))
    if imported != len(photos):
        raise SessionError(f"{imported} of {len(photos)} photos were imported")
    account.append(f"photos:        {imported} imported from sample-photos/ (a big rendition "
                   "and a preview of each)")

    s.step("edit: a live preview of photo 1 (brighter, warmer) into tmp, then save photo 2 turned by 90°")
    adjust = ('<adjust><a type="brightes" value="12"/><a type="saturation" value="130"/>'
              '<a type="maxsize" width="400" height="400"/></adjust>')
    s.invoke("SavePreview", os.path.join(folder, "big", "1.jpg"), s.path("tmp", "preview-1.jpg"),
             os.path.join(folder, "photos.xml"), 1, adjust)
    turn = '<adjust><a type="contrast" value="30"/><a type="rotation" value="90"/></adjust>'
    s.invoke("SaveIMG", os.path.join(folder, "big", "2.jpg"), "", turn, 1, 1, "", 2)
    s.settle()
    if not os.path.isfile(s.path("tmp", "preview-1.jpg")):
        raise SessionError("the edit preview tmp/preview-1.jpg was not made")
    account.append("edits:         photo 1 previewed brighter and warmer (tmp/preview-1.jpg), "
                   "photo 2 turned by 90° and saved")

    s.step("tag photo 1 with keywords and read them back")
    keywords = os.path.join(album, "photoparts", "keywordsDB")
    s.invoke("AddKeyWords", "sea sand sunset", keywords, 1, 1)
    s.invoke("GetKeyWords", keywords, 1, 1)
    if not any("sea sand sunset" in c for c in calls(s.settle(), "setKeyWords")):
        raise SessionError("the keywords of photo 1 did not read back")
    account.append("keywords:      photo 1 tagged 'sea sand sunset'")

    s.step("import the album folder as a new album 'Holiday copy' (the folder picker is answered)")
    s.answer({"folder": album})
    s.invoke("importAlbum", "Holiday copy")
    s.settle()
    s.invoke("ReadFile", s.path("quillmaralbumsettings", "quillmaralbums.xml"))
    s.settle()
    copy = [i for i, name in album_names(catalogue).items() if name == "Holiday copy"]
    if not copy:
        raise SessionError("the imported album 'Holiday copy' is not in the catalogue")
    account.append(f"album import:  'Holiday copy', in MyAlbums/{copy[0]}")

    s.step("publish the album for the web and for a CD into ./published (the folder picker is answered)")
    s.invoke("RmDir", s.path("published"))  # a fresh folder: no question about replacing
    s.invoke("MakeDir", s.path("published"))
    s.answer({"folder": s.path("published")})
    s.invoke("Publish", 0, 1, 1, 1, s.path("MyAlbums") + "/")
    s.settle()
    galleries = [(kind, s.path("published", kind, "index.html")) for kind in ("web", "cd")]
    for kind, page in galleries:
        if not os.path.isfile(page):
            raise SessionError(f"the {kind} gallery {page} was not published")
    account.append("galleries:     " + "\n                 ".join(
        f"{kind:4} {page}" for kind, page in galleries))

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
    return galleries


def main():
    args = sys.argv[1:]
    verbose = bool(args) and args[0] == "--verbose"
    if verbose:
        args = args[1:]
    if len(args) != 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    binary, workspace = (os.path.abspath(a) for a in args)
    print(f"Lumireel demo: no display here, so a scripted session drives the program "
          f"without its window.\nWorkspace: {workspace}")
    s = Session(binary, workspace, verbose)
    account = []
    failure = None
    galleries = []
    try:
        galleries = run(s, account)
    except SessionError as error:
        failure = str(error)
    s.step("close the program")
    status = s.close()
    print()
    for line in account:
        print("  " + line)
    if failure or status != 0:
        print(f"\nThe demo FAILED: {failure or f'lumireel ended with status {status}'}.\n"
              "scripts/demo --verbose shows every line the program wrote.")
        return 1
    web, cd = galleries[0][1], galleries[1][1]
    print(f"\nOpen the offline gallery from its folder:  xdg-open {cd}\n"
          "The web gallery reads its photos over HTTP, so it plays from a web server; to try it here:\n"
          f"  python3 -m http.server --bind 127.0.0.1 --directory {os.path.dirname(web)} 8000\n"
          "  and open http://127.0.0.1:8000/\n"
          "scripts/demo --verbose prints every request and answer; with a display, "
          "scripts/demo opens the window.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
