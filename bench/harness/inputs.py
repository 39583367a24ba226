"""The pictures and files the benchmarks work on.

Full runs take real photographs from Debian's wallpaper packages, fetched with
`apt-get download` and unpacked with `dpkg-deb -x` into bench/.cache (nothing
is installed), and derive the other sets from them with libvips' command-line
tools: eight camera-like 24-megapixel JPEGs (upscaled, with grain, quality
92), a 12-megapixel photo to edit, 2-megapixel photos for the folder edit and
album renditions for publishing. Quick runs make small pictures of their own
instead and download nothing."""
import glob
import os
import shutil
import subprocess
import tempfile

from .headless import BenchError

# The photographs of the real set: (package, path inside it). Illustrations,
# gradients and pictures below 4 megapixels in the same packages are left out.
REAL_PHOTOS = [
    ("lomiri-wallpapers-16.04", "usr/share/backgrounds/" + name) for name in [
        "Wine_by_Jakkub_Mede.jpg", "greentock_by_Peter_Nerlich.jpg",
        "seeding_by_Clements_Engelhardt.jpg", "aitzgorri_by_Aitzol_Berasategi.jpg",
        "Dragonfly_by_Bolly.jpg", "friends_by_Aitzol_Berasategi.jpg",
        "sunset_by_Aitzol_Berasategi.jpg", "free_by_Peter_Nerlich.jpg",
        "picosdeeuropa_by_Aitzol_Berasategi.jpg", "Picture_0B_by_freespace.jpg",
        "life_by_Aitzol_Berasategi.jpg", "analogpattern_by_Peter_Nerlich.jpg",
        "Bridge_by_Sander_Klootwijk.jpg"]
] + [
    ("lomiri-wallpapers-20.04", "usr/share/backgrounds/" + name) for name in [
        "Kleiber_by_Lukas_Baubkus.jpg", "Infinite-Sea_by_Aury88.jpg"]
] + [
    ("mate-backgrounds", "usr/share/backgrounds/mate/nature/" + name) for name in [
        "Garden.jpg", "Wood.jpg", "Aqua.jpg", "TwoWings.jpg", "LadyBird.jpg", "YellowFlower.jpg"]
] + [
    ("plasma-workspace-wallpapers", f"usr/share/wallpapers/{name}/contents/images/2560x1600.jpg")
    for name in ["FallenLeaf", "Path", "DarkestHour", "summer_1am", "EveningGlow", "Grey", "Kite",
                 "ColorfulCups", "OneStandsOut", "ColdRipple", "BytheWater"]
]
MIN_REAL_PHOTOS = 30


def run(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            **kwargs)
    if result.returncode != 0:
        raise BenchError(f"{' '.join(command[:3])}...: {result.stderr.strip()[:400]}")
    return result.stdout


def jpeg_frame(path):
    """(kind, width, height) from a JPEG file's first start-of-frame marker,
    kind "progressive" or "baseline"; None when the file is no JPEG or the
    marker is not in its first megabyte."""
    with open(path, "rb") as f:
        data = f.read(1 << 20)
    if not data.startswith(b"\xff\xd8"):
        return None
    i = 2
    while i + 9 <= len(data):
        if data[i] != 0xFF:
            i += 1
            continue
        marker = data[i + 1]
        if marker == 0xFF:
            i += 1
            continue
        if marker == 0xD8 or 0xD0 <= marker <= 0xD7 or marker == 0x01:
            i += 2
            continue
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            kind = "progressive" if marker in (0xC2, 0xC6, 0xCA, 0xCE) else "baseline"
            height = int.from_bytes(data[i + 5:i + 7], "big")
            width = int.from_bytes(data[i + 7:i + 9], "big")
            return kind, width, height
        i += 2 + int.from_bytes(data[i + 2:i + 4], "big")
    return None


def jpeg_kind(path):
    frame = jpeg_frame(path)
    return frame[0] if frame else "unknown"


def picture_size(path):
    """(width, height) of a picture: read from the file for a JPEG, else
    asked of vipsheader."""
    frame = jpeg_frame(path)
    if frame:
        return frame[1], frame[2]
    width = int(run(["vipsheader", "-f", "width", path]).strip())
    height = int(run(["vipsheader", "-f", "height", path]).strip())
    return width, height


def short_name(path):
    """A photo's name: its file name, or the wallpaper's folder name for
    wallpapers stored as <name>/contents/images/<size>.jpg."""
    parts = path.split("/")
    if len(parts) >= 4 and parts[-3:-1] == ["contents", "images"]:
        return parts[-4]
    return os.path.splitext(parts[-1])[0]


