"""The program's window on a virtual X server: from process start to the
movie's first request and to its first screen painted, against /bin/true.

`lumireel` is started without options in the workspace, as the launcher
starts it, so the time includes its hand-over to `lumireel-desktop`, GTK and
WebKit starting, the window being shown, the movie page loading and running
its script, and setGlobPath reaching it. The movie's first act on setGlobPath
is to read its settings file (quillmaralbumsettings/lumireel-movie.xml)
through the program; the program opening that file, seen with inotify, ends
the first figure. The server's screen (kept in a file, Xvfb -fbdir) is
then read every 10 ms until it has stayed the same for half a second and
shows the movie (see painted()); its last change is the second figure: the
movie's first screen painted, texts and all."""
import ctypes
import os
import select
import shutil
import struct
import subprocess
import tempfile
import time

from .benchmarks import measure, true_start
from .headless import BenchError

IN_OPEN = 0x20
SETTINGS_FOLDER = "quillmaralbumsettings"
SETTINGS_FILE = "lumireel-movie.xml"
TIMEOUT = 60
QUIET = 0.5


class OpenWatch:
    """Tells when a file of one folder is opened (inotify IN_OPEN)."""

    def __init__(self, folder):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_CLOEXEC | os.O_NONBLOCK)
        if self.fd < 0 or self.libc.inotify_add_watch(self.fd, os.fsencode(folder), IN_OPEN) < 0:
            raise BenchError(f"inotify on {folder}: {os.strerror(ctypes.get_errno())}")

    def wait(self, name, proc, timeout):
        """The perf_counter time at which `name` was opened; fails when
        `proc` ends first or after `timeout` seconds."""
        deadline = time.perf_counter() + timeout
        while time.perf_counter() < deadline:
            if proc.poll() is not None:
                raise BenchError(f"the desktop program ended early (status {proc.returncode})")
            ready, _, _ = select.select([self.fd], [], [], 0.5)
            if not ready:
                continue
            seen = time.perf_counter()
            data = os.read(self.fd, 65536)
            while data:
                _, _, _, length = struct.unpack_from("iIII", data)
                event_name = data[16:16 + length].rstrip(b"\0").decode(errors="replace")
                data = data[16 + length:]
                if event_name == name:
                    return seen
        raise BenchError(f"the movie did not ask for {name} within {timeout} s")

    def close(self):
        os.close(self.fd)


def start_xvfb(framebuffer):
    """A virtual X server of its own whose screen is kept as an XWD file in
    the folder `framebuffer`: (process, display)."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                               "1280x1024x24", "-fbdir", framebuffer, "-nolisten", "tcp"],
                              pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    os.close(write_end)
    # The number and its newline may come in two writes; the server ends
    # when it cannot write the second.
    said = b""
    while not said.endswith(b"\n") and select.select([read_end], [], [], 30)[0]:
        more = os.read(read_end, 64)
        if not more:
            break
        said += more
    os.close(read_end)
    number = said.decode().strip()
    if not number:
        server.kill()
        raise BenchError("Xvfb did not start")
    return server, f":{number}"


def screen(framebuffer):
    """The server's screen as XWD bytes, and where its pixels begin."""
    with open(os.path.join(framebuffer, "Xvfb_screen0"), "rb") as f:
        data = f.read()
    header = struct.unpack_from(">25I", data)
    if header[11] != 32:
        raise BenchError(f"Xvfb's screen has {header[11]} bits per pixel")
    return data, header[0] + header[19] * 12, header[12]


def painted(data, pixels, bytes_per_line):
    """True when the window's movie area (the window stands at 0, 30 and
    fills the screen's width) shows three colours or more, where a window not
    yet shown or a blank page is one flat colour: every 8th pixel of every
    8th row."""
    seen = set()
    for y in range(60, 960, 8):
        row = pixels + y * bytes_per_line
        for x in range(40, 1240, 8):
            seen.add(data[row + 4 * x:row + 4 * x + 3])
        if len(seen) >= 3:
            return True
    return False


def settled(framebuffer, proc):
    """The perf_counter time of the screen's last change before it stayed
    the same for QUIET seconds, showing the movie painted: the movie's
    first screen is complete, its texts in place."""
    last, changed = None, time.perf_counter()
    deadline = changed + TIMEOUT
    while time.perf_counter() < deadline:
        if proc.poll() is not None:
            raise BenchError(f"the desktop program ended early (status {proc.returncode})")
        now = time.perf_counter()
        data, pixels, bytes_per_line = screen(framebuffer)
        if data != last:
            last, changed = data, now
        elif now - changed >= QUIET and painted(data, pixels, bytes_per_line):
            return changed
        time.sleep(0.01)
    raise BenchError(f"the desktop window showed no settled movie within {TIMEOUT} s")


def missing_tools():
    return [] if shutil.which("Xvfb") else ["Xvfb"]


def desktop_benchmark(ctx):
    """Seconds of each run: lumireel to the movie's first request and to its
    first screen painted, /bin/true."""
    binary = ctx.programs["lumireel"]
    settings = os.path.join(ctx.workspace, SETTINGS_FOLDER, SETTINGS_FILE)
    with open(settings, "w") as f:
        f.write('<movie lang="en" />\n')
    home = tempfile.mkdtemp(prefix="desktop-home-", dir=ctx.scratch)
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, mode=0o700)
    framebuffer = os.path.join(home, "screen")
    os.makedirs(framebuffer)
    server, display = start_xvfb(framebuffer)
    # WebKit keeps its caches under the home folder; no session bus or
    # accessibility bus is there.
    env = dict(os.environ, DISPLAY=display, HOME=home, XDG_RUNTIME_DIR=runtime, NO_AT_BRIDGE="1",
               GSETTINGS_BACKEND="memory")
    env.pop("WAYLAND_DISPLAY", None)

    def window():
        watch = OpenWatch(os.path.dirname(settings))
        start = time.perf_counter()
        log = open(os.path.join(home, "program.log"), "w+")
        proc = subprocess.Popen([binary], cwd=ctx.workspace, env=env, stdin=subprocess.DEVNULL,
                                stdout=log, stderr=log)
        try:
            try:
                seconds = watch.wait(SETTINGS_FILE, proc, TIMEOUT) - start
            except BenchError as error:
                log.seek(0)
                raise BenchError(f"{error}: {log.read()[-400:].strip()}") from None
            return {"lumireel": seconds, "lumireel, painted": settled(framebuffer, proc) - start}
        finally:
            watch.close()
            proc.terminate()
            proc.wait()
            log.close()

    try:
        window()  # WebKit's first start in a fresh home makes its caches: not counted
        return measure([("lumireel", window), ("/bin/true", true_start)], ctx.runs)
    finally:
        server.terminate()
        server.wait()
        os.unlink(settings)
