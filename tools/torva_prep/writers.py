"""The files of a prepared project: mask and elevation grid maps, the channel
input file, the grid-stream file, index maps with their mapping table, and
the project file that names them all.

Every name written is relative to the project folder, so the project runs
from inside it: cd folder && torva project.prj.
"""

import math
import os

import numpy

from torva_prep import network
from torva_prep.files import CHANNELS, GRID_STREAM, OUTPUT_FOLDER, PROJECT, TABLES, map_name

# Steps the starter project may take, in seconds.
TIME_STEPS = [0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0]
# Green and Ampt parameters of loam (Rawls, Brakensiek and Miller, 1983):
# conductivity cm/h, wetting front capillary head cm, porosity, pore size
# distribution index, residual saturation; and a moist initial water content.
LOAM = (0.34, 8.89, 0.463, 0.252, 0.027)
LOAM_INITIAL_MOISTURE = 0.25


class WriteFailure(Exception):
    """A file of the project could not be written in full."""


def write_text(folder, name, text_or_writer):
    path = os.path.join(folder, name)
    try:
        with open(path, "w") as f:
            if callable(text_or_writer):
                text_or_writer(f)
            else:
                f.write(text_or_writer)
    except OSError as e:
        raise WriteFailure(f"cannot write {path}: {e.strerror or e}") from e


def map_header(grid):
    return (f"north: {grid['north']:.4f}\nsouth: {grid['south']:.4f}\n"
            f"east: {grid['east']:.4f}\nwest: {grid['west']:.4f}\n"
            f"rows: {grid['rows']}\ncols: {grid['cols']}\n")


def write_grid_map(folder, name, grid, values, form):
    def write(f):
        f.write(map_header(grid))
        numpy.savetxt(f, values, fmt=form, delimiter=" ")
    write_text(folder, name, write)


def steepest_slope(mask, ground, size):
    """The steepest fall between two edge neighbours inside the basin."""
    inside = mask > 0
    steepest = 0.0
    for a, b, both in ((ground[1:, :], ground[:-1, :], inside[1:, :] & inside[:-1, :]),
                       (ground[:, 1:], ground[:, :-1], inside[:, 1:] & inside[:, :-1])):
        if both.any():
            steepest = max(steepest, float(numpy.abs(a - b)[both].max()) / size)
    return steepest


def choose_time_step(size, slope, manning_n):
    """A quarter of the time a kinematic wave 10 cm deep takes to cross one
    cell at the steepest slope (at least 0.001), rounded down to a step of
    TIME_STEPS."""
    depth = 0.1
    velocity = depth ** (2.0 / 3.0) * math.sqrt(max(slope, 0.001)) / manning_n
    limit = 0.25 * size / (5.0 / 3.0 * velocity)
    fitting = [s for s in TIME_STEPS if s <= limit]
    return fitting[-1] if fitting else TIME_STEPS[0]


def channel_text(links, options):
    lines = ["TORVA_CHAN", "ALPHA 1.0", "BETA 0.6", "THETA 0.7", f"LINKS {len(links)}",
             f"MAXNODES {max(len(l.node_cells) for l in links)}"]
    for l in links:
        ups = sorted(u.number for u in l.upstream)
        lines.append(" ".join(str(v) for v in ["CONNECT", l.number, l.downstream, len(ups)] + ups))
    for l in links:
        lines += [f"LINK {l.number}", "TRAPEZOID", f"NODES {len(l.node_cells)}",
                  f"DX {l.dx:.4f}", f"MANNINGS_N {options['channel_n']:g}"]
        for node, bed in enumerate(l.beds, start=1):
            lines += [f"NODE {node}", f"ELEV {bed:.4f}"]
        lines += ["NODE 1", "XSEC", f"BOTTOM_WIDTH {l.bottom_width:.3f}",
                  f"SIDE_SLOPE {options['side_slope']:g}",
                  f"BANKFULL_DEPTH {l.bankfull_depth:.3f}"]
    return "\n".join(lines) + "\n"


def grid_stream_text(links):
    cells = network.stream_cell_entries(links)
    out = [f"GRIDSTREAMFILE\nSTREAMCELLS {len(cells)}\n"]
    for (r, c), entries in sorted(cells.items()):
        out.append(f"CELLIJ {r + 1} {c + 1}\nNUMNODES {len(entries)}\n")
        for link, node, fraction in entries:
            out.append(f"LINKNODE {link} {node} {fraction:.6f}\n")
    return "".join(out)


def table_row(ident, description, values):
    return f"{ident:<6d}{description:<80.80s}" + " ".join(f"{v:g}" for v in values) + "\n"


