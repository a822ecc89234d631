#!/usr/bin/env python3
"""Writes the valley's first ten days of weather (31 March to 9 April 2021,
two storms) from valley_month.hmx in the two other hourly layouts TORVA
reads: valley_week.ncdc (Surface Airways, one line per element and day) and
valley_week.sam (SAMSON, one line per hour). A few values are written as
missing, so that the repair of missing values can be seen in the summary.

    python3 examples/valley/make_weather_samples.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
FIRST_DAY, DAYS = (2021, 3, 31), 10


def read_hmx(path):
    hours = {}
    with open(path) as f:
        for line in f:
            v = line.split()
            if len(v) != 11:
                continue
            y, mo, d, h = (int(x) for x in v[:4])
            hours[(y, mo, d, h)] = [float(x) for x in v[4:]]
    return hours


def days():
    import datetime
    start = datetime.date(*FIRST_DAY)
    return [start + datetime.timedelta(days=k) for k in range(DAYS)]


def hour_key(day, hour):
    """Hour 1..24 of a day as the HMX key; hour 24 is hour 0 of the next day."""
    import datetime
    if hour == 24:
        day = day + datetime.timedelta(days=1)
        hour = 0
    return (day.year, day.month, day.day, hour)


# Values written as missing besides those the HMX file marks (999): (element,
# day index, hour).
MISSING = {("TMPD", 2, 14), ("RHUM", 3, 5), ("WIND", 4, 20)}
# The HMX field of each element and its missing mark.
HMX_FIELD = {"PRES": (0, 999.0), "RHUM": (1, 999.0), "TSKC": (2, 999.0), "WIND": (3, 999.0),
             "TMPD": (4, 999.0)}


def missing(hours, code, k, day, hour):
    if (code, k, hour) in MISSING:
        return True
    field = HMX_FIELD.get(code)
    return field is not None and hours[hour_key(day, hour)][field[0]] == field[1]


def write_ncdc(hours, path):
    # element code, units, value from the HMX fields (press, rh, sky, wind, temp, dir, glob)
    elements = [
        ("DRAD", "WT", lambda v: round(v[5] * 10)),
        ("GRAD", "WT", lambda v: round(v[6] * 10)),
        ("PRES", "HI", lambda v: round(v[0] * 1000)),
        ("RHUM", "P ", lambda v: round(v[1])),
        ("TMPD", "DF", lambda v: round(v[4])),
        ("TSKC", "TS", lambda v: round(v[2])),
        ("WIND", "KT", lambda v: round(v[3])),
    ]
    with open(path, "w") as f:
        for k, day in enumerate(days()):
            for code, units, value in elements:
                line = "HLY%-8s%s%s%04d%02d%04d%03d" % ("VALLEY01", code, units, day.year,
                                                     day.month, day.day, 24)
                for hour in range(1, 25):
                    v = hours[hour_key(day, hour)]
                    if missing(hours, code, k, day, hour):
                        line += "%02d00%+06d%s%s" % (hour, -99999, "M", " ")
                    else:
                        line += "%02d00%+06d  " % (hour, value(v))
                f.write(line.rstrip() + "\n")


def place(line, first, last, text):
    """Puts text right-aligned into columns first..last (1-based) of line."""
    width = last - first + 1
    text = text.rjust(width)[:width]
    return line[:first - 1] + text + line[last:]


def write_samson(hours, path):
    with open(path, "w") as f:
        f.write("~99999 VALLEY           CO  -7  N40  0 W105  0  1650\n")
        f.write("~YR MO DA HR I    1    2       3       4       5  6  7     8     9  10   11  12"
                "    13\n")
        for k, day in enumerate(days()):
            for hour in range(1, 25):
                v = hours[hour_key(day, hour)]
                line = " " * 128
                line = place(line, 2, 3, "%02d" % (day.year % 100))
                line = place(line, 5, 6, "%2d" % day.month)
                line = place(line, 8, 9, "%2d" % day.day)
                line = place(line, 11, 12, "%2d" % hour)
                line = place(line, 14, 14, "0")
                line = place(line, 26, 29, "%d" % round(v[6]))
                line = place(line, 33, 36, "%d" % round(v[5]))
                line = place(line, 47, 48, "%d" % round(v[2]))
                line = place(line, 50, 51, "%d" % round(v[2]))
                temp = (v[4] - 32.0) / 1.8
                line = place(line, 53, 57,
                             "9999." if missing(hours, "TMPD", k, day, hour) else "%.1f" % temp)
                line = place(line, 65, 67,
                             "999" if missing(hours, "RHUM", k, day, hour) else "%d" % round(v[1]))
                line = place(line, 69, 72, "%d" % round(v[0] * 1013.25 / 29.92))
                line = place(line, 78, 82, "9999." if missing(hours, "WIND", k, day, hour) else
                             "%.1f" % (v[3] * 0.514444))
                f.write(line.rstrip() + "\n")


def main():
    hours = read_hmx(os.path.join(HERE, "valley_month.hmx"))
    write_ncdc(hours, os.path.join(HERE, "valley_week.ncdc"))
    write_samson(hours, os.path.join(HERE, "valley_week.sam"))


if __name__ == "__main__":
    main()
