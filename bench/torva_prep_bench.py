#!/usr/bin/env python3
"""How long torva-prep takes over a 2000 x 2000 DEM of 10 m cells.

A valley falling 0.5 % to the south with 3 % side slopes, gentle waves and a
fixed-seed roughness of up to 30 cm, written as an ASCII grid in a temporary
folder; the outlet is where the valley leaves the DEM. Prints the wall time
of torva-prep alone (the DEM is written before the clock starts).

    python3 bench/torva_prep_bench.py
"""

import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PREP = os.path.join(os.path.dirname(HERE), "tools", "torva-prep")
ROWS = COLS = 2000
SIZE = 10.0
X0, Y0 = 500000.0, 4000000.0
UTM33 = ('PROJCS["WGS_1984_UTM_Zone_33N",GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",'
         'SPHEROID["WGS_1984",6378137.0,298.257223563]],PRIMEM["Greenwich",0.0],'
         'UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],'
         'PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],'
         'PARAMETER["Central_Meridian",15.0],PARAMETER["Scale_Factor",0.9996],'
         'PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]]')


def write_dem(path):
    random.seed(1)
    with open(path, "w") as f:
        f.write(f"ncols {COLS}\nnrows {ROWS}\nxllcorner {X0}\nyllcorner {Y0}\ncellsize {SIZE}\n")
        for r in range(ROWS):
            wave = math.cos(r / 53.0)
            f.write(" ".join(
                f"{100 + 0.005 * SIZE * (ROWS - 1 - r) + 0.03 * SIZE * abs(c - COLS / 2) + 2 * math.sin(c / 37.0) * wave + random.uniform(0, 0.3):.3f}"
                for c in range(COLS)) + "\n")
    with open(os.path.splitext(path)[0] + ".prj", "w") as f:
        f.write(UTM33)


def main():
    if not shutil.which("grass"):
        print("GRASS GIS is not installed (apt-get install grass-core); nothing to measure.")
        return 0
    with tempfile.TemporaryDirectory(prefix="torva-prep-bench-") as tmp:
        dem = os.path.join(tmp, "dem.asc")
        write_dem(dem)
        outlet = [str(X0 + (COLS / 2 + 0.5) * SIZE), str(Y0 + 0.5 * SIZE)]
        start = time.monotonic()
        done = subprocess.run([sys.executable, PREP, dem, "--outlet"] + outlet +
                              ["-o", os.path.join(tmp, "project"), "--snap", "10"])
        seconds = time.monotonic() - start
    print(f"torva-prep, {ROWS} x {COLS} DEM: {seconds:.1f} s (exit status {done.returncode})")
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