def tables_text(landuse, soil, mask, overland_n, geotiff):
    lines = ["TORVA_INDEX_MAP_TABLES\n"]
    if landuse is not None:
        lines.append(f'INDEX_MAP {map_name("landuse", geotiff)} "Land use"\n')
    if soil is not None:
        lines.append(f'INDEX_MAP {map_name("soil", geotiff)} "Soil"\n')
    if landuse is not None:
        ids = sorted({int(v) for v in landuse[mask > 0]})
        lines += ['ROUGHNESS "Land use"\n', f"NUM_IDS {ids[-1]}\n",
                  "ID    DESCRIPTION" + " " * 69 + "MANNING_N\n"]
        lines += [table_row(k, f"land use class {k}", [overland_n]) for k in range(1, ids[-1] + 1)]
    if soil is not None:
        ids = sorted({int(v) for v in soil[mask > 0]})
        lines += ['GREEN_AMPT_INFILTRATION "Soil"\n', f"NUM_IDS {ids[-1]}\n",
                  "ID    DESCRIPTION" + " " * 69 + "K_cm/h PSI_cm POROSITY PORE_INDEX RESIDUAL UNUSED\n"]
        lines += [table_row(k, f"soil class {k} (loam values: edit)", list(LOAM) + [0.0])
                  for k in range(1, ids[-1] + 1)]
        lines += ['GREEN_AMPT_INITIAL_SOIL_MOISTURE "Soil"\n', f"NUM_IDS {ids[-1]}\n",
                  "ID    DESCRIPTION" + " " * 69 + "MOISTURE\n"]
        lines += [table_row(k, f"soil class {k}", [LOAM_INITIAL_MOISTURE])
                  for k in range(1, ids[-1] + 1)]
    return "".join(lines)


def project_text(req, grid, outlet, slope, time_step, landuse, soil):
    p = req["project"]
    lines = [
        "TORVAPROJECT",
        f"# Made by torva-prep from {os.path.basename(req['dem'])}; run it from this folder:",
        "#   torva project.prj",
        f"WATERSHED_MASK {map_name('mask', req['geotiff'])}",
        f"ELEVATION {map_name('elevation', req['geotiff'])}",
        f"ROWS {grid['rows']}",
        f"COLS {grid['cols']}",
        f"GRIDSIZE {grid['size']:g}",
        f"OUTROW {outlet[0] + 1}",
        f"OUTCOL {outlet[1] + 1}",
        f"OUTSLOPE {slope:.6g}",
        "OVERTYPE ade",
    ]
    if landuse is not None or soil is not None:
        lines.append(f"MAPPING_TABLE {TABLES}")
    if landuse is None:
        lines.append(f"MANNING_N {req['network']['overland_n']:g}")
    if soil is not None:
        lines.append("GREEN_AMPT")
    lines += [
        f"TIMESTEP {time_step:g}",
        f"TOT_TIME {p['minutes']}",
        "HYD_FREQ 5",
        "START_DATE 2024 6 1",
        "START_TIME 12 0",
        "PRECIP_UNIF",
        f"RAIN_INTENSITY {p['rain']:g}",
        f"RAIN_DURATION {p['rain_minutes']}",
        f"CHANNEL_INPUT {CHANNELS}",
        f"STREAM_CELL {GRID_STREAM}",
        "CHAN_EXPLIC",
        f"SUMMARY {OUTPUT_FOLDER}/summary.txt",
        f"OUTLET_HYDRO {OUTPUT_FOLDER}/outlet.otl",
    ]
    return "\n".join(lines) + "\n"


def write_all(req, grid, mask, ground, links, outlet, landuse, soil, notes, write_raster=None):
    """Writes the project. Grid maps go through `write_raster(path, values,
    integer)` when given (GeoTIFFs), else as text grid maps."""
    folder = req["folder"]
    opts = req["network"]
    geotiff = write_raster is not None

    def write_map(what, values, form):
        name = map_name(what, geotiff)
        if not geotiff:
            write_grid_map(folder, name, grid, values, form)
            return
        try:
            write_raster(os.path.join(folder, name), values, form == "%d")
        except Exception as e:
            raise WriteFailure(f"cannot write {os.path.join(folder, name)}: {e}") from e

    try:
        os.makedirs(os.path.join(folder, OUTPUT_FOLDER), exist_ok=True)
    except OSError as e:
        raise WriteFailure(f"cannot make the folder {folder}/{OUTPUT_FOLDER}: {e.strerror}") from e
    write_map("mask", mask, "%d")
    # Cells beyond the DEM's data lie outside the mask; they get the lowest
    # ground of the basin rather than a no-data number.
    shown = numpy.where(numpy.isnan(ground), numpy.nanmin(ground[mask > 0]), ground)
    write_map("elevation", shown, "%.4f")
    write_text(folder, CHANNELS, channel_text(links, opts))
    write_text(folder, GRID_STREAM, grid_stream_text(links))
    if landuse is not None:
        write_map("landuse", landuse * (mask > 0), "%d")
    if soil is not None:
        write_map("soil", soil * (mask > 0), "%d")
    if landuse is not None or soil is not None:
        write_text(folder, TABLES, tables_text(landuse, soil, mask, opts["overland_n"], geotiff))

    last = links[-1]
    outlet_slope = opts["min_bed_slope"]
    if len(last.beds) > 1:
        outlet_slope = max(outlet_slope, (last.beds[-2] - last.beds[-1]) / last.dx)
    slope = steepest_slope(mask, ground, grid["size"])
    time_step = choose_time_step(grid["size"], slope, opts["overland_n"])
    notes.append(f"time step {time_step:g} s for {grid['size']:g} m cells, steepest slope "
                 f"{slope:.4g}, overland n {opts['overland_n']:g}")
    write_text(folder, PROJECT, project_text(req, grid, outlet, outlet_slope, time_step,
                                             landuse, soil))
