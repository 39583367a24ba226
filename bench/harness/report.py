"""Turns the measured seconds into the table of ratios, the Markdown record
and the plot of throughput per method."""
import os
import shutil
import statistics
import subprocess
import tempfile


class Row:
    """One line of the table: a figure computed run by run from two methods
    of one benchmark, and the target it is held against.

    kind "speed-up": peer seconds / lumireel seconds (higher is better);
    kind "share": the same, as a percentage of the peer's pace;
    kind "time": lumireel seconds / peer seconds (lower is better);
    kind "over": lumireel milliseconds minus the peer's (lower is better).
    """

    def __init__(self, label, benchmark, ours, peer, kind, target):
        self.label = label
        self.benchmark = benchmark
        self.ours = ours
        self.peer = peer
        self.kind = kind
        self.target = target
        self.values = []
        self.ours_median = None
        self.peer_median = None

    def compute(self, times):
        ours, peer = times[self.ours], times[self.peer]
        self.ours_median = statistics.median(ours)
        self.peer_median = statistics.median(peer)
        for a, b in zip(ours, peer):
            if self.kind in ("speed-up", "share"):
                self.values.append(b / a)
            elif self.kind == "time":
                self.values.append(a / b)
            else:
                self.values.append((a - b) * 1000)

    @property
    def median(self):
        return statistics.median(self.values)

    def met(self):
        """True or False against the target; None for a row shown for
        information only."""
        if self.target is None:
            return None
        if self.kind in ("speed-up", "share"):
            return self.median >= self.target
        return self.median <= self.target if self.kind == "time" else self.median < self.target

    def show(self, value):
        if self.kind == "speed-up":
            return f"{value:.2f}×"
        if self.kind == "share":
            return f"{value * 100:.0f} %"
        if self.kind == "time":
            return f"{value:.2f}×"
        return f"{value:+.1f} ms"

    def figure(self):
        return f"{self.show(self.median)} ({self.show(min(self.values))} – " \
               f"{self.show(max(self.values))})"

    def target_text(self):
        if self.target is None:
            return "(for information)"
        if self.kind == "speed-up":
            return f"≥ {self.target:g}× faster"
        if self.kind == "share":
            return f"≥ {self.target * 100:.0f} % of its pace"
        if self.kind == "time":
            return f"≤ {self.target:g}× its time"
        return f"< {self.target:g} ms over it"


def seconds_text(value):
    return f"{value * 1000:.1f} ms" if value < 1 else f"{value:.2f} s"


def table(rows, memory_rows):
    header = ["benchmark", "lumireel (median)", "peer", "peer (median)",
              "figure: median (min – max)", "target", "met"]
    lines = [header]
    for row in rows:
        lines.append([row.label, seconds_text(row.ours_median), row.peer,
                      seconds_text(row.peer_median), row.figure(), row.target_text(),
                      {True: "yes", False: "NO", None: "-"}[row.met()]])
    for label, value, limit in memory_rows:
        lines.append([label, f"{value:.0f} MiB", "-", "-", f"{value:.0f} MiB peak RSS",
                      f"< {limit} MiB", "yes" if value < limit else "NO"])
    return lines


def markdown(lines):
    out = ["| " + " | ".join(lines[0]) + " |", "|" + "---|" * len(lines[0])]
    out += ["| " + " | ".join(line) + " |" for line in lines[1:]]
    return "\n".join(out)


def plain(lines):
    widths = [max(len(line[i]) for line in lines) for i in range(len(lines[0]))]
    text = []
    for n, line in enumerate(lines):
        text.append("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(line)).rstrip())
        if n == 0:
            text.append("  ".join("-" * w for w in widths))
    return "\n".join(text)


def plot(panels, path):
    """Draws one bar chart per benchmark: items per second of each method
    (lumireel first, in its own colour), median with the range of the runs. panels: [(title, unit, [(method,
    [items per second of each run])])]. False when gnuplot is missing."""
    gnuplot = shutil.which("gnuplot")
    if gnuplot is None:
        return False
    with tempfile.TemporaryDirectory(prefix="lumireel-bench-plot-") as scratch:
        columns = 2
        rows = (len(panels) + columns - 1) // columns
        script = [f"set terminal pngcairo size 1200,{300 * rows} font 'DejaVu Sans,9'",
                  f"set output '{path}'",
                  f"set multiplot layout {rows},{columns} title "
                  "'Throughput per method: lumireel green, peers blue (median of the runs, whiskers from min to max)'",
                  "set style fill solid 0.7 border -1", "set boxwidth 0.6",
                  "set grid ytics", "unset key", "set xtics nomirror",
                  "set ytics nomirror"]
        for n, (title, unit, methods) in enumerate(panels):
            data = os.path.join(scratch, f"panel{n}.dat")
            medians = []
            with open(data, "w") as f:
                for i, (method, ours, rates) in enumerate(methods):
                    medians.append(statistics.median(rates))
                    f.write(f'{i} "{method}" {medians[-1]:.6g} {min(rates):.6g} '
                            f"{max(rates):.6g} {2 if ours else 3}\n")
            # Rates far apart are drawn on a log scale, so that both show.
            spread = max(medians) / max(min(medians), 1e-12) > 20
            script += [f"set title '{title}'", f"set ylabel '{unit} per second'",
                       "set logscale y" if spread else "unset logscale y",
                       "set yrange [*:*]" if spread else "set yrange [0:*]",
                       f"set xrange [-0.6:{len(methods) - 0.4}]",
                       f"plot '{data}' using 1:3:6:xtic(2) with boxes linecolor variable, "
                       f"'' using 1:3:4:5 with yerrorbars linecolor rgb 'black' pointtype 0"]
        script.append("unset multiplot")
        subprocess.run([gnuplot], input="\n".join(script), text=True, check=True,
                       stdout=subprocess.DEVNULL)
    return True
