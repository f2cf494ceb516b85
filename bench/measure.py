#!/usr/bin/env python3
"""Times whole-process runs of marloc and GNU cpp on the generated inputs and
prints the table and the checks of the performance targets.

Called by bench/run.sh, which builds marloc and writes the inputs first:

    bench/measure.py --marloc build-bench/cli/marloc --small DIR --large DIR --files DIR --work DIR

Each run goes through /usr/bin/time -v for its peak memory (maximum resident
set size); the wall time is taken around it here. A size's time is the
median of its runs, its memory the largest peak seen.

Exit status: 0 when every run succeeded, whatever the figures; 1 when a run
failed (non-zero exit, missing success line, time limit).
"""

import argparse
import glob
import os
import statistics
import subprocess
import sys
import tempfile
import time

MB = 1000 * 1000
MIB = 1024 * 1024

# The targets the figures are checked against.
MIN_THROUGHPUT = 25.0  # MB/s
AIM_THROUGHPUT = 40.0  # MB/s
MIN_VS_CPP = 2.3
MAX_GROWTH = 11.0
MEMORY_FACTOR = 4
MEMORY_EXTRA = 16 * MIB
MIN_JOBS_SPEEDUP = 1.7

SUCCESS_LINE = b"Compile completed successfully"


class RunFailed(Exception):
    pass


