#!/usr/bin/python3
"""Turns the raw figures of scripts/bench into its table and chart.

  report.py OUT_DIR

Reads OUT_DIR/raw.tsv (one line per measured run), prints the table (median
wall time, rows per second, peak resident memory, ratios to the reference of
the same run kind, engine and size, processor time of the client), writes it as OUT_DIR/table.md, and draws
OUT_DIR/benchmarks.png with gnuplot when gnuplot is installed.
"""
import collections
import os
import shutil
import statistics
import subprocess
import sys

UNITS = {"stock": "PROGMAG rows", "prices": "articles", "promo": "pairs",
         "start-to-choice": "-"}
ORDER = {"stock": 0, "prices": 1, "promo": 2, "start-to-choice": 3}
PROGRAMS = {"exporttotale": 0, "reference": 1, "isql": 2}
# Ours solid, its reference dashed, isql dotted; one colour per engine.
STYLES = {"exporttotale": "dt 1 pt 7", "reference": "dt 2 pt 6", "isql": "dt 3 pt 4"}
COLOURS = {"embedded": "#1f5fbf", "server": "#c0392b"}


def main():
    out = sys.argv[1]
    runs = collections.defaultdict(list)
    with open(os.path.join(out, "raw.tsv")) as f:
        next(f)
        for line in f:
            kind, engine, size, program, _, seconds, kib, cpu = line.rstrip("\n").split("\t")
            runs[(kind, engine, int(size), program)].append((float(seconds), int(kib), float(cpu)))

    rows = []
    for key, samples in runs.items():
        seconds = statistics.median(s for s, _, _ in samples)
        mib = max(k for _, k, _ in samples) / 1024
        cpu = statistics.median(c for _, _, c in samples)
        rows.append((key, seconds, mib, cpu))
    rows.sort(key=lambda r: (ORDER[r[0][0]], r[0][1], r[0][2], PROGRAMS[r[0][3]]))
    medians = {key: (s, m) for key, s, m, _ in rows}

    header = ("| run | engine | size | unit | program | median s | rows/s | peak MiB "
              "| time / reference | memory / reference | client CPU s |")
    lines = [header, "|" + "---|" * 11]
    for (kind, engine, size, program), seconds, mib, cpu in rows:
        ref = medians.get((kind, engine, size, "reference"))
        ratio_t = "%.2f" % (seconds / ref[0]) if ref else "-"
        ratio_m = "%.2f" % (mib / ref[1]) if ref else "-"
        rate = "%.0f" % (size / seconds) if size else "-"
        lines.append("| %s | %s | %s | %s | %s | %.3f | %s | %.1f | %s | %s | %.2f |" % (
            kind, engine, size if size else "-", UNITS[kind], program, seconds, rate, mib,
            ratio_t, ratio_m, cpu))
    table = "\n".join(lines)
    print(table)
    with open(os.path.join(out, "table.md"), "w") as f:
        f.write(table + "\n")
    chart(out, rows)


def chart(out, rows):
    if not shutil.which("gnuplot"):
        print("report: gnuplot is not installed; no chart", file=sys.stderr)
        return
    series = collections.defaultdict(list)
    for (kind, engine, size, program), seconds, mib, _ in rows:
        if kind == "start-to-choice":
            continue
        series[(kind, engine, program)].append((size, seconds, mib))
    kinds = [k for k in ("stock", "prices", "promo") if any(s[0] == k for s in series)]
    script = ['set terminal pngcairo size 1200,%d font ",10"' % (330 * len(kinds)),
              'set output "%s"' % os.path.join(out, "benchmarks.png"),
              "set multiplot layout %d,2" % len(kinds),
              "set logscale xy", "set key top left", "set grid",
              "set style data linespoints"]
    for kind in kinds:
        sizes = sorted({p[0] for key, pts in series.items() if key[0] == kind for p in pts})
        script.append("set xrange [%g:%g]" % (sizes[0] / 2, sizes[-1] * 2))
        script.append('set xlabel "%s"' % UNITS[kind])
        for column, label in ((1, "wall time (s, median)"), (2, "peak resident memory (MiB)")):
            script.append('set title "%s run: %s"' % (kind, label))
            plots = []
            for (k, engine, program), pts in sorted(series.items()):
                if k != kind:
                    continue
                name = "%s-%s-%s.dat" % (k, engine, program)
                with open(os.path.join(out, name), "w") as f:
                    for p in sorted(pts):
                        f.write("%d %.6f %.3f\n" % p)
                style = STYLES[program] + ' lc rgb "%s"' % COLOURS[engine]
                plots.append('"%s" using 1:%d title "%s, %s" %s lw 2' % (
                    os.path.join(out, name), column + 1, program, engine, style))
            script.append("plot " + ", ".join(plots))
    script.append("unset multiplot")
    subprocess.run(["gnuplot"], input="\n".join(script) + "\n", text=True, check=True)


if __name__ == "__main__":
    main()
