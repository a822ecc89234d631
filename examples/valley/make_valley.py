#!/usr/bin/env python3
"""Generates the maps and inputs of the bundled example watershed.

A valley of 120 rows by 100 columns of 20 m cells (2.4 km by 2 km) drains
south. The main stream meanders down the middle of the valley; two
tributaries come in from the north-west and the north-east hills. The land
rises from the streams at a slope that steepens towards the ridges, and a
gentle random roughness of the surface (fixed seed) keeps it from looking
machine-made. The watershed mask holds the cells inside the ridge line, an
ellipse with a wavy edge; the outlet is where the main stream leaves the
mask at the south.

The soils follow the height above the valley floor: sandy loam on the floor,
loam on the slopes and clay loam up by the ridges, with wet silty clay loam in
the stream beds. They carry the Green and Ampt parameters of those textures
and start moist from earlier rain, so that a storm of 25 mm/h runs off the
slopes and the stream beds while the sandy floor soaks much of it up.

The stream network follows the same streams: the two tributaries are
trapezoidal links and the main stem three break-point links (above the
north-east tributary, between the tributaries, and down to the outlet) with
a surveyed-looking section of a low-flow channel, banks and terraces. Nodes
lie about 40 m apart; the grid-stream file gives each stream cell the share
of each node's length inside it, and every bed lies a metre or more below
the ground of the cells its node crosses.

Run from this folder: python3 make_valley.py. Standard library only.
"""

import heapq
import math
import random

ROWS, COLS, SIZE = 120, 100, 20.0
OUTLET_COL = 50
random.seed(7)


def main_stream_col(r):
    """Column of the main stream in row r: it meanders around column 50 and
    straightens over the last 15 rows to leave the watershed at the outlet."""
    straighten = min(1.0, (ROWS - r) / 15.0)
    return OUTLET_COL + 6.0 * math.sin(r / 17.0) * (r / ROWS) * straighten


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


# Tributaries as polylines in (row, col), joining the main stream.
TRIBUTARIES = [
    [(18, 14), (34, 24), (52, 36), (66, main_stream_col(66))],
    [(10, 86), (30, 76), (46, 64), (58, main_stream_col(58))],
]


def stream_distance(r, c):
    """Distance in cells to the nearest stream, and the stream's own bed height."""
    d_main = abs(c - main_stream_col(r))
    best = d_main
    for line in TRIBUTARIES:
        for (ar, ac), (br, bc) in zip(line, line[1:]):
            best = min(best, distance_to_segment(r, c, ar, ac, br, bc))
    return best


def inside(r, c):
    """The ridge line: an ellipse with a wavy edge, open at the outlet."""
    y = (r - 60.5) / 60.0
    x = (c - 50.5) / 47.0
    angle = math.atan2(y, x)
    edge = 0.93 + 0.05 * math.sin(5 * angle) + 0.03 * math.cos(9 * angle)
    return x * x + y * y <= edge * edge or (r >= 110 and abs(c - OUTLET_COL) <= 3)


noise = [[random.uniform(-0.15, 0.15) for _ in range(COLS + 1)] for _ in range(ROWS + 1)]


def elevation(r, c):
    # The valley floor falls 0.8 % towards the outlet (row 120 is lowest).
    floor = 300.0 + 0.008 * SIZE * (ROWS - r)
    d = stream_distance(r, c) * SIZE
    # Side slopes: 6 % near the streams, steepening to about 15 % up the hills.
    sides = 0.06 * d + 0.09 * d * d / (d + 400.0)
    smooth_noise = (noise[r][c] + noise[r - 1][c] + noise[r][c - 1]) / 3.0 if r > 1 and c > 1 else 0.0
    return floor + sides + smooth_noise * min(1.0, d / 60.0)


def land_use(r, c):
    """1 forest on the upper slopes, 2 pasture lower down, 3 the stream corridor."""
    d = stream_distance(r, c)
    if d <= 1.5:
        return 3
    if elevation(r, c) - (300.0 + 0.008 * SIZE * (ROWS - r)) > 45.0:
        return 1
    return 2


