#!/usr/bin/env python3
"""Generates the inputs of the example valley's month-long run.

April 2021 on the example valley at 40 degrees north: an hourly weather file
in the HMX layout, a precipitation file of three storms, and the maps and
mapping table that a long-term run needs beyond the event inputs (the
Brooks-Corey pore index, residual saturation and wilting point of each soil
texture, and the evapotranspiration table of each land use).

The weather is made up but plausible: a daily temperature cycle peaking in
mid-afternoon around a mean that drifts up through the month, humidity that
falls as the air warms, a cold spell from 8 to 11 April (the second storm
falls as snow, which melts in the thaw after it), and sunshine that follows
the sun's height through the cloud cover. A few values are written as
missing (999) to show their repair.

Run from this folder: python3 make_longterm.py. Standard library only.
"""

import math
import random
from datetime import datetime, timedelta

random.seed(11)
LATITUDE = 40.0
YEAR, MONTH = 2021, 4
# Weather from 31 March 00:00 to 1 May 23:00, so that every storm lies inside it.
FIRST_DAY = 0
DAYS = 32

# Brooks-Corey pore index, residual saturation and wilting point (Rawls,
# Brakensiek and Saxton, 1982) by the wetting front head of each texture.
TEXTURES = {
    "8.89": (0.252, 0.027, 0.117),  # loam
    "11.01": (0.322, 0.041, 0.095),  # sandy loam
    "20.88": (0.242, 0.075, 0.197),  # clay loam
    "27.30": (0.177, 0.040, 0.210),  # silty clay loam
}

# Storms: (day of April, hour, minute, mm in each half hour at the three gauges).
STORMS = [
    ("Spring shower", 1, 14, [(4, 3, 2), (9, 7, 5), (6, 8, 7), (3, 4, 5), (1, 2, 2)]),
    ("Late snow", 9, 3, [(2, 2, 1), (4, 3, 3), (5, 5, 4), (4, 4, 4), (3, 3, 2), (1, 1, 1)]),
    ("Thunderstorm", 27, 16, [(3, 1, 0), (14, 9, 4), (18, 16, 12), (8, 11, 14), (2, 4, 6),
                              (0, 1, 2)]),
]
GAUGES = "COORD 300.0 1700.0 West_Ridge\nCOORD 1000.0 1200.0 Valley_Floor\nCOORD 1750.0 600.0 East_Ridge\n"


def read_map(name):
    with open(name) as f:
        words = f.read().split()
    return words[:12], words[12:]


def write_map(name, header, values):
    cols = int(header[11])
    with open(name, "w") as f:
        for k in range(0, 12, 2):
            f.write(f"{header[k]} {header[k + 1]}\n")
        for r in range(0, len(values), cols):
            f.write(" ".join(values[r:r + cols]) + "\n")


def soil_maps():
    header, capillary = read_map("capillary.map")
    for index, name in ((0, "pore_index.map"), (1, "residual.map"), (2, "wilting.map")):
        write_map(name, header, [f"{TEXTURES[c][index]:.3f}" for c in capillary])


def mean_temperature(day):
    """Daily mean, degrees C: a cold spell, then a warm end of the month."""
    if 8 <= day <= 11:
        return -5.0
    if day == 12:
        return 6.0
    return 8.0 + 0.3 * day


