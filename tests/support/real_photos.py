#!/usr/bin/env python3
"""Real photographs for the browser and end-to-end tests.

The photographs come from Debian's wallpaper packages: fetched once with
`apt-get download` and unpacked with `dpkg-deb -x` into a cache folder
(nothing is installed). Every regular JPEG of those packages is taken except
the small screenshots; links inside the packages are left out. Landscape and
portrait photographs are both among them.

Usage: real_photos.py DEST COUNT [--box PIXELS] [--cache FOLDER]

Writes COUNT photographs into DEST as 0001-<name>.jpg, 0002-..., each scaled
to fit a box of PIXELS (default 1600) so that tests import them quickly. With
more photographs asked for than the packages hold, the list starts again
with copies of the ones already scaled (the names stay unique). Prints the number written. Exit status 1 with a
message when the packages cannot be fetched.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

PACKAGES = ["lomiri-wallpapers-16.04", "lomiri-wallpapers-20.04", "mate-backgrounds",
            "plasma-workspace-wallpapers"]
MIN_BYTES = 60_000  # the packages' screenshots and icons are smaller
DEFAULT_CACHE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench",
                             ".cache", "wallpapers")


class FetchError(Exception):
    pass


def run(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            **kwargs)
    if result.returncode != 0:
        raise FetchError(f"{' '.join(command[:3])}: {result.stderr.strip()[:400]}")
    return result.stdout


def unpacked(cache):
    """The cache folder with every package unpacked below it, fetched once."""
    done = os.path.join(cache, "DONE")
    if os.path.exists(done):
        return cache
    os.makedirs(cache, exist_ok=True)
    staging = tempfile.mkdtemp(prefix="debs-", dir=cache)
    try:
        for package in PACKAGES:
            target = os.path.join(cache, package)
            if os.path.isdir(target):
                continue
            try:
                run(["apt-get", "download", package], cwd=staging)
            except FetchError as error:
                raise FetchError(f"{error} (are the package lists there? apt-get update)") from None
            deb = glob.glob(os.path.join(staging, f"{package}_*.deb"))[0]
            run(["dpkg-deb", "-x", deb, target + ".part"])
            os.replace(target + ".part", target)
        with open(done, "w") as f:
            f.write("\n".join(PACKAGES) + "\n")
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    return cache


def short_name(path):
    """A wallpaper's name: its file name, or for wallpapers stored as
    <name>/contents/images/<W>x<H>.jpg its folder name, with "-portrait" for
    the upright cut."""
    parts = path.split(os.sep)
    if len(parts) >= 4 and parts[-3] == "contents":
        size = os.path.splitext(parts[-1])[0].split("x")
        upright = len(size) == 2 and size[0].isdigit() and size[1].isdigit() and \
            int(size[0]) < int(size[1])
        return parts[-4] + ("-portrait" if upright else "")
    return re.sub(r"_\d+x\d+$", "", os.path.splitext(parts[-1])[0])


def photographs(cache):
    """One file of every photograph the packages hold, in a fixed order:
    regular JPEGs above MIN_BYTES, the previews and dark variants left out,
    one size of each picture."""
    root = unpacked(cache)
    found = {}
    for package in PACKAGES:
        for folder, _, files in sorted(os.walk(os.path.join(root, package))):
            for name in sorted(files):
                path = os.path.join(folder, name)
                if (not name.lower().endswith((".jpg", ".jpeg")) or os.path.islink(path)
                        or name == "screenshot.jpg" or folder.endswith("images_dark")
                        or os.path.getsize(path) < MIN_BYTES):
                    continue
                found.setdefault(short_name(path), path)
    return [found[key] for key in sorted(found)]


def write_photos(dest, count, box, cache=DEFAULT_CACHE):
    """Writes `count` photographs into `dest`; returns their paths."""
    sources = photographs(os.path.abspath(cache))
    if not sources:
        raise FetchError("the wallpaper packages hold no photograph")
    os.makedirs(dest, exist_ok=True)
    written = []
    for index in range(count):
        source = sources[index % len(sources)]
        target = os.path.join(dest, f"{index + 1:04d}-{short_name(source)}.jpg")
        if not os.path.exists(target):
            partial = target + ".part.jpg"
            if index < len(sources):
                run(["vipsthumbnail", source, "--size", f"{box}x{box}", "-o",
                     os.path.abspath(partial) + "[Q=85,strip]"])
            else:  # a repeat: a copy of the photograph already scaled
                shutil.copyfile(written[index % len(sources)], partial)
            os.replace(partial, target)
        written.append(target)
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dest")
    parser.add_argument("count", type=int)
    parser.add_argument("--box", type=int, default=1600)
    parser.add_argument("--cache", default=os.environ.get("LUMIREEL_PHOTO_CACHE", DEFAULT_CACHE))
    args = parser.parse_args()
    try:
        written = write_photos(args.dest, args.count, args.box, args.cache)
    except FetchError as error:
        print(f"real_photos: {error}", file=sys.stderr)
        return 1
    print(len(written))
    return 0


if __name__ == "__main__":
    sys.exit(main())
