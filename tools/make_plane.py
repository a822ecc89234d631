#!/usr/bin/env python3
"""Writes the tilted plane of the performance figures: a square grid of 20 m
cells sloping south at 0.5 %, all inside the watershed, with its project.

    tools/make_plane.py FOLDER SIDE [MINUTES] [SCHEME]

writes FOLDER/plane.msk, FOLDER/plane.ele and FOLDER/plane.prj: Manning's n
0.04, 30 mm/h of uniform rain for the whole run, fixed 1 s steps, the outlet
at the middle of the south edge, ADE unless SCHEME says otherwise. Run it from
FOLDER: `cd FOLDER && torva plane.prj`.
"""
import os
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    folder, side = sys.argv[1], int(sys.argv[2])
    minutes = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    scheme = sys.argv[4] if len(sys.argv) > 4 else "ade"
    if side < 3:
        sys.exit("SIDE must be 3 or more")
    cell = 20.0
    os.makedirs(folder, exist_ok=True)
    header = (f"north: {side * cell}\nsouth: 0.0\neast: {side * cell}\nwest: 0.0\n"
              f"rows: {side}\ncols: {side}\n")
    with open(os.path.join(folder, "plane.msk"), "w") as f:
        f.write(header)
        row = " ".join(["1"] * side) + "\n"
        for _ in range(side):
            f.write(row)
    with open(os.path.join(folder, "plane.ele"), "w") as f:
        f.write(header)
        for r in range(side):
            # Falling 0.5 % to the south, with a gentle valley towards the middle.
            z = 100.0 - 0.005 * cell * r
            f.write(" ".join(f"{z + 0.0005 * cell * abs(c - side // 2):.3f}"
                             for c in range(side)) + "\n")
    with open(os.path.join(folder, "plane.prj"), "w") as f:
        f.write(f"""TORVAPROJECT
WATERSHED_MASK plane.msk
ELEVATION plane.ele
ROWS {side}
COLS {side}
GRIDSIZE {cell:g}
OUTROW {side}
OUTCOL {side // 2 + 1}
OUTSLOPE 0.005
MANNING_N 0.04
OVERTYPE {scheme}
TIMESTEP 1
HYD_FREQ 5
MAP_FREQ 100000
TOT_TIME {minutes}
START_DATE 2021 7 14
START_TIME 14 0
PRECIP_UNIF
RAIN_INTENSITY 30.0
RAIN_DURATION {minutes}
SUMMARY plane_summary.txt
OUTLET_HYDRO plane.otl
""")


if __name__ == "__main__":
    main()
