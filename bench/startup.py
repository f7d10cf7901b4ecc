#!/usr/bin/env python3
"""Start-up of the fndl tool beside fc-match.

A one-line `fndl print` by family name is timed beside `fc-match` for the same family, which
loads fontconfig's configuration and font caches once and asks one question. Each repetition
runs every program once, in turn, so that all of them meet the same machine state; the medians
of the wall-clock time and of the processor time (user + system) are printed, with each
program's ratio to fc-match.

Usage: bench/startup.py [--family NAME] [--runs N] FNDL [FNDL...]
(for instance build/release/tools/fndl beside an older build's).
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time


def timed(argv, fresh=None):
    """Wall-clock and processor milliseconds of one run of argv; its output is discarded.

    fresh: a file removed first, untimed: a job goes to a new file, as a printing system's
    does, not over the last one (the file system's work to truncate it is no start-up)."""
    if fresh and os.path.exists(fresh):
        os.unlink(fresh)
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"failed ({child.returncode}): {' '.join(argv)}")
    return wall * 1000, (usage.ru_utime + usage.ru_stime) * 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("fndl", nargs="+", help="fndl programs to time")
    parser.add_argument("--family", default="DejaVu Sans")
    parser.add_argument("--runs", type=int, default=41)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        line = os.path.join(work, "line.txt")
        with open(line, "w", encoding="utf-8") as out:
            out.write("Hello, world.\n")
        job = os.path.join(work, "job.pxl")
        programs = [("fc-match", ["fc-match", args.family])]
        programs += [(f"{fndl} print", [fndl, "print", "--face", args.family, "-o", job, line])
                     for fndl in args.fndl]
        # One round first: the first run of each reads its files from disk.
        for _, argv in programs:
            timed(argv, job)
        samples = {name: [] for name, _ in programs}
        for _ in range(args.runs):
            for name, argv in programs:
                samples[name].append(timed(argv, job))

    def medians(name):
        return (statistics.median(s[0] for s in samples[name]),
                statistics.median(s[1] for s in samples[name]))

    wall0, cpu0 = medians("fc-match")
    print(f"{'':48} {'wall ms':>9} {'ratio':>6} {'cpu ms':>9} {'ratio':>6}")
    for name, _ in programs:
        wall, cpu = medians(name)
        shown = name if len(name) <= 48 else "..." + name[-45:]
        print(f"{shown:48} {wall:9.2f} {wall / wall0:5.2f}x {cpu:9.2f} {cpu / cpu0:5.2f}x")
    fonts = subprocess.run(["fc-list"], capture_output=True, text=True, check=True).stdout
    print(f"medians of {args.runs} interleaved runs, family \"{args.family}\", "
          f"{len(fonts.splitlines())} fonts installed, load average {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main()
