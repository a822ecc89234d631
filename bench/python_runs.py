"""What the Python module costs and gains, measured on the valley example:

- pool: four runs of valley_uniform.prj (10,000 cells, 3,600 steps) one
  after another and in a pool of two threads; the wall time of each way and
  their ratio;
- memory: the resident size after the first of many short runs in one process
  and after the last, and how much it grew.

Run from the top of the repository, with the module built:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_runs.py [--runs 100]
"""

import argparse
import concurrent.futures
import os
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


def pool(threads_alone):
    def one(_):
        return torva.run(PROJECT, workdir=".", outputs=False, threads=1)

    start = time.perf_counter()
    alone = [torva.run(PROJECT, workdir=".", outputs=False, threads=threads_alone)
             for _ in range(4)]
    sequential = time.perf_counter() - start
    start = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(2) as executor:
        pooled = list(executor.map(one, range(4)))
    side_by_side = time.perf_counter() - start
    for a, b in zip(alone, pooled):
        assert numpy.array_equal(a.discharge, b.discharge) and a.balance == b.balance
    print("4 runs one after another (%d cell thread%s each): %6.2f s" %
          (threads_alone, "s" if threads_alone > 1 else "", sequential))
    print("4 runs in a pool of 2 threads (1 cell thread each): %6.2f s  ratio %.2f" %
          (side_by_side, side_by_side / sequential))


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
    args = parser.parse_args()
    pool(1)
    pool(2)
    memory(args.runs)


if __name__ == "__main__":
    main()
