#!/usr/bin/env python3
"""Start-up and folder-open cost of large project folders, against the floor.

Makes wizard folders of 0 and N files in a scratch folder (default under /var/tmp), then runs,
interleaved, the floor (bench/floor_scan.c: readdir, a stat of each entry, a case-insensitive
sort) and one or more builds of bench/startup_bench.cpp under one Xvfb, and prints medians:

  extra cost = median(whole process at N files) - median(whole process at 0 files)

for wall and CPU time, their ratio to the floor's extra cost, the per-file cost against the
smallest size (linearity), the idle memory per listed file, and the cost of opening the N-file
folder in the folder list of a running wizard. Never run by CTest.

  bench/folder_scan_bench.py --driver main=/path/kvd_startup_bench --driver branch=/path/... \
      [--sizes 10000,100000,300000] [--reps 5] [--scratch /var/tmp]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(argv, env=None, cwd=None):
    """Runs argv to the end; returns (wall ms, CPU ms, {key: value} from its output)."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, cwd=cwd)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = (time.perf_counter() - start) * 1e3
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{argv[0]} failed with {proc.returncode}")
    values = {}
    for line in out.decode(errors="replace").splitlines():
        key, _, value = line.partition(" ")
        values[key] = value
    return wall, (usage.ru_utime + usage.ru_stime) * 1e3, values


def make_folder(path, count, rng):
    os.makedirs(path)
    # Mixed-case names, so that the case-insensitive order differs from the byte order.
    letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    names = set()
    while len(names) < count:
        names.add("".join(rng.choice(letters) for _ in range(rng.randint(6, 12))) + ".htm")
    for name in names:
        open(os.path.join(path, name), "wb").close()
    open(os.path.join(path, "kvd.cfg"), "wb").close()
    open(os.path.join(path, "index.htm"), "wb").close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--driver", action="append", required=True, help="NAME=path of kvd_startup_bench")
    parser.add_argument("--sizes", default="10000,100000,300000")
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--scratch", default="/var/tmp")
    args = parser.parse_args()
    drivers = [(name, os.path.abspath(path)) for name, path in (d.split("=", 1) for d in args.driver)]
    sizes = [int(s) for s in args.sizes.split(",")]

    scratch = tempfile.mkdtemp(prefix="kvd-scan-bench-", dir=args.scratch)
    xvfb = None
    try:
        floor = os.path.join(scratch, "floor_scan")
        subprocess.check_call(["cc", "-O2", "-o", floor, os.path.join(os.path.dirname(__file__), "floor_scan.c")])
        rng = random.Random(10)
        folders = {}
        for n in [0] + sizes:
            folders[n] = os.path.join(scratch, f"wizard-{n}")
            make_folder(folders[n], n, rng)
        # Xvfb picks a free display itself and writes its number to the pipe once it accepts clients.
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            sys.exit("Xvfb gave no display")
        display = ":" + number
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)

        samples = {}  # (program, n) -> list of (wall, cpu, values)
        opens = {}    # (driver, n) -> list of values
        programs = [("floor", None)] + drivers
        for _ in range(1):  # warm the caches: the page cache and the dentry cache of every folder
            for n in folders:
                for name, path in programs:
                    run([floor, folders[n]] if path is None else [path, folders[n]], env=env, cwd=scratch)
        for rep in range(args.reps):
            for n in [0] + sizes:
                order = programs if rep % 2 == 0 else list(reversed(programs))
                for name, path in order:
                    argv = [floor, folders[n]] if path is None else [path, folders[n]]
                    samples.setdefault((name, n), []).append(run(argv, env=env, cwd=scratch))
            for n in sizes:
                for name, path in drivers:
                    _, _, values = run([path, folders[0], "--open", folders[n]], env=env, cwd=scratch)
                    opens.setdefault((name, n), []).append(values)

        def med(name, n, what):
            rows = samples[(name, n)]
            return statistics.median(r[0] if what == "wall" else r[1] for r in rows)

        def medv(rows, key):
            return statistics.median(float(r[key]) for r in rows)

        print(f"# {args.reps} interleaved runs per cell, medians; scratch folder {scratch}")
        base_wall, base_cpu = med("floor", 0, "wall"), med("floor", 0, "cpu")
        print(f"# floor at 0 files: {base_wall:.1f} ms wall, {base_cpu:.1f} ms CPU")
        for name, _ in drivers:
            zero = samples[(name, 0)]
            print(f"\n## {name}: start-up at 0 files {med(name, 0, 'wall'):.0f} ms wall, "
                  f"{med(name, 0, 'cpu'):.0f} ms CPU")
            print("| N files | wizard extra wall | floor extra wall | ratio wall | wizard extra CPU | floor extra CPU "
                  "| ratio CPU | per-file vs first size (wall, CPU) | painted before scan | idle heap B/file "
                  "| idle RSS B/file |")
            print("|---|---|---|---|---|---|---|---|---|---|---|")
            first = None
            for n in sizes:
                ww = med(name, n, "wall") - med(name, 0, "wall")
                wc = med(name, n, "cpu") - med(name, 0, "cpu")
                fw = med("floor", n, "wall") - base_wall
                fc = med("floor", n, "cpu") - base_cpu
                if first is None:
                    first = (ww / n, wc / n)
                rows = [r[2] for r in samples[(name, n)]]
                heap = (medv(rows, "heap_bytes") - medv([r[2] for r in zero], "heap_bytes")) / n
                rss = (medv(rows, "rss_kb") - medv([r[2] for r in zero], "rss_kb")) * 1024 / n
                painted = sum(int(r["painted_before_scan"]) for r in rows)
                entries = {r["entries"] for r in rows}
                print(f"| {n:,} | {ww:.0f} ms | {fw:.0f} ms | {ww / fw:.2f} | {wc:.0f} ms | {fc:.0f} ms | "
                      f"{wc / fc:.2f} | {ww / n / first[0]:.2f}, {wc / n / first[1]:.2f} | {painted}/{len(rows)} | "
                      f"{heap:.0f} | {rss:.0f} |" + ("" if entries == {str(n + 2)} else f" entries {entries}"))
            print(f"\n{name}: opening the folder in the folder list of a running wizard (in-process)")
            print("| N files | open wall | floor extra wall | ratio wall | open CPU | floor extra CPU | ratio CPU |")
            print("|---|---|---|---|---|---|---|")
            for n in sizes:
                ow = medv(opens[(name, n)], "open_wall_ms")
                oc = medv(opens[(name, n)], "open_cpu_ms")
                fw = med("floor", n, "wall") - base_wall
                fc = med("floor", n, "cpu") - base_cpu
                print(f"| {n:,} | {ow:.0f} ms | {fw:.0f} ms | {ow / fw:.2f} | {oc:.0f} ms | {fc:.0f} ms "
                      f"| {oc / fc:.2f} |")
    finally:
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
