#!/usr/bin/env python3
"""Generates the inputs of the example valley's year-long run.

The whole of 2021 on the example valley at 40 degrees north: an hourly
weather file in the HMX layout (valley_year.hmx) and a precipitation file of
the year's storms (valley_year.gag). The run itself (valley_year.prj) uses
the maps and mapping table of the month-long run (make_longterm.py).

The weather is made up but follows the seasons of a foothill valley: a daily
mean temperature from about -3 C in mid-January to 21 C in mid-July with
spells of a few days warmer or colder than the season, a daily cycle peaking
in mid-afternoon that is wider in summer, humidity that falls as the air
warms, wind, pressure, and sunshine that follows the sun's height through
the cloud. Storms come about once a week in spring, as short afternoon
thunderstorms in summer, fewer in autumn, and as snow in winter (the air is
below freezing through a winter storm). A few values are written as missing
(999) to show their repair.

Run from this folder: python3 make_year.py. Standard library only.
"""

import math
import random
from datetime import datetime

from make_longterm import sunshine, write_storms

YEAR = 2021
DAYS_OF_MONTH = [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]

# Storms a month, and the kind of each month's storms.
STORMS_A_MONTH = [2, 2, 3, 4, 4, 3, 4, 4, 2, 2, 2, 2]
KIND = ["snow", "snow", "front", "front", "front", "front",
        "thunder", "thunder", "thunder", "front", "front", "snow"]


def date_of(doy):
    """Month and day of a day of the year (1 January is 1)."""
    month = 1
    while doy > DAYS_OF_MONTH[month - 1]:
        doy -= DAYS_OF_MONTH[month - 1]
        month += 1
    return month, doy


def day_of_year(month, day):
    return sum(DAYS_OF_MONTH[:month - 1]) + day


def storm_rows(kind):
    """Half-hourly depths (mm) at the three gauges: the west ridge takes the
    most, the east ridge a little less, and a storm's core passes across."""
    if kind == "snow":
        length, peak = random.randint(8, 14), random.uniform(0.5, 1.2)
    elif kind == "thunder":
        length, peak = random.randint(3, 6), random.uniform(5.0, 12.0)
    else:
        length, peak = random.randint(5, 10), random.uniform(1.5, 4.0)
    rows = []
    for k in range(length):
        shape = math.sin(math.pi * (k + 0.5) / length)
        row = []
        for g, share in enumerate((1.0, 0.85, 0.7)):
            lag = math.sin(math.pi * min(k + 0.5 + g * 0.5, length) / length)
            row.append(round(peak * share * (0.5 * shape + 0.5 * lag) * random.uniform(0.8, 1.2), 1))
        rows.append(row)
    return rows


def storms():
    """(title, month, day, hour, rows) of every storm of the year, at least
    three days apart, the last ending well before the weather does."""
    chosen = []
    for month in range(1, 13):
        taken = 0
        while taken < STORMS_A_MONTH[month - 1]:
            day = random.randint(1, DAYS_OF_MONTH[month - 1] - (3 if month == 12 else 0))
            doy = day_of_year(month, day)
            if any(abs(doy - day_of_year(m, d)) < 3 for _, m, d, _, _ in chosen):
                continue
            kind = KIND[month - 1]
            hour = random.randint(13, 17) if kind == "thunder" else random.randint(0, 20)
            chosen.append((kind, month, day, hour, storm_rows(kind)))
            taken += 1
    chosen.sort(key=lambda s: (s[1], s[2]))
    names = {"snow": "Snowfall", "front": "Frontal rain", "thunder": "Thunderstorm"}
    return [(f"{names[k]} {m}/{d}", m, d, h, rows) for k, m, d, h, rows in chosen]


def storm_hours(year_storms):
    """The hours of the year (day of year, hour) under each storm's cloud."""
    hours = {}
    for title, month, day, hour, rows in year_storms:
        start = (day_of_year(month, day) - 1) * 24 + hour
        for k in range(-1, len(rows) // 2 + 3):
            hours[start + k] = title.split()[0]
    return hours


def seasonal_mean(doy):
    return 9.0 - 12.0 * math.cos(2 * math.pi * (doy - 15) / 365)


def weather(year_storms):
    wet = storm_hours(year_storms)
    anomaly = 0.0
    lines = []
    for doy in range(1, 366):
        month, day = date_of(doy)
        # Spells of warmer or colder weather lasting a few days.
        anomaly = 0.75 * anomaly + random.gauss(0.0, 1.8)
        mean = seasonal_mean(doy) + anomaly
        swing = 5.0 + 2.5 * (1 - math.cos(2 * math.pi * (doy - 15) / 365)) / 2
        decl = 23.45 * math.cos(2 * math.pi * (172 - doy) / 365)
        for hour in range(24):
            k = (doy - 1) * 24 + hour
            storm = wet.get(k)
            t = mean + swing * math.cos(2 * math.pi * (hour - 15) / 24)
            if storm == "Snowfall":
                t = min(t, -2.0 - random.uniform(0.0, 3.0))
            elif storm is not None:
                t -= 3.0
            sky = 10 if storm else random.choice([0, 0, 1, 2, 3, 3, 5, 7, 9])
            rh = 95 if storm else min(98, 72 - 2.5 * (t - mean) + random.uniform(-8, 8))
            wind = random.randint(2, 7) + (8 if storm else 0)
            direct, glob = sunshine(decl, hour, sky)
            press = 29.92 - (0.25 if storm else 0.0) + random.uniform(-0.08, 0.08)
            fields = [f"{YEAR}", f"{month}", f"{day}", f"{hour}", f"{press:.2f}",
                      f"{round(rh)}", f"{sky}", f"{wind}", f"{round(t * 1.8 + 32)}",
                      f"{direct:.1f}", f"{glob:.1f}"]
            # A few gaps in the record, repaired by the reader.
            if (doy, hour) in ((40, 13), (200, 15)):
                fields[8] = "999"
            if (doy, hour) == (150, 9):
                fields[9] = "99999.0"
            lines.append(" ".join(fields))
    with open("valley_year.hmx", "w") as f:
        f.write("\n".join(lines) + "\n")


def precipitation(year_storms):
    write_storms("valley_year.gag", [(title, datetime(YEAR, month, day, hour), rows)
                                     for title, month, day, hour, rows in year_storms])


if __name__ == "__main__":
    random.seed(2021)
    year_storms = storms()
    precipitation(year_storms)
    weather(year_storms)
