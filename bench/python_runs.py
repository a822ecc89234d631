"""What the Python module costs and gains, measured on the valley example:

- pool: four runs of valley_uniform.prj (10,000 cells, 3,600 steps) one
  after another as a user would run them (threads unset: every processor),
  and in a pool of two threads (threads unset: each run beside another takes
  one), with one thread each for comparison; the wall time of each way and
  its ratio to the first;
- memory: the resident size after the first of many short runs in one process
  and after the last, and how much it grew.

Run from the top of the repository, with the module built:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_runs.py [--runs 100]
"""

import argparse
import concurrent.futures
import os
import statistics
import tempfile
import time

import numpy

import torva

PROJECT = "examples/valley/valley_uniform.prj"


def resident_kib():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def four_runs(side_by_side, threads):
    """Wall time of four runs of the valley, one after another or in a pool of
    two threads, and their results."""
    def one(_):
        return torva.run(PROJECT, workdir=".", outputs=False, threads=threads)

    start = time.perf_counter()
    if side_by_side:
        with concurrent.futures.ThreadPoolExecutor(2) as executor:
            results = list(executor.map(one, range(4)))
    else:
        results = [one(k) for k in range(4)]
    return time.perf_counter() - start, results


def pool(rounds):
    """The ways of running four simulations, taken in turn `rounds` times;
    the median wall time of each. The baseline is the user's plain way: one
    run after another, each with its threads unset (every processor)."""
    ways = [("one after another, threads unset (baseline)", False, None),
            ("pool of 2, threads unset", True, None),
            ("one after another, 1 thread each", False, 1),
            ("pool of 2, 1 thread each", True, 1)]
    times = {name: [] for name, _, _ in ways}
    reference = None
    for _ in range(rounds):
        for name, side_by_side, threads in ways:
            seconds, results = four_runs(side_by_side, threads)
            times[name].append(seconds)
            if reference is None:
                reference = results
            for a, b in zip(reference, results):
                assert numpy.array_equal(a.discharge, b.discharge) and a.balance == b.balance
            print("  %-46s %6.2f s  (cell threads %s)" %
                  (name, seconds, ",".join(str(r.threads) for r in results)), flush=True)
    baseline = statistics.median(times[ways[0][0]])
    print("median of %d round%s (load average before: %s):" %
          (rounds, "s" if rounds > 1 else "", os.getloadavg()[0]))
    for name, _, _ in ways:
        median = statistics.median(times[name])
        print("  %-46s %6.2f s  ratio to baseline %.2f" % (name, median, median / baseline))


def memory(runs):
    # A short run: the valley for ten minutes.
    with open(PROJECT) as f:
        text = f.read().replace("TOT_TIME 120", "TOT_TIME 10")
    with tempfile.TemporaryDirectory() as folder:
        project = os.path.join(folder, "short.prj")
        with open(project, "w") as f:
            f.write(text)
        torva.run(project, workdir=".", outputs=False)
        first = resident_kib()
        for _ in range(runs - 1):
            torva.run(project, workdir=".", outputs=False)
        last = resident_kib()
    print("resident size after run 1: %d KiB, after run %d: %d KiB, grown %.2f %%" %
          (first, runs, last, 100.0 * (last - first) / first))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=100, help="runs of the memory check (100)")
    parser.add_argument("--rounds", type=int, default=1,
                        help="times each way of the pool check is taken (1)")
    args = parser.parse_args()
    pool(args.rounds)
    memory(args.runs)


if __name__ == "__main__":
    main()
