#!/usr/bin/env python3
"""Draws a calibration of TORVA: the best run's outlet hydrograph against the
observed one, with its Nash-Sutcliffe, log Nash-Sutcliffe and Kling-Gupta
efficiencies and its percent bias, and the best and worst criterion of every
loop of the search.

    python3 tools/plot_calibration.py --simulated 0000_out.otl \\
        --observed observed_q.txt --search sce_output.dat --output calibration.png

The measures are those the search uses (see the README's Calibration
section): the simulated discharge is taken at each observed time on the
straight line between its rows, and observed times after the run are left
out.
"""

import argparse
import math
import sys


def read_series(path):
    """The first two numbers of every line (minutes, m3/s); other lines are skipped."""
    times, values = [], []
    with open(path) as f:
        for line in f:
            words = line.replace(",", " ").split()
            if len(words) < 2 or line.lstrip().startswith("#"):
                continue
            try:
                t, q = float(words[0]), float(words[1])
            except ValueError:
                continue
            times.append(t)
            values.append(q)
    return times, values


def read_search(path):
    """(loop, evaluations, best, worst) of every loop line of sce_output.dat."""
    loops = []
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) != 6:
                continue
            try:
                loop, evaluations, _ = (int(w) for w in words[:3])
                best, worst = float(words[3]), float(words[4])
            except ValueError:
                continue
            loops.append((loop, evaluations, best, worst))
    return loops


def simulated_at(times, sim_t, sim_q):
    paired = []
    k = 0
    for t in times:
        if not sim_t or t > sim_t[-1] + 1e-9:
            break
        while k + 1 < len(sim_t) and sim_t[k + 1] < t:
            k += 1
        if t <= sim_t[0]:
            paired.append(sim_q[0])
        elif k + 1 < len(sim_t):
            share = (t - sim_t[k]) / (sim_t[k + 1] - sim_t[k])
            paired.append(sim_q[k] + share * (sim_q[k + 1] - sim_q[k]))
        else:
            paired.append(sim_q[k])
    return paired


def nash_sutcliffe(o, s):
    mean = sum(o) / len(o)
    spread = sum((x - mean) ** 2 for x in o)
    errors = sum((b - a) ** 2 for a, b in zip(o, s))
    return 1.0 - errors / spread if spread > 0 else float("nan")


def measures(o, s):
    """NSE, log NSE, KGE and PBIAS (%) of s against o."""
    n = len(o)
    mean_o, mean_s = sum(o) / n, sum(s) / n
    eps = 0.01 * mean_o
    nse = nash_sutcliffe(o, s)
    log_nse = nash_sutcliffe([math.log(x + eps) for x in o],
                             [math.log(max(x, 0.0) + eps) for x in s]) if mean_o > 0 else float("nan")
    var_o = sum((x - mean_o) ** 2 for x in o)
    var_s = sum((x - mean_s) ** 2 for x in s)
    cov = sum((a - mean_o) * (b - mean_s) for a, b in zip(o, s))
    if var_o > 0 and var_s > 0 and mean_o > 0:
        r = cov / math.sqrt(var_o * var_s)
        alpha = math.sqrt(var_s / var_o)
        beta = mean_s / mean_o
        kge = 1.0 - math.sqrt((r - 1) ** 2 + (alpha - 1) ** 2 + (beta - 1) ** 2)
    else:
        kge = float("nan")
    pbias = 100.0 * (sum(o) - sum(s)) / sum(o) if sum(o) > 0 else float("nan")
    return nse, log_nse, kge, pbias


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--simulated", required=True,
                        help="the best run's outlet hydrograph (0000_ file of OUTLET_HYDRO)")
    parser.add_argument("--observed", help="observed hydrograph: minutes and m3/s a line")
    parser.add_argument("--search", help="sce_output.dat of the search")
    parser.add_argument("--output", help="image to write (png, pdf, svg); a window when not given")
    args = parser.parse_args()

    import matplotlib
    if args.output:
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    sim_t, sim_q = read_series(args.simulated)
    if not sim_t:
        sys.exit("error: no hydrograph rows in " + args.simulated)
    loops = read_search(args.search) if args.search else []
    rows = 2 if loops else 1
    figure, axes = plt.subplots(rows, 1, figsize=(9, 4.5 * rows), squeeze=False)
    top = axes[0][0]
    top.plot(sim_t, sim_q, label="simulated (best point)", color="tab:blue")
    if args.observed:
        obs_t, obs_q = read_series(args.observed)
        paired = simulated_at(obs_t, sim_t, sim_q)
        o = obs_q[:len(paired)]
        if len(o) >= 2:
            nse, log_nse, kge, pbias = measures(o, paired)
            label = "observed: NSE %.3f, log NSE %.3f, KGE %.3f, PBIAS %.1f %%" % (
                nse, log_nse, kge, pbias)
            print(label)
        else:
            label = "observed (does not overlap the run)"
        top.plot(obs_t, obs_q, "o", markersize=3, label=label, color="tab:orange")
    top.set_xlabel("minutes since the start of the run")
    top.set_ylabel("outlet discharge (m$^3$/s)")
    top.legend()
    top.set_title("Best run of the calibration")
    if loops:
        bottom = axes[1][0]
        evaluations = [e for _, e, _, _ in loops]
        bottom.plot(evaluations, [b for _, _, b, _ in loops], "o-", label="best criterion")
        bottom.plot(evaluations, [w for _, _, _, w in loops], "s--", label="worst criterion")
        if all(b > 0 for _, _, b, _ in loops):
            bottom.set_yscale("log")
        bottom.set_xlabel("evaluations")
        bottom.set_ylabel("criterion (0 is a perfect fit)")
        bottom.legend()
        bottom.set_title("Progress of the search, one point per loop")
    figure.tight_layout()
    if args.output:
        figure.savefig(args.output, dpi=120)
    else:
        plt.show()


if __name__ == "__main__":
    main()