def storm_hours():
    hours = set()
    for _, day, hour, rows in STORMS:
        for k in range(len(rows) // 2 + 2):
            hours.add((day, hour + k))
    return hours


def sunshine(decl, hour, sky):
    """Direct and global radiation (W/m2) of an hour, from the sun's height
    at the hour (declination in degrees) through the sky cover (tenths)."""
    omega = math.radians(15 * (hour - 12))
    lat = math.radians(LATITUDE)
    sin_alt = (math.cos(lat) * math.cos(math.radians(decl)) * math.cos(omega) +
               math.sin(math.radians(decl)) * math.sin(lat))
    clear = max(0.0, 1000.0 * sin_alt * 0.75)
    return clear * 0.8 * (1 - sky / 10), clear * (1 - 0.7 * (sky / 10) ** 2)


def weather():
    wet = storm_hours()
    lines = []
    for d in range(FIRST_DAY, FIRST_DAY + DAYS):
        day, month = (d, MONTH) if 1 <= d <= 30 else ((31, 3) if d < 1 else (d - 30, 5))
        doy = (90 if month == 4 else 59 if month == 3 else 120) + day
        decl = 23.45 * math.cos(2 * math.pi * (172 - doy) / 365)
        for hour in range(24):
            t = mean_temperature(d) + 6.0 * math.cos(2 * math.pi * (hour - 15) / 24)
            storm = (d, hour) in wet or (d, hour - 1) in wet
            sky = 10 if storm else random.choice([0, 1, 2, 3, 3, 5, 7])
            rh = min(98, 95 if storm else 75 - 2.5 * (t - mean_temperature(d)) + random.uniform(-5, 5))
            wind = random.randint(2, 6) + (8 if storm else 0)
            direct, glob = sunshine(decl, hour, sky)
            temp_f = round(t * 1.8 + 32)
            press = 29.92 - (0.25 if storm else 0.0) + random.uniform(-0.05, 0.05)
            fields = [f"{YEAR}", f"{month}", f"{day}", f"{hour}", f"{press:.2f}", f"{round(rh)}",
                      f"{sky}", f"{wind}", f"{temp_f}", f"{direct:.1f}", f"{glob:.1f}"]
            # A few gaps in the record, repaired by the reader.
            if d == 5 and hour == 13:
                fields[8] = "999"
            if d == 17 and hour == 9:
                fields[9] = "99999.0"
            lines.append(" ".join(fields))
    with open("valley_month.hmx", "w") as f:
        f.write("\n".join(lines) + "\n")


def write_storms(path, storms):
    """A precipitation file of storms (title, start, half-hourly mm at the
    three gauges), each opening with a row of zeros at its start."""
    with open(path, "w") as f:
        for title, start, rows in storms:
            f.write(f'EVENT "{title}"\nNRGAG 3\nNRPDS {len(rows) + 1}\n{GAUGES}')
            for k in range(len(rows) + 1):
                t = start + timedelta(minutes=30 * k)
                values = (0, 0, 0) if k == 0 else rows[k - 1]
                f.write(f"GAGES {t.year} {t.month} {t.day} {t.hour} {t.minute} "
                        + " ".join(f"{v:.1f}" for v in values) + "\n")


def precipitation():
    write_storms("valley_month.gag", [(title, datetime(YEAR, MONTH, day, hour), rows)
                                      for title, day, hour, rows in STORMS])


def mapping_table():
    with open("valley_longterm.cmt", "w") as f:
        f.write('TORVA_INDEX_MAP_TABLES\nINDEX_MAP examples/valley/landuse.idx "Land use"\n')
        f.write('ROUGHNESS "Land use"\nNUM_IDS 3\n')
        f.write("ID    DESCRIPTION" + " " * 69 + "MANNING_N\n")
        for i, name, n in ((1, "Forest", 0.2), (2, "Pasture", 0.08), (3, "Stream corridor", 0.04)):
            f.write(f"{i:<6}{name:<80}{n:.4f}\n")
        f.write('EVAPOTRANSPIRATION "Land use"\nNUM_IDS 3\n')
        f.write("ID    DESCRIPTION" + " " * 69 + "ALBEDO  VEG_HEIGHT  TRANS_COEFF  CANOPY_RESIST  WILTING\n")
        for i, name, row in ((1, "Forest", "0.15    15.0        0.40         100.0          0.12"),
                             (2, "Pasture", "0.23    0.30        1.00         70.0           0.12"),
                             (3, "Stream corridor", "0.20    1.00        0.80         60.0           0.12")):
            f.write(f"{i:<6}{name:<80}{row}\n")


if __name__ == "__main__":
    soil_maps()
    weather()
    precipitation()
    mapping_table()
