"""Drives `lumireel --headless --pace 0` as the movie would: requests go in as
invoke lines, dialogs are answered ahead, and `sync` tells when every job has
ended. The process can run under /usr/bin/time -v, which reports its peak
resident memory when it ends."""
import json
import os
import queue
import re
import struct
import subprocess
import tempfile
import threading
from xml.sax.saxutils import escape

TIME = "/usr/bin/time"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class BenchError(RuntimeError):
    """A benchmark could not be run as intended (a peer failed, lumireel did
    not answer, an output is missing)."""


class Lumireel:
    def __init__(self, binary, workspace, measure_memory=False, timeout=900):
        self.timeout = timeout
        self.rss_file = None
        command = [binary, "--headless", "--pace", "0"]
        if measure_memory and os.access(TIME, os.X_OK):
            # Not in the workspace: the program empties its tmp folder.
            handle, self.rss_file = tempfile.mkstemp(prefix="lumireel-bench-time-")
            os.close(handle)
            command = [TIME, "-v", "-o", self.rss_file] + command
        self.proc = subprocess.Popen(command, cwd=workspace, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.tokens = 0

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line)
        self.lines.put(None)

    def send(self, message):
        self.proc.stdin.write(json.dumps(message) + "\n")
        self.proc.stdin.flush()

    def invoke(self, name, *args):
        strings = "".join(f"<string>{escape(str(a))}</string>" for a in args)
        self.send({"invoke": f'<invoke name="{name}" returntype="xml">'
                             f"<arguments>{strings}</arguments></invoke>"})

    def answer(self, answer):
        self.send({"answer": answer})

    def next_line(self):
        try:
            line = self.lines.get(timeout=self.timeout)
        except queue.Empty:
            raise BenchError(f"lumireel said nothing for {self.timeout} s") from None
        if line is None:
            raise BenchError(f"lumireel ended early (status {self.proc.wait()})")
        return json.loads(line)

    def sync(self):
        """Waits until every earlier line was handled and no job runs; returns
        the lines the program wrote meanwhile."""
        self.tokens += 1
        self.send({"sync": self.tokens})
        seen = []
        while True:
            message = self.next_line()
            if message.get("synced") == self.tokens:
                return seen
            if "messagebox" in message or "error" in message:
                raise BenchError(f"lumireel: {message}")
            seen.append(message)

    def close(self):
        """Ends the program as the system closing its window does; returns its
        peak resident memory in MiB when it ran under /usr/bin/time."""
        self.proc.stdin.close()
        self.proc.wait(timeout=self.timeout)
        self.reader.join()
        if self.rss_file is None:
            return None
        with open(self.rss_file) as f:
            report = f.read()
        os.unlink(self.rss_file)
        found = re.search(r"Maximum resident set size \(kbytes\): (\d+)", report)
        return int(found.group(1)) / 1024 if found else None


def started_session(binary, workspace, measure_memory=False):
    """A program that has finished starting up (movie loaded, root sent)."""
    session = Lumireel(binary, workspace, measure_memory)
    session.sync()
    return session


def build_lumireel(build_dir):
    """Builds lumireel in `build_dir` (configured first when it is not yet) and
    returns its path."""
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", REPO, "-B", build_dir, "-G", "Ninja",
                        "-DLUMIREEL_WERROR=ON"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "--target", "lumireel"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "lumireel")


def write_bmp(path, width=8, height=6):
    """A small 24-bit BMP: a picture the import renders in no time."""
    row = (width * 3 + 3) & ~3
    pixels = b"".join(bytes([40, 120, 200]) * width + b"\0" * (row - width * 3)
                      for _ in range(height))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)
