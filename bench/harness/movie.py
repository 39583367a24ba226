"""The interface movie on large albums (bench/movie_bench.js): the real movie
in Chromium against lumireel, its figures held against the movie's targets
in a table of its own, one column per album size."""
import json
import os
import shutil
import statistics
import subprocess

from .headless import BenchError

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (figure, what it measures, unit, target as (test, limit, text)); the
# figure's median is held against the target.
FIGURES = [
    ("first_load_ms", "first load (page to the library on show)", "ms", ("<", 1000, "< 1 s")),
    ("select_ms", "select a photo until drawn", "ms", ("<", 50, "< 50 ms")),
    ("select_requests", "preview requests per selection", "", ("==", 0, "0")),
    ("search_ms", "search until the finds are drawn", "ms", ("<", 100, "< 100 ms")),
    ("clear_ms", "clear the search until all are drawn", "ms", ("<", 100, "< 100 ms")),
    ("import_ms", "import of one photo (Add photos to reloadContent)", "ms", None),
    ("add_ms", "reloadContent until the grid shows the new photo", "ms",
     ("<", 300, "< 300 ms plus the import")),
    ("scroll_long_tasks", "tasks over 50 ms while scrolling top to bottom", "", ("==", 0, "0")),
    ("scroll_longest_ms", "longest such task", "ms", None),
    ("render_ms", "one full render of every view", "ms", None),
    ("dom_elements", "most DOM elements in the page", "", ("<", 3000, "< 3,000")),
]


def renditions_folder(scratch, bigs, previews):
    """A folder with big/ and preview/ as movie_bench.js takes its sources:
    big image n with preview n (the previews repeated when fewer)."""
    folder = os.path.join(scratch, "movie-renditions")
    shutil.rmtree(folder, ignore_errors=True)
    for sub in ["big", "preview"]:
        os.makedirs(os.path.join(folder, sub))
    for n, big in enumerate(bigs):
        name = f"{n + 1:03d}.jpg"
        shutil.copyfile(big, os.path.join(folder, "big", name))
        shutil.copyfile(previews[n % len(previews)], os.path.join(folder, "preview", name))
    return folder


def run_movie_bench(build_dir, scratch, inputs, runs, counts, albums):
    """Runs movie_bench.js on albums of each of `counts` photos among `albums`
    albums, the album's renditions taken from the run's album inputs.
    Returns its runs: [{photos, albums, figures}]."""
    binary = os.path.join(build_dir, "lumireel")
    movie = os.path.join(build_dir, "quillmarZEL.snt")
    if not os.path.exists(movie):
        raise BenchError(f"{movie} is missing (the lumireel_movie target builds it)")
    sources = renditions_folder(scratch, inputs.album_big, inputs.album_preview)
    command = ["node", os.path.join(HERE, "movie_bench.js"), os.path.abspath(binary),
               os.path.abspath(movie), sources, scratch, str(runs),
               ",".join(str(c) for c in counts), str(albums), str(len(inputs.album_big))]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise BenchError(f"movie_bench.js: {result.stderr.strip()[-600:]}")
    return json.loads(result.stdout.strip().splitlines()[-1])["runs"]


def value_text(value, unit):
    if unit == "ms":
        return f"{value:.0f} ms" if value < 1000 else f"{value / 1000:.2f} s"
    return f"{value:g}"


def met(value, target):
    test, limit, _ = target
    return value < limit if test == "<" else value == limit


def markdown(runs):
    """The table: one row per figure, the median (min – max) per album size,
    the target and whether the largest album meets it."""
    heads = [f"{r['photos']} photos, {r['albums']} albums" for r in runs]
    lines = ["| figure | " + " | ".join(heads) + " | target | met |",
             "|---" * (len(heads) + 3) + "|"]
    judged = hits = 0
    for name, label, unit, target in FIGURES:
        cells = []
        for r in runs:
            values = r["figures"].get(name, [])
            if not values:
                cells.append("-")
                continue
            median = statistics.median(values)
            spread = (f" ({value_text(min(values), unit)} – {value_text(max(values), unit)})"
                      if len(values) > 1 else "")
            cells.append(value_text(median, unit) + spread)
        verdict = "-"
        last = runs[-1]["figures"].get(name) if runs else None
        if target and last:
            judged += 1
            ok = all(met(statistics.median(r["figures"][name]), target)
                     for r in runs if r["figures"].get(name))
            hits += ok
            verdict = "yes" if ok else "NO"
        lines.append(f"| {label} | " + " | ".join(cells) +
                     f" | {target[2] if target else '(for information)'} | {verdict} |")
    return lines, hits, judged


def section(runs, runs_each, quick):
    """The record's section on the movie."""
    lines, hits, judged = markdown(runs)
    return ["## The interface movie on large albums" + (" (quick run)" if quick else ""), "",
            "bench/movie_bench.js: the real movie in Chromium against `lumireel --headless "
            "--pace 0`, through the browser tests' harness, on a workspace of one large album "
            "in one photo folder (keywords on every photo, a caption on every seventh) among "
            "the albums of the catalogue. Each figure is the median over the runs, with the "
            f"smallest and largest value in brackets ({runs_each} first loads, "
            f"{runs_each * 4} selections, {runs_each * 2} searches, {runs_each} added photos). "
            "`met` holds every album size against the target.", "",
            ] + lines + ["", f"{hits} of {judged} movie targets met.", ""]