def fetch_real_photos(cache):
    """The real set, downloaded once into `cache`/real; its files in order."""
    folder = os.path.join(cache, "real")
    sources = os.path.join(folder, "SOURCES.txt")
    if os.path.exists(sources):
        return sorted(glob.glob(os.path.join(folder, "*.jpg")))
    staging = tempfile.mkdtemp(prefix="lumireel-bench-debs-", dir=cache)
    try:
        os.makedirs(folder, exist_ok=True)
        packages = sorted({package for package, _ in REAL_PHOTOS})
        lines = []
        for package in packages:
            print(f"bench: fetching the photographs of {package}", flush=True)
            try:
                run(["apt-get", "download", package], cwd=staging)
            except BenchError as error:
                raise BenchError(f"{error} (are the package lists there? apt-get update)") from None
            deb = glob.glob(os.path.join(staging, f"{package}_*.deb"))[0]
            run(["dpkg-deb", "-x", deb, os.path.join(staging, package)])
            lines.append(f"{os.path.basename(deb)}")
        kept = 0
        for package, path in REAL_PHOTOS:
            source = os.path.join(staging, package, path)
            if not os.path.exists(source):
                continue
            kept += 1
            name = f"{kept:02d}-{short_name(path)}.jpg"
            shutil.copyfile(source, os.path.join(folder, name))
            lines.append(f"{name}: {package} /{path}")
        if kept < MIN_REAL_PHOTOS:
            raise BenchError(f"only {kept} of the listed photographs are in the packages")
        with open(sources, "w") as f:
            f.write("\n".join(lines) + "\n")
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    return sorted(glob.glob(os.path.join(folder, "*.jpg")))


def make_camera_like(source, target, width, height, seed):
    """`source` filled into width x height (upscaled as needed), with
    luminance grain, saved as a 4:2:0 JPEG of quality 92."""
    with tempfile.TemporaryDirectory(prefix="lumireel-bench-") as scratch:
        up = os.path.join(scratch, "up.v")
        noise = os.path.join(scratch, "noise.v")
        grainy = os.path.join(scratch, "grainy.v")
        pixels = os.path.join(scratch, "pixels.v")
        run(["vips", "thumbnail", source, up, str(width), "--height", str(height),
             "--size", "both", "--crop", "centre"])
        run(["vips", "gaussnoise", noise, str(width), str(height), "--sigma", "5",
             "--seed", str(seed)])
        run(["vips", "add", up, noise, grainy])
        run(["vips", "cast", grainy, pixels, "uchar"])
        partial = target + ".part"
        run(["vips", "jpegsave", pixels, partial, "--Q", "92", "--subsample-mode", "on"])
        os.replace(partial, target)


def scaled_copy(source, target, box, quality):
    """`source` scaled to fit a box of `box` pixels, as a JPEG of `quality`."""
    partial = target + ".part.jpg"
    run(["vipsthumbnail", source, "--size", f"{box}x{box}", "-o",
         os.path.abspath(partial) + f"[Q={quality},strip]"])
    os.replace(partial, target)


def derived(cache, name, sources, make):
    """The files of the derived set `name`, made once with make(source,
    target, index) for each source."""
    folder = os.path.join(cache, name)
    os.makedirs(folder, exist_ok=True)
    targets = []
    announced = False
    for index, source in enumerate(sources):
        target = os.path.join(folder, f"{index + 1:02d}.jpg")
        if not os.path.exists(target):
            if not announced:
                print(f"bench: making the pictures of {name} (once)", flush=True)
                announced = True
            make(source, target, index)
        targets.append(target)
    return targets


def synthetic_photo(target, width, height, seed):
    """A small picture of our own: a colour gradient with grain."""
    colours = ["orange-navy", "skyblue-darkgreen", "khaki-purple", "tomato-teal"]
    run([imagemagick(), "-size", f"{width}x{height}",
         f"gradient:{colours[seed % len(colours)]}", "-seed", str(seed + 1), "-attenuate", "0.4",
         "+noise", "Gaussian", "-quality", "90", target])


def imagemagick():
    """ImageMagick's own convert program (Debian installs it as
    convert-im6.q16; a `convert` earlier on PATH may be something else)."""
    for name in ["convert-im6.q16", "convert-im6", "/usr/bin/convert"]:
        found = shutil.which(name)
        if found:
            return found
    raise BenchError("ImageMagick's convert is not installed (scripts/bootstrap --bench installs it)")


