"""torva-prep's command line: checks what it is given, then runs GRASS GIS in
a temporary location made from the DEM's own spatial reference, so that no
GRASS database is left behind, and reports what was made.

This part uses the standard library only; the work inside GRASS is in
inside.py, run by the Python interpreter GRASS itself runs on.
"""

import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

from torva_prep import files

LAUNCHER = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "torva-prep")

USAGE_EXAMPLE = """example:
  torva-prep dem.tif --outlet 512340 4183210 -o mybasin/
  cd mybasin && torva project.prj
"""


class Refusal(Exception):
    pass


def finite(kind, positive=False, at_least=None):
    def parse(text):
        try:
            value = kind(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"'{text}' is not a number") from None
        if isinstance(value, float) and not math.isfinite(value):
            raise argparse.ArgumentTypeError(f"'{text}' is not a finite number")
        if positive and value <= 0:
            raise argparse.ArgumentTypeError(f"'{text}' must be greater than 0")
        if at_least is not None and value < at_least:
            raise argparse.ArgumentTypeError(f"'{text}' must be {at_least} or more")
        return value
    return parse


def parse_arguments(argv):
    p = argparse.ArgumentParser(
        prog="torva-prep",
        description="Makes a TORVA project from a DEM: the watershed above an outlet, its "
                    "stream network as channels, and a starter project that runs at once.",
        epilog=USAGE_EXAMPLE, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("dem", help="elevation raster in metres (GeoTIFF or any raster GDAL reads)")
    p.add_argument("--outlet", nargs=2, type=finite(float), metavar=("X", "Y"), required=True,
                   help="outlet point in the DEM's coordinates")
    p.add_argument("-o", "--output", required=True, metavar="FOLDER",
                   help="folder of the project (made if missing)")
    p.add_argument("--force", action="store_true",
                   help="overwrite the files of an earlier project in the folder")
    p.add_argument("--assume-metres", action="store_true",
                   help="take a DEM without a spatial reference as metres")
    p.add_argument("--geotiff", action="store_true",
                   help="write the grid maps as GeoTIFFs with the DEM's reference (TORVA built "
                        "with GDAL reads them) instead of text grid maps")
    g = p.add_argument_group("watershed and streams")
    g.add_argument("--stream-area", type=finite(float, positive=True), default=0.1,
                   metavar="KM2", help="area that must drain into a cell for a stream to start "
                                       "there (default 0.1 km2)")
    g.add_argument("--snap", type=finite(int, at_least=0), default=3, metavar="CELLS",
                   help="the outlet moves to the cell of largest flow accumulation within this "
                        "many cells (default 3)")
    g.add_argument("--cells-per-node", type=finite(int, positive=True), default=2,
                   metavar="N", help="channel cells per node along the streams (default 2)")
    g.add_argument("--min-bed-slope", type=finite(float, positive=True), default=1e-4,
                   metavar="S", help="least fall of the bed per metre downstream "
                                     "(default 0.0001)")
    h = p.add_argument_group("channel cross-sections: trapezoids from the area A (km2) "
                             "draining through the end of each link")
    h.add_argument("--width-coeff", metavar="X", type=finite(float, positive=True), default=2.70,
                   help="bottom width = width-coeff * A^width-exp, m (default 2.70)")
    h.add_argument("--width-exp", metavar="X", type=finite(float, at_least=0.0), default=0.352,
                   help="(default 0.352)")
    h.add_argument("--depth-coeff", metavar="X", type=finite(float, positive=True), default=0.30,
                   help="bankfull depth = depth-coeff * A^depth-exp, m (default 0.30)")
    h.add_argument("--depth-exp", metavar="X", type=finite(float, at_least=0.0), default=0.213,
                   help="(default 0.213)")
    h.add_argument("--side-slope", metavar="X", type=finite(float, positive=True), default=1.5,
                   help="bank slope, horizontal per vertical (default 1.5)")
    h.add_argument("--channel-n", metavar="X", type=finite(float, positive=True), default=0.035,
                   help="Manning's n of the channels (default 0.035)")
    s = p.add_argument_group("starter project")
    s.add_argument("--overland-n", metavar="X", type=finite(float, positive=True), default=0.1,
                   help="Manning's n of the land (default 0.1)")
    s.add_argument("--rain", type=finite(float, positive=True), default=25.0, metavar="MM_H",
                   help="uniform rain intensity, mm/h (default 25)")
    s.add_argument("--rain-minutes", type=finite(int, positive=True), default=60, metavar="N",
                   help="rain duration, minutes (default 60)")
    s.add_argument("--minutes", type=finite(int, positive=True), default=180, metavar="N",
                   help="length of the run, minutes (default 180)")
    s.add_argument("--landuse", metavar="RASTER",
                   help="land-use classes (whole numbers from 1): an index map and a roughness "
                        "table, one row per class")
    s.add_argument("--soil", metavar="RASTER",
                   help="soil classes (whole numbers from 1): an index map and Green and Ampt "
                        "tables, one row per class")
    args = p.parse_args(argv)
    if args.rain_minutes > args.minutes:
        p.error("--rain-minutes must not exceed --minutes")
    return args


def grass_command():
    grass = shutil.which("grass")
    if not grass:
        raise Refusal("GRASS GIS 8 is not installed: there is no grass command on the PATH. "
                      "Install it with: apt-get install grass-core")
    return grass


def grass_python(grass):
    """The interpreter GRASS's launcher runs on, which has GRASS's Python
    packages (numpy among them); this one may not."""
    try:
        with open(grass, "rb") as f:
            first = f.readline().decode("utf-8", "replace").strip()
    except OSError:
        first = ""
    if first.startswith("#!") and "python" in first:
        words = first[2:].split()
        if words and os.path.basename(words[0]) == "env" and len(words) > 1:
            found = shutil.which(words[1])
            if found:
                return found
        elif words:
            return words[0]
    return sys.executable


def check_inputs(args):
    for label, path in (("DEM", args.dem), ("land-use raster", args.landuse),
                        ("soil raster", args.soil)):
        if path is not None and not os.path.isfile(path):
            raise Refusal(f"the {label} {path} does not exist or is not a file.")
    folder = args.output
    if os.path.exists(folder) and not os.path.isdir(folder):
        raise Refusal(f"{folder} exists and is not a folder.")
    names = files.file_names(args.landuse, args.soil, args.geotiff)
    inputs = [p for p in (args.dem, args.landuse, args.soil) if p]
    for name in names:
        target = os.path.join(folder, name)
        for path in inputs:
            if os.path.exists(target) and os.path.samefile(target, path):
                raise Refusal(f"the project file {target} would overwrite the input {path}; "
                              "choose another folder.")
    existing = [n for n in names if os.path.exists(os.path.join(folder, n))]
    if existing and not args.force:
        raise Refusal(f"{folder} already holds {', '.join(existing)}; give another folder, or "
                      "--force to overwrite them.")


def run_grass(grass, location, command):
    return subprocess.run([grass, "--tmp-location", location, "--exec"] + command,
                          capture_output=True, text=True)


def reference_of(grass, dem):
    """The DEM's spatial reference as g.proj sees it (key=value lines)."""
    done = run_grass(grass, "XY", ["g.proj", "-g", f"georef={os.path.abspath(dem)}"])
    if done.returncode != 0:
        raise Refusal(f"GRASS GIS cannot read the DEM {dem}:\n" + grass_errors(done.stderr))
    info = {}
    for line in done.stdout.splitlines():
        key, _, value = line.partition("=")
        info[key.strip()] = value.strip()
    return info


def grass_errors(stderr):
    lines = [l for l in stderr.splitlines() if l.startswith(("ERROR", "WARNING", "Traceback"))]
    return "\n".join(lines or stderr.splitlines()[-10:])


def check_reference(info, args):
    if "proj" not in info or info.get("name", "").startswith("xy_location"):
        if not args.assume_metres:
            raise Refusal(f"the DEM {args.dem} has no spatial reference. Give it one (gdal_edit.py "
                          "-a_srs EPSG:CODE), or --assume-metres to take its coordinates and "
                          "heights as metres.")
        return "XY"
    if info.get("proj") == "ll":
        raise Refusal(f"the DEM {args.dem} is in geographic coordinates (degrees); TORVA's cells "
                      "are square in metres. Reproject it first, e.g. gdalwarp -t_srs EPSG:CODE "
                      "-tr 30 30 dem.tif dem_utm.tif")
    try:
        metres = float(info.get("meters", "1"))
    except ValueError:
        metres = 0.0
    if abs(metres - 1.0) > 1e-9:
        raise Refusal(f"the DEM {args.dem} is in {info.get('units', 'units other than metres')}; "
                      "reproject it to a reference in metres first.")
    return os.path.abspath(args.dem)


def request_of(args, report):
    return {
        "dem": os.path.abspath(args.dem),
        "assume_metres": args.assume_metres,
        "geotiff": args.geotiff,
        "outlet": list(args.outlet),
        "folder": os.path.abspath(args.output),
        "report": report,
        "stream_area_km2": args.stream_area,
        "snap_cells": args.snap,
        "landuse": os.path.abspath(args.landuse) if args.landuse else None,
        "soil": os.path.abspath(args.soil) if args.soil else None,
        "network": {
            "cells_per_node": args.cells_per_node, "min_bed_slope": args.min_bed_slope,
            "width_coeff": args.width_coeff, "width_exp": args.width_exp,
            "depth_coeff": args.depth_coeff, "depth_exp": args.depth_exp,
            "side_slope": args.side_slope, "channel_n": args.channel_n,
            "overland_n": args.overland_n,
        },
        "project": {"rain": args.rain, "rain_minutes": args.rain_minutes,
                    "minutes": args.minutes},
    }


def prepare(args):
    check_inputs(args)
    grass = grass_command()
    location = check_reference(reference_of(grass, args.dem), args)
    with tempfile.TemporaryDirectory(prefix="torva-prep-") as work:
        report_path = os.path.join(work, "report.json")
        request_path = os.path.join(work, "request.json")
        with open(request_path, "w") as f:
            json.dump(request_of(args, report_path), f)
        print(f"torva-prep: preparing {args.dem} with GRASS GIS ...", flush=True)
        done = run_grass(grass, location, [grass_python(grass), LAUNCHER, "--inside",
                                           request_path])
        try:
            with open(report_path) as f:
                report = json.load(f)
        except (OSError, ValueError):
            raise Refusal("GRASS GIS stopped before the project was made:\n"
                          + grass_errors(done.stderr)) from None
    for note in report["notes"]:
        print(f"  {note}")
    if not report["ok"]:
        error = report.get("error", "the project was not made.")
        if report.get("grass_failed"):
            error += "\n" + grass_errors(done.stderr)
        raise Refusal(error)
    names = files.file_names(args.landuse, args.soil, args.geotiff)
    print(f"torva-prep: wrote {', '.join(names)} and the folder {files.OUTPUT_FOLDER}/ in "
          f"{args.output}")
    print(f"Run it: cd {args.output} && torva {files.PROJECT}")


def main(argv=None):
    args = parse_arguments(sys.argv[1:] if argv is None else argv)
    try:
        prepare(args)
    except Refusal as e:
        print(f"torva-prep: error: {e}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("torva-prep: interrupted; the project is incomplete.", file=sys.stderr)
        return 130
    return 0
