#!/usr/bin/env python3
"""Plots a long-term run: potential and actual evapotranspiration, the root
zone's water content and the outlet discharge against time.

    python3 examples/valley/plot_longterm.py HOURLY OUTLET PNG

HOURLY is the DAILY_OUTPUT file (one line per weather hour), OUTLET the
OUTLET_HYDRO file written with STRICT_JULIAN_DATE, PNG the picture to write.
Needs matplotlib (Debian: python3-matplotlib).
"""

import sys
from datetime import datetime, timedelta

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

# Astronomical Julian date of 1 January 2000, 12:00.
J2000 = 2451545.0
EPOCH = datetime(2000, 1, 1, 12)


def hour_of(words):
    """The time of a line of the hourly file from its first two words."""
    year, month, day = (int(x) for x in words[0].split("/"))
    return datetime(year, month, day, int(words[1].split(":")[0]))


def read_hourly(path):
    times, pet, aet, theta = [], [], [], []
    with open(path) as f:
        next(f)
        for line in f:
            words = line.split()
            times.append(hour_of(words))
            theta.append(float(words[2]))
            pet.append(float(words[3]) * 10.0)  # cm/h to mm/h
            aet.append(float(words[4]) * 10.0)
    return times, pet, aet, theta


def read_outlet(path):
    times, flows = [], []
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) < 2:
                continue
            times.append(EPOCH + timedelta(days=float(words[0]) - J2000))
            flows.append(float(words[1]))
    return times, flows


def save(fig, png):
    fig.autofmt_xdate()
    fig.tight_layout()
    fig.savefig(png, dpi=90)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    hourly, outlet, png = sys.argv[1:]
    times, pet, aet, theta = read_hourly(hourly)
    q_times, flows = read_outlet(outlet)
    fig, (ax_et, ax_theta, ax_q) = plt.subplots(3, 1, sharex=True, figsize=(11, 8))
    ax_et.plot(times, pet, label="potential ET", color="tab:orange")
    ax_et.plot(times, aet, label="actual ET", color="tab:green")
    ax_et.set_ylabel("mm/h")
    ax_et.legend(loc="upper left")
    ax_theta.plot(times, theta, color="tab:brown")
    ax_theta.set_ylabel("root-zone water content")
    ax_q.plot(q_times, flows, color="tab:blue")
    ax_q.set_ylabel("outlet discharge, m3/s")
    save(fig, png)


if __name__ == "__main__":
    main()