# Green and Ampt parameters of the soil textures (Rawls, Brakensiek and Miller,
# 1983): saturated conductivity (cm/h), wetting front capillary head (cm),
# porosity, and the initial water content of a soil still wet from the rain of
# the day before. The stream beds are silty clay loam, fed from the hills and
# close to saturation.
SOILS = {
    "silty clay loam": (0.10, 27.30, 0.471, 0.45),
    "sandy loam": (1.09, 11.01, 0.453, 0.30),
    "loam": (0.34, 8.89, 0.463, 0.34),
    "clay loam": (0.10, 20.88, 0.464, 0.38),
}


def soil_texture(r, c):
    """Silty clay loam in the stream beds, sandy loam on the valley floor, loam
    on the slopes and clay loam by the ridges."""
    if stream_distance(r, c) <= 1.5:
        return "silty clay loam"
    height = elevation(r, c) - (300.0 + 0.008 * SIZE * (ROWS - r))
    if height <= 3.0:
        return "sandy loam"
    if height <= 50.0:
        return "loam"
    return "clay loam"


# Richards columns of three layers for each texture: a topsoil of the texture,
# a finer subsoil, and coarse parent material below it. Brooks-Corey values
# of the textures (Rawls, Brakensiek and Saxton, 1982): saturated conductivity
# (cm/h), saturated and residual water content, pore distribution index,
# bubbling head (cm), wilting point and field capacity. The soils start as
# after a dry week, well below field capacity.
TEXTURES = {
    "loamy sand": (6.11, 0.437, 0.035, 0.474, 8.69, 0.055, 0.125),
    "sandy loam": (2.59, 0.453, 0.041, 0.322, 14.66, 0.095, 0.207),
    "loam": (1.32, 0.463, 0.027, 0.220, 11.15, 0.117, 0.270),
    "clay loam": (0.23, 0.464, 0.075, 0.194, 25.89, 0.197, 0.318),
    "silty clay loam": (0.15, 0.471, 0.040, 0.151, 32.56, 0.208, 0.366),
}
# Per soil index: the texture of each layer, its thickness and node spacing
# (cm), and the initial water content.
PROFILES = {
    1: ("silty clay loam", [("silty clay loam", 10, 2.5, 0.40), ("clay loam", 30, 5, 0.38),
                            ("loamy sand", 60, 10, 0.30)]),
    2: ("sandy loam", [("sandy loam", 10, 2.5, 0.12), ("loam", 30, 5, 0.18),
                       ("loamy sand", 60, 10, 0.10)]),
    3: ("loam", [("loam", 10, 2.5, 0.15), ("clay loam", 30, 5, 0.24),
                 ("loamy sand", 60, 10, 0.10)]),
    4: ("clay loam", [("clay loam", 10, 2.5, 0.22), ("clay loam", 30, 5, 0.25),
                      ("sandy loam", 60, 10, 0.15)]),
}
SOIL_INDEX = {profile[0]: index for index, profile in PROFILES.items()}


def header():
    return (f"north: {ROWS * SIZE:.1f}\nsouth: 0.0\neast: {COLS * SIZE:.1f}\nwest: 0.0\n"
            f"rows: {ROWS}\ncols: {COLS}\n")


def drain_to_outlet(mask, z):
    """Fills every pit: a priority flood from the outlet raises each cell to
    at least 1 mm above the cell it drains through, so all water can reach the
    outlet over the surface."""
    done = [[False] * COLS for _ in range(ROWS)]
    heap = [(z[ROWS - 1][OUTLET_COL - 1], ROWS - 1, OUTLET_COL - 1)]
    done[ROWS - 1][OUTLET_COL - 1] = True
    while heap:
        h, r, c = heapq.heappop(heap)
        for nr, nc in ((r - 1, c), (r + 1, c), (r, c - 1), (r, c + 1)):
            if 0 <= nr < ROWS and 0 <= nc < COLS and mask[nr][nc] and not done[nr][nc]:
                done[nr][nc] = True
                z[nr][nc] = max(z[nr][nc], h + 0.001)
                heapq.heappush(heap, (z[nr][nc], nr, nc))
    # Cells the flood could not reach are cut off from the outlet: leave them out.
    for r in range(ROWS):
        for c in range(COLS):
            if mask[r][c] and not done[r][c]:
                mask[r][c] = 0


