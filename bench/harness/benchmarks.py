"""The benchmarks. Each one measures lumireel and its peers on the same
inputs, the methods taking turns run by run (so that a slow spell of the
machine falls on all of them), and returns the seconds of every run of every
method. Outputs are checked after each run, untimed: a method that wrote
nothing cannot pass for a fast one."""
import glob
import json
import math
import os
import shutil
import statistics
import subprocess
import time

from .headless import BenchError, started_session
from .inputs import imagemagick, photo_list_xml, picture_size, run, warm

PREVIEW_BOX = 180
BIG_BOX = 700


class Context:
    def __init__(self, programs, workspace, scratch, inputs, runs):
        self.programs = programs  # name -> path: lumireel, xml, pugixml, floor (may be missing)
        self.workspace = workspace
        self.scratch = scratch
        self.inputs = inputs
        self.runs = runs
        self.convert = imagemagick()
        self.gm = shutil.which("gm")
        self.vipsthumbnail = shutil.which("vipsthumbnail")

    def lumireel(self, measure_memory=False):
        return started_session(self.programs["lumireel"], self.workspace, measure_memory)

    def fresh(self, *parts):
        """An empty folder below the scratch folder."""
        path = os.path.join(self.scratch, *parts)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def photo_folder(self, album, part, photos=0, box=PREVIEW_BOX):
        """An empty photo folder of the workspace, its list naming `photos`
        photos 1.jpg, 2.jpg, ..."""
        folder = os.path.join(self.workspace, "MyAlbums", str(album), "photoparts", part)
        shutil.rmtree(folder, ignore_errors=True)
        for sub in ["big", "preview"]:
            os.makedirs(os.path.join(folder, sub))
        entries = "".join(f"<photo><id>{n}</id><name/><file>{n}.jpg</file><w>{box}</w>"
                          f"<h>{box}</h></photo>" for n in range(1, photos + 1))
        with open(os.path.join(folder, "photos.xml"), "w") as f:
            f.write(f'<?xml version="1.0" encoding="utf-8" ?><album mwidth="{box}" '
                    f'mheight="{box}" id="{album}">{entries}</album>\r\n')
        return folder


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def measure(methods, runs):
    """Runs each method once per round, `runs` rounds. A method returns its
    seconds, or a dict of named figures. Returns name -> list of seconds."""
    results = {}
    for _ in range(runs):
        for name, method in methods:
            figures = method()
            if not isinstance(figures, dict):
                figures = {name: figures}
            for key, seconds in figures.items():
                results.setdefault(key, []).append(seconds)
    return results


def expect_files(folder, count, what):
    found = len(glob.glob(os.path.join(folder, "*.jpg")))
    if found != count:
        raise BenchError(f"{what}: {found} of {count} files in {folder}")


# ---------------------------------------------------------------------------
# Import: AddPhoto against vipsthumbnail twice, convert once, and the floor.

def rendition_quality(ctx, big_dir, files):
    """The SSIM of the big renditions in `big_dir` (1.jpg, 2.jpg, ... for
    `files` in turn) against a Lanczos3 reduction of each full photo."""
    return json.loads(run([ctx.programs["ssim"], big_dir] + files))


