#!/usr/bin/env python3
"""Generates the aquifer maps of the example valley (valley_groundwater.prj).

The water table follows the ground, 0.8 m below it at the outlet (300 m) and
deeper by a tenth of the height above the outlet, so that it stands above the
stream beds (1 to 2 m below the ground) on the valley floor and falls towards
the streams from the hills. The aquifer bottom lies 25 m below the ground. The
boundary map marks the cells of the mask active (1), and the cells at the
outlet, in the last three rows of columns 48 to 52, fixed heads (2).

Run from the repository root: python3 examples/valley/make_aquifer.py
"""

import os

HERE = os.path.dirname(os.path.abspath(__file__))


def read_map(name):
    with open(os.path.join(HERE, name)) as f:
        lines = f.read().splitlines()
    return lines[:6], [row.split() for row in lines[6:] if row.strip()]


def write_map(name, header, rows):
    with open(os.path.join(HERE, name), "w") as f:
        f.write("\n".join(header) + "\n")
        for row in rows:
            f.write(" ".join(row) + "\n")


def main():
    header, ground = read_map("valley.ele")
    _, mask = read_map("valley.msk")
    water_table, bottom, bound = [], [], []
    for r, (g_row, m_row) in enumerate(zip(ground, mask), start=1):
        wt_row, bot_row, bnd_row = [], [], []
        for c, (g, m) in enumerate(zip(g_row, m_row), start=1):
            z = float(g)
            wt_row.append("%.3f" % (z - 0.8 - 0.1 * max(z - 300.0, 0.0)))
            bot_row.append("%.3f" % (z - 25.0))
            if m == "0":
                bnd_row.append("0")
            elif r >= 118 and 48 <= c <= 52:
                bnd_row.append("2")
            else:
                bnd_row.append("1")
        water_table.append(wt_row)
        bottom.append(bot_row)
        bound.append(bnd_row)
    write_map("valley_gw.wt", header, water_table)
    write_map("valley_gw.bot", header, bottom)
    write_map("valley_gw.bnd", header, bound)


if __name__ == "__main__":
    main()