def write_maps():
    mask = [[1 if inside(r, c) else 0 for c in range(1, COLS + 1)] for r in range(1, ROWS + 1)]
    mask[ROWS - 1][OUTLET_COL - 1] = 1
    z = [[elevation(r, c) for c in range(1, COLS + 1)] for r in range(1, ROWS + 1)]
    drain_to_outlet(mask, z)
    write_maps.mask, write_maps.z = mask, z
    with open("valley.msk", "w") as f:
        f.write(header())
        for row in mask:
            f.write(" ".join(str(v) for v in row) + "\n")
    with open("valley.ele", "w") as f:
        f.write(header())
        for r in range(1, ROWS + 1):
            f.write(" ".join(f"{z[r - 1][c - 1]:.4f}" for c in range(1, COLS + 1)) + "\n")
    with open("landuse.idx", "w") as f:
        f.write(header())
        for r in range(1, ROWS + 1):
            f.write(" ".join(str(land_use(r, c)) for c in range(1, COLS + 1)) + "\n")
    return sum(map(sum, mask))


def write_soil_maps():
    """One map per Green and Ampt parameter, in the units the project cards take."""
    soils = [[SOILS[soil_texture(r, c)] for c in range(1, COLS + 1)] for r in range(1, ROWS + 1)]
    maps = [("conductivity.map", 0, "{:.2f}"), ("capillary.map", 1, "{:.2f}"),
            ("porosity.map", 2, "{:.3f}"), ("moisture.map", 3, "{:.2f}")]
    for name, column, form in maps:
        with open(name, "w") as f:
            f.write(header())
            for row in soils:
                f.write(" ".join(form.format(cell[column]) for cell in row) + "\n")


def write_richards_soils():
    """The soil index map (one profile per texture) and the Richards soil table."""
    with open("soil.idx", "w") as f:
        f.write(header())
        for r in range(1, ROWS + 1):
            f.write(" ".join(str(SOIL_INDEX[soil_texture(r, c)]) for c in range(1, COLS + 1)) + "\n")
    with open("valley_soil.tbl", "w") as f:
        f.write(f"{len(PROFILES)} 0\n")
        for index, (_, layers) in PROFILES.items():
            f.write(f"{index}\n")
            for k, (texture, thickness, spacing, initial) in enumerate(layers):
                ks, ts, tr, lam, hb, wp, fc = TEXTURES[texture]
                root_share = 1 if k == 0 else 0
                f.write(f"{ks} {ts} {tr} {initial} {lam} {hb} {thickness} {wp} {fc} {spacing} "
                        f"{root_share}\n")
    with open("valley_theta.in", "w") as f:
        # A cell of each profile: stream bed, valley floor, slope, ridge.
        cells = []
        for index in sorted(PROFILES):
            r, c = next((r, c) for r in range(60, ROWS + 1) for c in range(1, COLS + 1)
                        if write_maps.mask[r - 1][c - 1] and
                        SOIL_INDEX[soil_texture(r, c)] == index)
            cells.append((r, c))
        f.write(f"{len(cells)}\n" + "".join(f"{r} {c}\n" for r, c in cells))


def table_row(ident, description, value):
    return f"{ident:<6d}{description:<80.80s}{value:.4f}\n"


def write_mapping_table():
    with open("valley.cmt", "w") as f:
        f.write("TORVA_INDEX_MAP_TABLES\n")
        f.write('INDEX_MAP examples/valley/landuse.idx "Land use"\n')
        f.write('ROUGHNESS "Land use"\n')
        f.write("NUM_IDS 3\n")
        f.write("ID    DESCRIPTION" + " " * 69 + "MANNING_N\n")
        f.write(table_row(1, "Forest", 0.20))
        f.write(table_row(2, "Pasture", 0.08))
        f.write(table_row(3, "Stream corridor", 0.04))