def import_benchmark(ctx, files):
    """Returns name -> seconds of each run, lumireel's peak RSS of each run,
    and the quality of lumireel's and vipsthumbnail's big renditions (from
    their first run)."""
    warm(files)
    count = len(files)
    memory = []
    quality = {}

    def lumireel():
        folder = ctx.photo_folder(1, "import")
        session = ctx.lumireel(measure_memory=True)
        session.answer({"files": files})
        seconds = timed(lambda: (
            session.invoke("AddPhoto", folder, "", "", PREVIEW_BOX, PREVIEW_BOX, BIG_BOX, BIG_BOX,
                           "", "", "", "reload"),
            session.sync()))
        memory.append(session.close())
        expect_files(os.path.join(folder, "big"), count, "lumireel big images")
        expect_files(os.path.join(folder, "preview"), count, "lumireel previews")
        if "lumireel" not in quality and "ssim" in ctx.programs:
            quality["lumireel"] = rendition_quality(ctx, os.path.join(folder, "big"), files)
        return seconds

    def outputs():
        out = ctx.fresh("import-out")
        os.makedirs(os.path.join(out, "big"))
        os.makedirs(os.path.join(out, "preview"))
        return out

    def checked(out, what):
        expect_files(os.path.join(out, "big"), count, what)
        expect_files(os.path.join(out, "preview"), count, what)

    def vipsthumbnail_twice():
        out = outputs()

        def work():
            for n, source in enumerate(files, 1):
                run([ctx.vipsthumbnail, source, "--size", f"{BIG_BOX}x{BIG_BOX}", "-o",
                     f"{out}/big/{n}.jpg[Q=100,strip]"])
                run([ctx.vipsthumbnail, source, "--size", f"{PREVIEW_BOX}x{PREVIEW_BOX}", "-o",
                     f"{out}/preview/{n}.jpg[Q=93,strip]"])

        seconds = timed(work)
        checked(out, "vipsthumbnail")
        if "vipsthumbnail" not in quality and "ssim" in ctx.programs:
            quality["vipsthumbnail"] = rendition_quality(ctx, os.path.join(out, "big"), files)
        return seconds

    def convert():
        out = outputs()

        def work():
            for n, source in enumerate(files, 1):
                run([ctx.convert, source, "-strip", "-resize", f"{BIG_BOX}x{BIG_BOX}", "-quality",
                     "100", "-write", f"{out}/big/{n}.jpg", "-resize",
                     f"{PREVIEW_BOX}x{PREVIEW_BOX}", "-quality", "93", f"{out}/preview/{n}.jpg"])

        seconds = timed(work)
        checked(out, "convert")
        return seconds

    def floor():
        # Its own clock: the files are in its memory before it starts, and
        # neither its start nor the reading is counted.
        out = outputs()
        report = json.loads(run([ctx.programs["floor"], str(BIG_BOX), str(BIG_BOX),
                                 str(PREVIEW_BOX), str(PREVIEW_BOX), "2", out] + files))
        checked(out, "TurboJPEG floor")
        return report["seconds"]

    methods = [("lumireel", lumireel), ("vipsthumbnail x2", vipsthumbnail_twice),
               ("convert", convert)]
    if "floor" in ctx.programs:
        methods.append(("TurboJPEG floor", floor))
    results = measure(methods, ctx.runs)
    return results, [m for m in memory if m is not None], quality


# ---------------------------------------------------------------------------
# Edits: the colour matrices of the program's editor, for the peers.

def contrast(v):
    s = 1 + v / 255
    return diagonal(s, (1 - s) * 0.5)


def brightness(v):
    return diagonal(1.0, v / 100)


def diagonal(scale, offset):
    m = identity()
    for c in range(3):
        m[c][c] = scale
        m[4][c] = offset
    return m


def saturation(v):
    s = v / 100
    weights = [0.212671, 0.71516, 0.072169]
    m = identity()
    for i in range(3):
        for c in range(3):
            m[i][c] = (1 - s) * weights[i] + (s if i == c else 0)
    return m


def hue(v):
    a = v * 0.017453292519944444
    cos, sin = math.cos(a), math.sin(a)
    m = identity()
    m[0][:3] = [0.213 + 0.787 * cos - 0.213 * sin, 0.715 - 0.715 * cos - 0.715 * sin,
                0.072 - 0.072 * cos + 0.928 * sin]
    m[1][:3] = [0.213 - 0.213 * cos + 0.143 * sin, 0.715 + 0.285 * cos + 0.140 * sin,
                0.072 - 0.072 * cos - 0.283 * sin]
    m[2][:3] = [0.213 - 0.213 * cos - 0.787 * sin, 0.715 - 0.715 * cos + 0.715 * sin,
                0.072 + 0.928 * cos + 0.072 * sin]
    return m


