#!/usr/bin/env python3
"""Plots a long-term run with Sacramento soil moisture accounting: the five
stores of the accounting, its channel inflow and the outlet discharge against
time.

    python3 examples/valley/plot_sacramento.py HOURLY OUTLET PNG

HOURLY is the DAILY_OUTPUT file of the run (one line per weather hour, the
Sacramento columns at its end), OUTLET the OUTLET_HYDRO file written with
STRICT_JULIAN_DATE, PNG the picture to write. Needs matplotlib (Debian:
python3-matplotlib).
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from plot_longterm import hour_of, read_outlet, save  # noqa: E402

STORES = ["uztwc", "uzfwc", "lztwc", "lzfsc", "lzfpc"]


def read_hourly(path):
    with open(path) as f:
        header = next(f).split()
        if "uztwc" not in header:
            sys.exit(f"{path} holds no Sacramento columns: was the run made with SACRAMENTO?")
        # The header's first two words name the date and hour columns.
        column = {name: header.index(name) for name in STORES + ["chan_in(mm)"]}
        times, stores, inflow = [], {name: [] for name in STORES}, []
        for line in f:
            words = line.split()
            times.append(hour_of(words))
            for name in STORES:
                stores[name].append(float(words[column[name]]))
            inflow.append(float(words[column["chan_in(mm)"]]))
    return times, stores, inflow


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    hourly, outlet, png = sys.argv[1:]
    times, stores, inflow = read_hourly(hourly)
    q_times, flows = read_outlet(outlet)
    fig, (ax_s, ax_in, ax_q) = plt.subplots(3, 1, sharex=True, figsize=(11, 9))
    labels = {
        "uztwc": "upper tension water",
        "uzfwc": "upper free water",
        "lztwc": "lower tension water",
        "lzfsc": "lower supplementary free water",
        "lzfpc": "lower primary free water",
    }
    for name in STORES:
        ax_s.plot(times, stores[name], label=f"{name}: {labels[name]}")
    ax_s.set_ylabel("store, mm")
    ax_s.legend(loc="upper right", fontsize="small")
    ax_in.step(times, inflow, where="pre", color="tab:cyan")
    ax_in.set_ylabel("channel inflow, mm/h")
    ax_q.plot(q_times, flows, color="tab:blue")
    ax_q.set_ylabel("outlet discharge, m3/s")
    save(fig, png)


if __name__ == "__main__":
    main()