def write_gauges():
    """A storm that crosses the valley from the west: three gauges, 10-minute depths."""
    gauges = [("West_Ridge", 300.0, 1700.0), ("Valley_Floor", 1000.0, 1200.0),
              ("East_Ridge", 1750.0, 600.0)]
    depths = [  # mm in each 10-minute interval ending at the time stamp
        (0.0, 0.0, 0.0), (2.0, 0.5, 0.0), (6.0, 3.0, 1.0), (9.0, 7.5, 4.0),
        (5.0, 8.0, 7.0), (2.5, 4.0, 6.5), (1.0, 2.0, 3.0), (0.0, 0.5, 1.0), (0.0, 0.0, 0.0)]
    with open("valley.gag", "w") as f:
        f.write('EVENT "Afternoon storm"\n')
        f.write(f"NRGAG {len(gauges)}\nNRPDS {len(depths)}\n")
        for name, x, y in gauges:
            f.write(f"COORD {x:.1f} {y:.1f} {name}\n")
        for k, values in enumerate(depths):
            minute = 10 * k
            f.write(f"GAGES 2021 7 14 {14 + minute // 60} {minute % 60} "
                    + " ".join(f"{v:.1f}" for v in values) + "\n")


# The stream network. Paths run downstream in (row, col) cell coordinates,
# cell centres at whole numbers.
NODE_SPACING = 40.0  # m, about
BANK_HEIGHT = 1.0  # m of bed below the lowest ground a node crosses
# A surveyed section of the main stem: station (m) and height above its
# thalweg (m), left bank to right; a low-flow channel, banks and terraces.
MAIN_SECTION = [(0.0, 3.1), (4.0, 2.7), (9.0, 2.3), (12.5, 1.7), (14.0, 0.9), (15.5, 0.3),
                (17.0, 0.0), (18.5, 0.15), (20.0, 0.6), (21.5, 1.3), (25.0, 1.9),
                (30.0, 2.4), (36.0, 3.0)]
# The section at the outlet is wider: the last link interpolates its nodes'
# sections between the two.
OUTLET_SECTION = [(0.0, 3.1), (5.0, 2.7), (11.0, 2.3), (15.0, 1.7), (16.5, 0.9), (18.5, 0.3),
                  (20.5, 0.0), (22.5, 0.15), (24.5, 0.6), (26.0, 1.3), (30.0, 1.9),
                  (36.0, 2.4), (44.0, 3.0)]


def cell_of(point):
    return (math.floor(point[0] + 0.5), math.floor(point[1] + 0.5))


def main_stem(first_row, last_row):
    return [(r, main_stream_col(r)) for r in range(first_row, last_row + 1)]


def inside_from(path, mask):
    """The path from the first point whose cell, and the next two cells'
    worth of path, lie inside the mask."""
    samples = sample(path, 0.05)
    for k, point in enumerate(samples):
        ahead = samples[k:k + 40]
        if all(mask[cell_of(p)[0] - 1][cell_of(p)[1] - 1] for p in ahead):
            return [point] + [p for p in path if p[0] > point[0] + 1e-9]
    raise SystemExit("a stream lies outside the watershed")


def sample(path, step):
    """Points along the path no more than `step` cells apart."""
    points = [path[0]]
    for a, b in zip(path, path[1:]):
        n = max(1, math.ceil(math.hypot(b[0] - a[0], b[1] - a[1]) / step))
        points += [(a[0] + (b[0] - a[0]) * k / n, a[1] + (b[1] - a[1]) * k / n)
                   for k in range(1, n + 1)]
    return points


def place_nodes(path):
    """Splits the path into nodes of equal length: the node count, the
    spacing (m) and per node the length (m) it has in each cell."""
    points = sample(path, 0.01)
    length = sum(math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in zip(points, points[1:])) * SIZE
    nodes = max(2, round(length / NODE_SPACING))
    dx = length / nodes
    shares = [dict() for _ in range(nodes)]
    s = 0.0
    for a, b in zip(points, points[1:]):
        piece = math.hypot(b[0] - a[0], b[1] - a[1]) * SIZE
        middle = ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
        node = min(nodes - 1, int((s + piece / 2) / dx))
        cell = cell_of(middle)
        shares[node][cell] = shares[node].get(cell, 0.0) + piece
        s += piece
    return nodes, dx, shares


