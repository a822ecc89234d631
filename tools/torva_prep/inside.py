"""The part of torva-prep that runs inside a GRASS GIS session.

GRASS does the flow routing: depression filling (r.fill.dir), flow
accumulation (r.watershed), the stream cells above the area threshold and
their D8 directions (r.stream.extract), and the basin above the outlet
(r.water.outlet). This module reads the results as arrays, snaps the outlet,
crops the basin and hands the stream cells to the network builder.

It is started by torva-prep as

    grass --tmp-location DEM --exec PYTHON torva-prep --inside request.json

and writes what it did, or why it stopped, to the report file the request
names; the launcher prints it.
"""

import json
import math
import sys
import time
import traceback

import numpy

import grass.script as gs
from grass.exceptions import CalledModuleError
from grass.script import array as garray

from torva_prep import network, writers

NULL_REAL = -1.0e30
# TORVA counts the cells of each class of an index map up to this number.
MAX_CLASS = 10000


class Refusal(Exception):
    """Input that cannot make a project; the message says why."""


def read_real(name):
    a = numpy.array(garray.array(name, null=NULL_REAL, dtype=numpy.float64))
    a[a <= NULL_REAL * 0.5] = numpy.nan
    return a


def read_int(name):
    return numpy.array(garray.array(name, null=0, dtype=numpy.int32))


