"""A sweep of Manning's n on the valley: the hillslopes' roughness (forest
and pasture alike) from 0.03 to 0.30, one simulation per value, run side by
side in a thread pool; then a plot of the outlet peak and its time against n.

Run from the top of the repository, with the module built:

    PYTHONPATH=build/python /usr/bin/python3 examples/python/sweep.py --plot sweep.png

Without --plot it prints the table only.
"""

import argparse
import concurrent.futures
import os

import numpy

import torva

PROJECT = "examples/python/valley_roughness.prj"


def peak(n):
    """One simulation with roughness n on every hillslope cell: the outlet
    peak (m3/s), the minute it came and the run's mass balance error."""
    result = torva.run(PROJECT, replace={"N_FOREST": n, "N_PASTURE": n}, workdir=".",
                       outputs=False, threads=1)
    k = int(numpy.argmax(result.discharge))
    return result.discharge[k], result.time_min[k], result.balance["Overall mass balance error"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--plot", help="the picture to write (png, pdf, ...)")
    parser.add_argument("--runs", type=int, default=10, help="values of n (10)")
    args = parser.parse_args()

    values = numpy.linspace(0.03, 0.30, args.runs)
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        peaks = list(pool.map(peak, values))
    print("   n     peak (m3/s)  at (min)  balance error (%)")
    for n, (q, t, error) in zip(values, peaks):
        print("%6.3f  %11.3f  %8.1f  %17.6f" % (n, q, t, error))
    if not args.plot:
        return

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, left = plt.subplots(figsize=(7, 4))
    left.plot(values, [p[0] for p in peaks], "o-", color="tab:blue")
    left.set_xlabel("Manning's n of the hillslopes")
    left.set_ylabel("outlet peak (m$^3$/s)", color="tab:blue")
    right = left.twinx()
    right.plot(values, [p[1] for p in peaks], "s--", color="tab:red")
    right.set_ylabel("time of the peak (min)", color="tab:red")
    left.set_title("The valley under 25 mm/h for 45 minutes")
    fig.tight_layout()
    fig.savefig(args.plot)
    print("wrote", args.plot)


if __name__ == "__main__":
    main()