def identity():
    return [[1.0 if i == j else 0.0 for j in range(5)] for i in range(5)]


def peer_matrix(m, size):
    """The program's row-vector matrix `m` as a peer's matrix of `size` rows
    (6 for ImageMagick, 5 for GraphicsMagick): one row per output channel,
    the offset (0..1) in the last column."""
    rows = [[1.0 if i == j else 0.0 for j in range(size)] for i in range(size)]
    for out in range(3):
        for inp in range(3):
            rows[out][inp] = m[inp][out]
        rows[out][size - 1] = m[4][out]
    return " ".join(f"{x:.6f}" for row in rows for x in row)


COLOURS = [("contrast", 25, contrast), ("brightes", 10, brightness),
           ("saturation", 130, saturation), ("hue", 20, hue)]


def adjustment_document(crop=None):
    elements = [f'<a type="{kind}" value="{value}"/>' for kind, value, _ in COLOURS]
    if crop:
        x, y, w, h = crop
        elements.append(f'<a type="crop" x="{x}" y="{y}" w="{w}" h="{h}"/>')
    elements.append('<a type="rotation" value="90"/>')
    return "<adjust>" + "".join(elements) + "</adjust>"


def peer_edit(ctx, tool, photo, crop, out):
    """The peer's command for the editor's chain on `photo`: the four colour
    matrices, the crop, the quarter turn, the image at quality 95 and its
    preview scaled from it."""
    if tool == "convert":
        command = [ctx.convert, photo]
        for _, value, make in COLOURS:
            command += ["-color-matrix", peer_matrix(make(value), 6)]
    else:
        command = [ctx.gm, "convert", photo]
        for _, value, make in COLOURS:
            command += ["-recolor", peer_matrix(make(value), 5)]
    x, y, w, h = crop
    return command + ["-crop", f"{w}x{h}+{x}+{y}", "+repage", "-rotate", "90", "-quality", "95",
                      "-write", f"{out}/edited.jpg", "-resize", f"{PREVIEW_BOX}x{PREVIEW_BOX}",
                      "-quality", "95", f"{out}/preview.jpg"]