def run(req, notes):
    started = time.monotonic()
    dem_flags = "o" if req["assume_metres"] else ""
    gs.run_command("r.in.gdal", input=req["dem"], band=1, output="dem", flags=dem_flags,
                   quiet=True)
    gs.run_command("g.region", raster="dem", quiet=True)
    region = gs.region()
    if abs(region["nsres"] - region["ewres"]) > 1e-6 * region["nsres"]:
        raise Refusal(
            f"the DEM's cells are {region['ewres']:g} m wide and {region['nsres']:g} m high; "
            "TORVA needs square cells (resample it with gdalwarp -tr SIZE SIZE)."
        )
    size = float(region["nsres"])
    x, y = req["outlet"]
    if not (region["w"] < x < region["e"] and region["s"] < y < region["n"]):
        raise Refusal(
            f"the outlet {x:g} {y:g} lies outside the DEM, which covers x {region['w']:g} to "
            f"{region['e']:g} and y {region['s']:g} to {region['n']:g}."
        )
    threshold = max(2, int(round(req["stream_area_km2"] * 1e6 / (size * size))))
    notes.append(f"stream threshold: {req['stream_area_km2']:g} km2 = {threshold} cells of {size:g} m")

    # Enough memory that the routing modules keep the grid in memory rather
    # than in segment files on disk (about 150 bytes a cell), within reason.
    memory = int(min(2000, max(300, region["cells"] * 150 / 1e6)))
    gs.run_command("r.fill.dir", input="dem", output="filled", direction="fill_dir", quiet=True)
    gs.run_command("r.watershed", flags="s", elevation="dem", accumulation="acc",
                   memory=memory, quiet=True)
    gs.run_command(
        "r.stream.extract", elevation="dem", accumulation="acc", threshold=threshold,
        stream_raster="streams", direction="flow_dir", memory=memory, quiet=True,
    )

    # The outlet snaps on a window of the accumulation around the point given.
    row = int((region["n"] - y) / size)
    col = int((x - region["w"]) / size)
    r_lo, r_hi = max(0, row - req["snap_cells"]), min(region["rows"] - 1, row + req["snap_cells"])
    c_lo, c_hi = max(0, col - req["snap_cells"]), min(region["cols"] - 1, col + req["snap_cells"])
    set_window(region, r_lo, r_hi + 1, c_lo, c_hi + 1)
    near, moved = snap_outlet(numpy.abs(read_real("acc")), row - r_lo, col - c_lo,
                              req["snap_cells"])
    outlet_row, outlet_col = near[0] + r_lo, near[1] + c_lo
    ox = region["w"] + (outlet_col + 0.5) * size
    oy = region["n"] - (outlet_row + 0.5) * size
    notes.append(
        f"outlet snapped to x {ox:.2f} y {oy:.2f} (row {outlet_row + 1}, column {outlet_col + 1} "
        f"of the DEM), {moved * size:.1f} m from the point given"
    )

    gs.run_command("g.region", raster="dem", quiet=True)
    gs.run_command("r.water.outlet", input="flow_dir", output="basin",
                   coordinates=(ox, oy), quiet=True)
    # From here on GRASS works on the basin and a one-cell border around it,
    # which may reach beyond the DEM (those cells read as no data).
    gs.run_command("g.region", zoom="basin", quiet=True)
    gs.run_command("g.region", grow=1, quiet=True)
    crop = gs.region()
    basin = read_int("basin") > 0
    cells = int(basin.sum())
    if cells < threshold:
        raise Refusal(
            f"the basin above the outlet holds {cells} cells ({cells * size * size / 1e6:.4g} km2), "
            f"fewer than the {threshold} of the stream threshold: no stream starts in it. Move the "
            "outlet onto the stream (see --snap) or lower --stream-area."
        )
    outlet = (int(round((crop["n"] - oy) / size - 0.5)), int(round((ox - crop["w"]) / size - 0.5)))
    streams = (read_int("streams") > 0) & basin
    if not streams[outlet]:
        raise Refusal(
            "the snapped outlet is not on a stream cell; give the outlet closer to the stream "
            "or a larger --snap radius."
        )
    mask = basin.astype(numpy.int32)
    ground = read_real("filled")
    routed = time.monotonic()
    check_outlet_on_edge(mask, outlet)
    if numpy.isnan(ground[mask > 0]).any():
        raise Refusal("the basin holds DEM cells without data; fill them or choose another outlet.")

    grid = {
        "rows": int(crop["rows"]), "cols": int(crop["cols"]), "size": size,
        "north": crop["n"], "south": crop["s"], "west": crop["w"], "east": crop["e"],
    }
    stream_cells = [(int(r), int(c)) for r, c in zip(*numpy.nonzero(streams))]
    links, lowered = network.build_network(
        stream_cells, read_int("flow_dir"), numpy.abs(numpy.nan_to_num(read_real("acc"))),
        ground, outlet, size, req["network"],
    )
    notes.append(f"basin: {cells} cells, {cells * size * size / 1e6:.4g} km2; grid of "
                 f"{grid['rows']} rows and {grid['cols']} columns with its border")
    nodes = sum(len(l.node_cells) for l in links)
    notes.append(f"network: {len(links)} links, {nodes} nodes; {lowered} nodes lowered to keep "
                 "the beds falling downstream")
    left_out = len(stream_cells) - sum(len(l.cells) for l in links)
    if left_out:
        notes.append(f"{left_out} stream cells do not drain along the streams to the outlet "
                     "and are left out of the network")

    landuse = soil = None
    if req.get("landuse"):
        landuse = import_index(req["landuse"], "landuse", mask, notes, req["assume_metres"])
    if req.get("soil"):
        soil = import_index(req["soil"], "soil", mask, notes, req["assume_metres"])
    write_map = geotiff_writer if req["geotiff"] else None
    writers.write_all(req, grid, mask, ground, links, outlet, landuse, soil, notes,
                      write_map)
    notes.append(f"GRASS GIS took {routed - started:.1f} s (wall), the network and the files "
                 f"{time.monotonic() - routed:.1f} s")


def geotiff_writer(path, values, integer):
    """Writes a grid map as a GeoTIFF through GRASS, on the cropped grid (the
    current region) and in the location's reference (none for a DEM taken as
    metres)."""
    kind = numpy.int32 if integer else numpy.float64
    a = garray.array(dtype=kind)
    a[...] = values
    a.write("map_out", overwrite=True, quiet=True)
    gs.run_command("r.out.gdal", flags="cf", input="map_out", output=path, format="GTiff",
                   type="Int32" if integer else "Float64", createopt="COMPRESS=DEFLATE",
                   quiet=True, overwrite=True)