class Inputs:
    """Every input of one run, made under `cache`."""

    def __init__(self, cache, quick):
        self.quick = quick
        cache = os.path.abspath(cache)  # the programs run in other folders
        os.makedirs(cache, exist_ok=True)
        if quick:
            self._make_quick(cache)
        else:
            self._make_full(cache)
        self.real_kinds = {}
        for path in self.real:
            kind = jpeg_kind(path)
            self.real_kinds[kind] = self.real_kinds.get(kind, 0) + 1
        width, height = picture_size(self.camera[0])
        self.camera_megapixels = round(width * height / 1e6)

    def describe(self):
        """What the record says about the inputs."""
        megapixels = sorted(w * h / 1e6 for w, h in map(picture_size, self.real))
        kinds = ", ".join(f"{n} {kind}" for kind, n in sorted(self.real_kinds.items()))
        camera = picture_size(self.camera[0])
        edit = picture_size(self.edit_photo)
        if self.quick:
            origin = "pictures made by the run (a gradient with grain)"
            camera_origin = edit_origin = "made by the run"
        else:
            origin = f"photographs from the Debian packages {', '.join(self.packages())}"
            camera_origin = ("made from landscape photographs of the real set: filled into the "
                             "frame, luminance grain, 4:2:0, quality 92")
            edit_origin = "made the same way"
        return [
            f"import, real set: {len(self.real)} JPEGs of {megapixels[0]:.1f} to "
            f"{megapixels[-1]:.1f} megapixels ({kinds}), {origin}.",
            f"import, {self.camera_megapixels} MP set: {len(self.camera)} JPEGs of "
            f"{camera[0]}×{camera[1]} {camera_origin}.",
            f"edit: one {edit[0]}×{edit[1]} JPEG {edit_origin}; contrast, brightes, saturation, "
            "hue, a crop of 90 % and a quarter turn, written with its preview.",
            f"folder edit: {len(self.folder_photos)} photos of at most "
            f"{max(max(picture_size(p)) for p in self.folder_photos)} px, the same chain "
            "without the crop.",
            f"publish: an album of {self.album_photos} photos and one of "
            f"{self.large_album_photos}, each in one part (skin snakeeye), their "
            + ("big images and previews copies of the run's pictures." if self.quick else
               "big images (700 px) and previews (180 px) made from the real set and repeated."),
            f"xml: a photo list of {self.xml_photos} photos as the program writes it, every "
            "tenth photo named.",
        ]

    def packages(self):
        """The packages the real set came from, as package_version."""
        sources = os.path.join(os.path.dirname(self.real[0]), "SOURCES.txt")
        with open(sources) as f:
            debs = [line.strip() for line in f if line.strip().endswith(".deb")]
        return [deb.rsplit("_", 1)[0].replace("%3a", ":") for deb in debs]

    def _make_full(self, cache):
        self.real = fetch_real_photos(cache)
        # Landscape photos only, so that every 24-megapixel picture is 6000x4000.
        landscape = [p for p in self.real if picture_size(p)[0] > picture_size(p)[1]]
        self.camera = derived(cache, "camera24", landscape[:8],
                              lambda s, t, i: make_camera_like(s, t, 6000, 4000, i + 1))
        self.edit_photo = derived(cache, "edit12", landscape[8:9],
                                  lambda s, t, i: make_camera_like(s, t, 4240, 2832, 99))[0]
        self.folder_photos = derived(cache, "folder2mp", [self.real[i % len(self.real)]
                                                          for i in range(40)],
                                     lambda s, t, i: scaled_copy(s, t, 1600, 90))
        self.album_big = derived(cache, "album-big", self.real,
                                 lambda s, t, i: scaled_copy(s, t, 700, 100))
        self.album_preview = derived(cache, "album-preview", self.real,
                                     lambda s, t, i: scaled_copy(s, t, 180, 93))
        self.album_photos = 500
        self.large_album_photos = 5000
        self.xml_photos = 20000

    def _make_quick(self, cache):
        folder = os.path.join(cache, "quick")
        os.makedirs(folder, exist_ok=True)

        def made(name, width, height, seed):
            path = os.path.join(folder, name)
            if not os.path.exists(path):
                synthetic_photo(path, width, height, seed)
            return path

        # As few pictures as will do: making them is most of a quick run's
        # preparation.
        self.real = [made(f"real-{i}.jpg", 1200, 900, i) for i in range(4)]
        self.camera = [made(f"camera-{i}.jpg", 2000, 1500, 10 + i) for i in range(2)]
        self.edit_photo = self.real[0]
        self.folder_photos = self.real
        self.album_big = self.real
        self.album_preview = [made("preview.jpg", 180, 135, 40)]
        self.album_photos = 40
        self.large_album_photos = 400
        self.xml_photos = 2000


def photo_list_xml(count):
    """A photo list of `count` photos as the program writes them: every tenth
    photo has a name (with a character reference), the others an empty one."""
    parts = ['<?xml version="1.0" encoding="utf-8" ?><album mwidth="180" mheight="180" id="1">']
    for n in range(1, count + 1):
        name = f"<name>Sea &amp; sky {n}</name>" if n % 10 == 0 else "<name/>"
        parts.append(f"<photo><id>{n}</id>{name}<file>{n}.jpg</file>"
                     f"<w>180</w><h>{120 + n % 60}</h></photo>")
    parts.append("</album>")
    return "".join(parts)


def warm(paths):
    """Reads every file once, so that no run pays for the first disk read."""
    for path in paths:
        with open(path, "rb") as f:
            while f.read(1 << 20):
                pass