def timed_run(command, cwd, timeout, expect_successes):
    """One run: (wall seconds, peak bytes)."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        start = time.perf_counter()
        try:
            done = subprocess.run(["/usr/bin/time", "-v", "-o", report.name] + command, cwd=cwd,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise RunFailed("%s: no result within %d s" % (" ".join(command[:3]), timeout))
        wall = time.perf_counter() - start
        peak_kib = None
        for line in report.read().splitlines():
            if "Maximum resident set size" in line:
                peak_kib = int(line.rsplit(":", 1)[1])
    if done.returncode != 0:
        raise RunFailed("%s exited with %d: %s" % (" ".join(command[:3]), done.returncode,
                                                   (done.stdout + done.stderr)[-400:].decode(errors="replace")))
    if expect_successes and done.stdout.count(SUCCESS_LINE) != expect_successes:
        raise RunFailed("%s: %d of %d files compiled: %s" % (" ".join(command[:3]), done.stdout.count(SUCCESS_LINE),
                                                              expect_successes,
                                                              done.stdout[-400:].decode(errors="replace")))
    if peak_kib is None:
        raise RunFailed("/usr/bin/time gave no maximum resident set size")
    return wall, peak_kib * 1024


def measure(command, runs, cwd, timeout, expect_successes=0):
    """(median wall seconds, largest peak bytes) over `runs` runs."""
    walls = []
    peaks = []
    for _ in range(runs):
        wall, peak = timed_run(command, cwd, timeout, expect_successes)
        walls.append(wall)
        peaks.append(peak)
    return statistics.median(walls), max(peaks)


def input_bytes(folder, main):
    """The bytes a compile of `main` reads: the unit and its headers."""
    return os.path.getsize(os.path.join(folder, main)) + sum(
        os.path.getsize(path) for path in glob.glob(os.path.join(folder, "*.h")))


def short_count(n):
    """100000 -> "100k", 1000000 -> "1M"."""
    if n % 1000000 == 0:
        return "%dM" % (n // 1000000)
    if n % 1000 == 0:
        return "%dk" % (n // 1000)
    return str(n)


def verdict(ok):
    return "PASS" if ok else "FAIL"


def main():
    parser = argparse.ArgumentParser(description="Times marloc against GNU cpp.")
    parser.add_argument("--marloc", required=True)
    parser.add_argument("--cpp", default="cpp")
    parser.add_argument("--small", required=True, help="folder of the 100k-line unit (main.bos)")
    parser.add_argument("--large", required=True, help="folder of the 1M-line unit (main.bos)")
    parser.add_argument("--files", required=True, help="folder of the units for the -j measurement")
    parser.add_argument("--work", required=True, help="scratch folder for the .cob files")
    parser.add_argument("--runs", type=int, default=5, help="runs per measurement (default 5)")
    parser.add_argument("--large-runs", type=int, default=3, help="runs on the 1M-line unit (default 3)")
    parser.add_argument("--timeout", type=int, default=600, help="seconds one run may take (default 600)")
    args = parser.parse_args()

    marloc = os.path.abspath(args.marloc)
    out_dir = os.path.join(os.path.abspath(args.work), "cob")
    os.makedirs(out_dir, exist_ok=True)
    # A neutral current folder: the preprocessor looks for an include file
    # there before it tries the include directories.
    cwd = os.path.abspath(args.work)

    rows = []
    try:
        for folder, runs in ((args.small, args.runs), (args.large, args.large_runs)):
            folder = os.path.abspath(folder)
            main_file = os.path.join(folder, "main.bos")
            size = input_bytes(folder, "main.bos")
            with open(main_file, "rb") as text:
                lines = sum(1 for _ in text)
            label = short_count(lines)
            print("timing %s (%d lines, %d bytes): marloc x%d, cpp x%d ..." % (label, lines, size, runs, runs),
                  file=sys.stderr, flush=True)
            m_time, m_peak = measure([marloc, "-I", folder, "-o", out_dir, main_file], runs, cwd, args.timeout, 1)
            c_time, c_peak = measure([args.cpp, "-P", "-undef", "-nostdinc", "-I", folder, main_file, "-o",
                                      os.devnull], runs, cwd, args.timeout)
            rows.append(dict(label=label, lines=lines, size=size, m_time=m_time, m_peak=m_peak, c_time=c_time,
                             c_peak=c_peak))

        files_dir = os.path.abspath(args.files)
        units = sorted(os.path.basename(p) for p in glob.glob(os.path.join(files_dir, "unit*.bos")))
        files_bytes = sum(os.path.getsize(os.path.join(files_dir, u)) for u in units)
        print("timing -j 1 and -j 2 over %d files, x%d each ..." % (len(units), args.runs), file=sys.stderr,
              flush=True)
        jobs = {}
        for n in (1, 2):
            jobs[n], _ = measure([marloc, "-j", str(n), "-I", files_dir, "-o", out_dir] + units, args.runs,
                                 files_dir, args.timeout, len(units))
    except RunFailed as failure:
        print("bench: run failed: %s" % failure, file=sys.stderr)
        return 1

    print()
    print("Whole-process runs (median wall time; peak = maximum resident set size):")
    print()
    header = ("input", "lines", "bytes", "marloc s", "MB/s", "peak MiB", "cpp s", "MB/s", "peak MiB")
    widths = (5, 8, 11, 8, 6, 8, 8, 6, 8)
    print("| " + " | ".join(h.ljust(w) if i == 0 else h.rjust(w) for i, (h, w) in enumerate(zip(header, widths)))
          + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        cells = (r["label"], "%d" % r["lines"], "%d" % r["size"], "%.3f" % r["m_time"],
                 "%.1f" % (r["size"] / MB / r["m_time"]), "%.1f" % (r["m_peak"] / MIB), "%.3f" % r["c_time"],
                 "%.1f" % (r["size"] / MB / r["c_time"]), "%.1f" % (r["c_peak"] / MIB))
        print("| " + " | ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(cells, widths)))
              + " |")
    print()
    print("marloc -j over %d files (%.1f MB): -j 1 %.3f s, -j 2 %.3f s" % (len(units), files_bytes / MB, jobs[1],
                                                                          jobs[2]))
    print()

    small, large = rows
    m_rate = large["size"] / MB / large["m_time"]
    c_rate = large["size"] / MB / large["c_time"]
    growth = large["m_time"] / small["m_time"]
    c_growth = large["c_time"] / small["c_time"]
    limit = MEMORY_FACTOR * large["size"] + MEMORY_EXTRA
    speedup = jobs[1] / jobs[2]
    checks = [
        (m_rate >= MIN_THROUGHPUT, "throughput on %s lines: %.1f MB/s (target >= %.0f MB/s, aim %.0f)" % (
            large["label"], m_rate, MIN_THROUGHPUT, AIM_THROUGHPUT)),
        (m_rate >= MIN_VS_CPP * c_rate, "vs cpp on %s lines: %.2fx cpp's %.1f MB/s (target >= %.1fx)" % (
            large["label"], m_rate / c_rate, c_rate, MIN_VS_CPP)),
        (growth <= MAX_GROWTH, "growth t(%s)/t(%s): %.2f (target <= %.0f; cpp: %.2f)" % (
            large["label"], small["label"], growth, MAX_GROWTH, c_growth)),
        (large["m_peak"] <= limit,
         "peak memory on %s lines: %.1f MiB = %.2fx input (target <= 4x input + 16 MiB = %.1f MiB; cpp: %.2fx input)"
         % (large["label"], large["m_peak"] / MIB, large["m_peak"] / large["size"], limit / MIB,
            large["c_peak"] / large["size"])),
        (speedup >= MIN_JOBS_SPEEDUP, "-j 2 vs -j 1 over %d files: %.2fx faster (target >= %.1fx)" % (
            len(units), speedup, MIN_JOBS_SPEEDUP)),
    ]
    for ok, text in checks:
        print("%s  %s" % (verdict(ok), text))
    print()
    print("%d of %d checks passed" % (sum(ok for ok, _ in checks), len(checks)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