def network_links(mask):
    """Links 1 and 2 the tributaries, 3 to 5 the main stem; (path, downstream
    link, upstream links) each."""
    head = next(r for r in range(1, ROWS + 1)
                if mask[r - 1][math.floor(main_stream_col(r) + 0.5) - 1])
    west, east = TRIBUTARIES
    return [
        (inside_from(west, mask), 5, []),
        (inside_from(east, mask), 4, []),
        (main_stem(head + 1, 58), 4, []),
        (main_stem(58, 66), 5, [2, 3]),
        (main_stem(66, ROWS), 0, [1, 4]),
    ]


def write_network():
    mask, z = write_maps.mask, write_maps.z
    links = network_links(mask)
    placed = [place_nodes(path) for path, _, _ in links]
    # Beds a metre below the lowest ground of each node's cells, never rising
    # downstream; a link starts below the ends of the links that feed it.
    beds = []
    for k, (nodes, dx, shares) in enumerate(placed):
        ends = [beds[u - 1][-1] for u in links[k][2]]
        bed = []
        for node in range(nodes):
            ground = min(z[r - 1][c - 1] for r, c in shares[node])
            level = ground - BANK_HEIGHT
            previous = bed[-1] if bed else (min(ends) if ends else None)
            if previous is not None:
                level = min(level, previous - 0.01)
            bed.append(level)
        beds.append(bed)

    def section(points, node):
        return ([f"NODE {node}", f"NPAIRS {len(points)}", "NUM_INTERP 62"]
                + [f"X1 {x:.2f} {y:.2f}" for x, y in points])

    lines = ["TORVA_CHAN", "ALPHA 1.0", "BETA 0.6", "THETA 0.7", f"LINKS {len(links)}",
             f"MAXNODES {max(p[0] for p in placed)}"]
    for k, (_, down, ups) in enumerate(links, start=1):
        lines.append(" ".join(str(v) for v in ["CONNECT", k, down, len(ups)] + ups))
    for k, ((nodes, dx, shares), bed) in enumerate(zip(placed, beds), start=1):
        trapezoid = k <= 2
        lines += [f"LINK {k}", "TRAPEZOID" if trapezoid else "BREAKPOINT", f"NODES {nodes}",
                  f"DX {dx:.3f}", f"MANNINGS_N {0.045 if trapezoid else 0.035}"]
        for node in range(1, nodes + 1):
            lines += [f"NODE {node}", f"ELEV {bed[node - 1]:.3f}"]
        if trapezoid:
            lines += ["NODE 1", "XSEC", "BOTTOM_WIDTH 1.5", "SIDE_SLOPE 1.5", "BANKFULL_DEPTH 1.0"]
        else:
            lines += section(MAIN_SECTION, 1)
            if k == len(links):
                lines += section(OUTLET_SECTION, nodes)
    with open("valley.chn", "w") as f:
        f.write("\n".join(lines) + "\n")

    cells = {}
    for k, (nodes, dx, shares) in enumerate(placed, start=1):
        for node in range(nodes):
            # Shares of the node's own sampled length, so that they add up to 1.
            length = sum(shares[node].values())
            for cell, piece in shares[node].items():
                cells.setdefault(cell, []).append((k, node + 1, piece / length))
    with open("valley.gst", "w") as f:
        f.write(f"GRIDSTREAMFILE\nSTREAMCELLS {len(cells)}\n")
        for (r, c), entries in sorted(cells.items()):
            f.write(f"CELLIJ {r} {c}\nNUMNODES {len(entries)}\n")
            for link, node, fraction in entries:
                f.write(f"LINKNODE {link} {node} {fraction:.6f}\n")
    return len(links), len(cells)


COMMON = f"""TORVAPROJECT
WATERSHED_MASK examples/valley/valley.msk
ELEVATION examples/valley/valley.ele
MAPPING_TABLE examples/valley/valley.cmt
ROWS {ROWS}
COLS {COLS}
GRIDSIZE {SIZE:.0f}
OUTROW {ROWS}
OUTCOL {OUTLET_COL}
OUTSLOPE 0.008
OVERTYPE ade
RETENTION 1.0
TIMESTEP 2
HYD_FREQ 5
MAP_FREQ 60
"""