def edit_benchmark(ctx):
    photo = ctx.inputs.edit_photo
    warm([photo])
    width, height = picture_size(photo)
    crop = (width // 20, height // 20, width - width // 10, height - height // 10)
    document = adjustment_document(crop)
    folder = ctx.photo_folder(1, "edit", photos=1)
    big = os.path.join(folder, "big", "1.jpg")
    session = ctx.lumireel()

    def lumireel():
        shutil.copyfile(photo, big)
        seconds = timed(lambda: (session.invoke("SaveIMG", big, "unused", document, "1", "edit",
                                                "", "1"), session.sync()))
        if picture_size(big) != (crop[3], crop[2]):
            raise BenchError(f"lumireel SaveIMG wrote {picture_size(big)}")
        return seconds

    def peer(tool):
        def method():
            out = ctx.fresh("edit-out")
            seconds = timed(lambda: run(peer_edit(ctx, tool, photo, crop, out)))
            if picture_size(f"{out}/edited.jpg") != (crop[3], crop[2]):
                raise BenchError(f"{tool} wrote {picture_size(out + '/edited.jpg')}")
            return seconds
        return method

    methods = [("lumireel", lumireel), ("convert -color-matrix", peer("convert"))]
    if ctx.gm:
        methods.append(("gm convert -recolor", peer("gm")))
    try:
        return measure(methods, ctx.runs), f"{width}x{height}"
    finally:
        session.close()


# ---------------------------------------------------------------------------
# Folder edit: ApplyAdjustForFolder against SaveIMG of each photo in turn.

def folder_edit_benchmark(ctx):
    photos = ctx.inputs.folder_photos
    warm(photos)
    count = len(photos)
    folder = ctx.photo_folder(1, "folder", photos=count)
    document = adjustment_document()
    session = ctx.lumireel()

    def reset():
        for n, photo in enumerate(photos, 1):
            shutil.copyfile(photo, os.path.join(folder, "big", f"{n}.jpg"))
        # The editor writes the previews; the old ones go so that a missing
        # one shows.
        for old in glob.glob(os.path.join(folder, "preview", "*.jpg")):
            os.unlink(old)

    def folder_job():
        reset()
        seconds = timed(lambda: (session.invoke("ApplyAdjustForFolder", folder + "/", document),
                                 session.sync()))
        expect_files(os.path.join(folder, "preview"), count, "ApplyAdjustForFolder previews")
        return seconds

    def one_by_one():
        reset()
        total = 0.0
        for n in range(1, count + 1):
            big = os.path.join(folder, "big", f"{n}.jpg")
            total += timed(lambda: (session.invoke("SaveIMG", big, "unused", document, "1",
                                                   "folder", "", str(n)), session.sync()))
        expect_files(os.path.join(folder, "preview"), count, "SaveIMG previews")
        return total

    try:
        return measure([("ApplyAdjustForFolder", folder_job), ("SaveIMG x photos", one_by_one)],
                       ctx.runs), count
    finally:
        session.close()


# ---------------------------------------------------------------------------
# Publish: web and CD galleries of a large album against cp -r (and zip -0
# for the web gallery's "Download all" archive).

def make_album(ctx, album, photos):
    """Album `album` of the workspace with `photos` photos in one part, and
    its catalogue entry."""
    base = os.path.join(ctx.workspace, "MyAlbums", str(album))
    shutil.rmtree(base, ignore_errors=True)
    folder = ctx.photo_folder(album, "1", photos=photos)
    bigs, previews = ctx.inputs.album_big, ctx.inputs.album_preview
    for n in range(1, photos + 1):
        shutil.copyfile(bigs[n % len(bigs)], os.path.join(folder, "big", f"{n}.jpg"))
        shutil.copyfile(previews[n % len(previews)], os.path.join(folder, "preview", f"{n}.jpg"))
    shutil.copyfile(previews[0], os.path.join(folder, "album.jpg"))
    os.makedirs(os.path.join(base, "logo"))
    with open(os.path.join(base, "photoparts", "parts.xml"), "w") as f:
        f.write('<?xml version="1.0" encoding="utf-8" ?><parts><part folder="1" name="All" />'
                "</parts>")
    with open(os.path.join(ctx.workspace, "quillmaralbumsettings", "quillmaralbums.xml"),
              "w") as f:
        f.write('<?xml version="1.0" encoding="utf-8" ?><albums location="MyAlbums">'
                f'<album id="{album}"><name>Benchmark</name><skeen>snakeeye</skeen><lang>en</lang>'
                "<color>0xFF6600</color><logo /></album></albums>")
    return base


def copy_script(images, album, picked):
    """The shell commands that copy the same trees and files as Publish."""
    lines = ["set -e"]
    for kind in ["cd", "web"]:
        gallery = f"{picked}/{kind}"
        lines += [f"mkdir -p {gallery}/skins",
                  f"cp -r {images}/skins/{kind}/snakeeye {gallery}/skins/snakeeye",
                  f"cp {images}/skins/zelslideshoweffects.swf {gallery}/skins/",
                  f"cp -r {images}/zel_ui {gallery}/zel_ui",
                  f"cp -r {album}/photoparts {gallery}/photoparts",
                  f"cp -r {album}/logo {gallery}/logo"]
    lines += [f"cp {images}/cd/* {picked}/cd/",
              f"cp -r {images}/web/img_pice {picked}/web/img_pice",
              f"cp {images}/web/index.html {images}/web/zelalbum.swf {picked}/web/"]
    return "\n".join(lines)


def zip_script(picked):
    """The web gallery's big images into a stored archive, as Publish's
    "Download all" archive holds them."""
    return f"cd {picked}/web/photoparts && zip -0 -q -r ../album.zip */big"


def publish_benchmark(ctx, photos):
    album = make_album(ctx, 2, photos)
    warm(glob.glob(os.path.join(album, "photoparts", "1", "*", "*.jpg")))
    images = os.path.join(ctx.workspace, "images")
    session = ctx.lumireel()

    def fresh_output():
        # A gigabyte or more per run: the last run's writes reach the disk
        # before the next one starts, so that no method pays for another's.
        picked = ctx.fresh("publish-out")
        os.sync()
        return picked

    def check(picked, what):
        for kind in ["cd", "web"]:
            expect_files(os.path.join(picked, kind, "photoparts", "1", "big"), photos, what)

    def lumireel():
        picked = fresh_output()
        session.answer({"folder": picked})
        seconds = timed(lambda: (session.invoke("Publish", "0", "1", "1", "2",
                                                os.path.join(ctx.workspace, "MyAlbums") + "/"),
                                 session.sync()))
        check(picked, "Publish")
        return seconds

    def copy():
        picked = fresh_output()
        copying = timed(lambda: run(["bash", "-c", copy_script(images, album, picked)]))
        zipping = timed(lambda: run(["bash", "-c", zip_script(picked)]))
        check(picked, "cp -r")
        if not os.path.exists(os.path.join(picked, "web", "album.zip")):
            raise BenchError("zip -0 made no archive")
        return {"cp -r": copying, "cp -r + zip -0": copying + zipping}

    try:
        return measure([("lumireel", lumireel), ("cp -r + zip -0", copy)], ctx.runs), photos
    finally:
        session.close()
        shutil.rmtree(os.path.join(ctx.scratch, "publish-out"), ignore_errors=True)


# ---------------------------------------------------------------------------
# XML: the element tree and the strict reader against pugixml.

def xml_benchmark(ctx):
    photos = ctx.inputs.xml_photos
    path = os.path.join(ctx.scratch, f"photos-{photos}.xml")
    with open(path, "w") as f:
        f.write(photo_list_xml(photos))
    rounds = "5"

    def ours():
        report = json.loads(run([ctx.programs["xml"], path, rounds]))
        if report["photos"] != photos or report["read_photos"] != photos:
            raise BenchError(f"lumireel XML: {report['photos']}/{report['read_photos']} photos")
        both = [a + b for a, b in zip(report["parse_text"], report["to_xml"])]
        return {"ParseText+ToXml": statistics.median(both),
                "ParseString": statistics.median(report["parse_string"])}

    def pugixml():
        report = json.loads(run([ctx.programs["pugixml"], path, rounds]))
        if report["photos"] != photos:
            raise BenchError(f"pugixml: {report['photos']} photos")
        both = [a + b for a, b in zip(report["parse"], report["save"])]
        return {"pugixml parse+save": statistics.median(both),
                "pugixml parse": statistics.median(report["parse"])}

    methods = [("lumireel", ours)]
    if "pugixml" in ctx.programs:
        methods.append(("pugixml", pugixml))
    return measure(methods, ctx.runs), photos


# ---------------------------------------------------------------------------
# Start: process start to the setGlobPath call, against /bin/true.

def true_start():
    """/bin/true through the same steps: start to the end of its output."""
    start = time.perf_counter()
    proc = subprocess.Popen(["/bin/true"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)
    proc.stdout.read()
    seconds = time.perf_counter() - start
    proc.stdin.close()
    proc.wait()
    return seconds


def start_benchmark(ctx, runs):
    binary = ctx.programs["lumireel"]

    def lumireel():
        start = time.perf_counter()
        proc = subprocess.Popen([binary, "--headless", "--pace", "0"], cwd=ctx.workspace,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        seconds = None
        for line in proc.stdout:
            if "setGlobPath" in line:
                seconds = time.perf_counter() - start
                break
        proc.stdin.close()
        proc.stdout.read()
        proc.wait()
        if seconds is None:
            raise BenchError("lumireel never called setGlobPath")
        return seconds

    return measure([("lumireel", lumireel), ("/bin/true", true_start)], runs)