def set_window(region, r0, r1, c0, c1):
    """The region of DEM rows r0 to r1 - 1 and columns c0 to c1 - 1."""
    size = region["nsres"]
    gs.run_command("g.region", n=region["n"] - r0 * size, s=region["n"] - r1 * size,
                   w=region["w"] + c0 * size, e=region["w"] + c1 * size, res=size, quiet=True)


def snap_outlet(acc, row, col, radius):
    """The cell of largest accumulation within `radius` cells of (row, col);
    of equals, the nearest. Returns the cell and the distance in cells."""
    best, best_key = None, None
    r_lo, r_hi = max(0, row - radius), min(acc.shape[0] - 1, row + radius)
    c_lo, c_hi = max(0, col - radius), min(acc.shape[1] - 1, col + radius)
    for r in range(r_lo, r_hi + 1):
        for c in range(c_lo, c_hi + 1):
            d2 = (r - row) ** 2 + (c - col) ** 2
            if d2 > radius * radius or not numpy.isfinite(acc[r, c]):
                continue
            key = (acc[r, c], -d2)
            if best_key is None or key > best_key:
                best, best_key = (r, c), key
    if best is None:
        raise Refusal(f"the DEM has no data within {radius} cells of the outlet.")
    return best, math.sqrt((best[0] - row) ** 2 + (best[1] - col) ** 2)


def check_outlet_on_edge(mask, outlet):
    """Water leaves the basin at the outlet, so it must touch a cell outside."""
    r, c = outlet
    if all(mask[r + dr, c + dc] for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1))):
        raise Refusal(
            f"the outlet (row {r + 1}, column {c + 1} of the cropped grid) is surrounded by basin "
            "cells on all four sides, so water cannot leave there; move it a cell downstream."
        )


def import_index(path, name, mask, notes, xy_location):
    """A land-use or soil raster, resampled by nearest neighbour to the DEM's
    grid: the class of each cell, which must be a whole number of 1 or more
    inside the basin."""
    reference = gs.read_command("g.proj", flags="g", georef=path, quiet=True)
    if "proj=" in reference and not xy_location:
        gs.run_command("r.import", input=path, output=f"{name}_in", resample="nearest",
                       extent="region", resolution="region", quiet=True, overwrite=True)
    else:
        # Without a reference of its own (or in a DEM taken as metres) the
        # raster is taken to be in the DEM's coordinates; reading it on the
        # DEM's region resamples it by nearest neighbour.
        gs.run_command("r.in.gdal", flags="o", input=path, band=1, output=f"{name}_in",
                       quiet=True, overwrite=True)
        if "proj=" not in reference:
            notes.append(f"the {name} raster has no spatial reference: taken to be in the DEM's "
                         "coordinates")
    classes = read_real(f"{name}_in")
    inside = classes[mask > 0]
    if numpy.isnan(inside).any():
        raise Refusal(f"the {name} raster {path} has no value in some cells of the basin.")
    if (inside < 1).any() or (inside > MAX_CLASS).any() or (inside != numpy.round(inside)).any():
        raise Refusal(f"the {name} raster {path} must hold whole class numbers from 1 to "
                      f"{MAX_CLASS} inside the basin.")
    found = sorted({int(v) for v in inside})
    notes.append(f"{name} classes in the basin: {', '.join(str(v) for v in found)}")
    return numpy.where(numpy.isnan(classes), 0, classes).astype(numpy.int64)


def main(request_path):
    with open(request_path) as f:
        req = json.load(f)
    notes = []
    report = {"ok": False, "notes": notes}
    status = 0
    try:
        run(req, notes)
        report["ok"] = True
    except Refusal as e:
        report["error"] = str(e)
        status = 2
    except writers.WriteFailure as e:
        report["error"] = str(e)
        status = 2
    except CalledModuleError as e:
        report["error"] = f"GRASS GIS failed: {e}"
        report["grass_failed"] = True
        status = 3
    except Exception:  # an internal fault: report it whole rather than lose it
        report["error"] = "internal error:\n" + traceback.format_exc()
        status = 3
    with open(req["report"], "w") as f:
        json.dump(report, f)
    sys.exit(status)