def write_projects():
    with open("valley_uniform.prj", "w") as f:
        f.write(COMMON)
        f.write("TOT_TIME 120\nSTART_DATE 2021 7 14\nSTART_TIME 14 0\n"
                "PRECIP_UNIF\nRAIN_INTENSITY 25.0\nRAIN_DURATION 45\n"
                "SUMMARY examples/valley/out/uniform_summary.txt\n"
                "OUTLET_HYDRO examples/valley/out/uniform.otl\n")
    with open("valley_gauges.prj", "w") as f:
        f.write(COMMON)
        f.write("TOT_TIME 240\nPRECIP_FILE examples/valley/valley.gag\nRAIN_INV_DISTANCE\n"
                "SUMMARY examples/valley/out/gauges_summary.txt\n"
                "OUTLET_HYDRO examples/valley/out/gauges.otl\n")
    with open("valley_infiltration.prj", "w") as f:
        f.write(COMMON)
        f.write("TOT_TIME 120\nSTART_DATE 2021 7 14\nSTART_TIME 14 0\n"
                "PRECIP_UNIF\nRAIN_INTENSITY 25.0\nRAIN_DURATION 45\n"
                "GREEN_AMPT\n"
                "CONDUCTIVITY examples/valley/conductivity.map\n"
                "CAPILLARY examples/valley/capillary.map\n"
                "POROSITY examples/valley/porosity.map\n"
                "MOISTURE examples/valley/moisture.map\n"
                "SUMMARY examples/valley/out/infiltration_summary.txt\n"
                "OUTLET_HYDRO examples/valley/out/infiltration.otl\n")
    # The streams routed, with discharge and depth at the ends of the links
    # (valley.loc: each branch where it joins, and the outlet) and the
    # discharge and depth at every node in link/node files.
    with open("valley_channel.prj", "w") as f:
        f.write(COMMON)
        f.write("TOT_TIME 120\nSTART_DATE 2021 7 14\nSTART_TIME 14 0\n"
                "PRECIP_UNIF\nRAIN_INTENSITY 25.0\nRAIN_DURATION 45\n"
                "CHANNEL_INPUT examples/valley/valley.chn\n"
                "STREAM_CELL examples/valley/valley.gst\n"
                "SUMMARY examples/valley/out/channel_summary.txt\n"
                "OUTLET_HYDRO examples/valley/out/channel.otl\n"
                "CHAN_EXPLIC\n"
                "IN_HYD_LOCATION examples/valley/valley.loc\n"
                "OUT_HYD_LOCATION examples/valley/out/channel_locations.q\n"
                "OUT_DEP_LOCATION examples/valley/out/channel_locations.dep\n"
                "CHAN_DISCHARGE examples/valley/out/channel_discharge.lnd\n"
                "CHAN_DEPTH examples/valley/out/channel_depth.lnd\n")
    # The same storm on three-layer soil columns (Richards equation), with the
    # water content of every node at one cell of each soil profile.
    with open("valley_richards.prj", "w") as f:
        f.write(COMMON)
        f.write("TOT_TIME 120\nSTART_DATE 2021 7 14\nSTART_TIME 14 0\n"
                "PRECIP_UNIF\nRAIN_INTENSITY 25.0\nRAIN_DURATION 45\n"
                "INF_RICHARDS\n"
                "SOIL_LAYER_INPUT_FILE examples/valley/valley_soil.tbl\n"
                "SOIL_TYPE_MAP examples/valley/soil.idx\n"
                "RICHARDS_ITER_MAX 10\n"
                "IN_THETA_LOCATION examples/valley/valley_theta.in\n"
                "OUT_THETA_LOCATION examples/valley/out/richards_theta.dat\n"
                "SUMMARY examples/valley/out/richards_summary.txt\n"
                "OUTLET_HYDRO examples/valley/out/richards.otl\n")
    with open("valley.loc", "w") as f:
        f.write("5\n1 26\n2 27\n3 25\n4 4\n5 27\n")


if __name__ == "__main__":
    cells = write_maps()
    write_soil_maps()
    write_richards_soils()
    write_mapping_table()
    write_gauges()
    links, stream_cells = write_network()
    write_projects()
    print(f"{cells} cells in the watershed, outlet at row {ROWS} column {OUTLET_COL}; "
          f"{links} channel links in {stream_cells} stream cells")
