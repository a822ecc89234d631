"""torva-prep end to end: synthetic DEMs made in a temporary folder go through
GRASS GIS to a project, and the built torva runs the project.

Run by ctest; TORVA_BINARY names the torva program. Every case that needs
GRASS GIS is skipped, with a message, where it is not installed.
"""

import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
PREP = os.path.join(SOURCE, "tools", "torva-prep")
TORVA = os.environ.get("TORVA_BINARY", os.path.join(SOURCE, "build", "torva"))
HAVE_GRASS = shutil.which("grass") is not None
NO_GRASS = "GRASS GIS is not installed (apt-get install grass-core): torva-prep cannot run"

# WGS 84 / UTM zone 33N, as an ESRI .prj file beside an ASCII grid gives it.
UTM33 = ('PROJCS["WGS_1984_UTM_Zone_33N",GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",'
         'SPHEROID["WGS_1984",6378137.0,298.257223563]],PRIMEM["Greenwich",0.0],'
         'UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],'
         'PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],'
         'PARAMETER["Central_Meridian",15.0],PARAMETER["Scale_Factor",0.9996],'
         'PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]]')
WGS84 = ('GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,'
         '298.257223563]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]]')
X0, Y0 = 500000.0, 4000000.0  # south-west corner of the synthetic DEMs


def write_dem(path, z, size=10.0, x0=X0, y0=Y0, reference=UTM33, nodata=None):
    """An ASCII grid (north row first) with its .prj; no .prj without a
    reference."""
    with open(path, "w") as f:
        f.write(f"ncols {len(z[0])}\nnrows {len(z)}\nxllcorner {x0}\nyllcorner {y0}\n"
                f"cellsize {size}\n")
        if nodata is not None:
            f.write(f"NODATA_value {nodata}\n")
        for row in z:
            f.write(" ".join(f"{v:.4f}" for v in row) + "\n")
    if reference:
        with open(os.path.splitext(path)[0] + ".prj", "w") as f:
            f.write(reference)
    return path


def v_catchment(rows=40, cols=31, size=10.0):
    """Two planes falling 5 % towards the middle column, which falls 1 %
    towards the south edge."""
    mid = cols // 2
    return [[100.0 + 0.01 * size * (rows - 1 - r) + 0.05 * size * abs(c - mid)
             for c in range(cols)] for r in range(rows)]


def centre(row, col, size=10.0, rows=40):
    """Coordinates of the centre of a DEM cell (row and column from 0)."""
    return X0 + (col + 0.5) * size, Y0 + (rows - row - 0.5) * size


def prep(args, env=None):
    return subprocess.run([sys.executable, PREP] + args, capture_output=True, text=True,
                          env=env)


def run_torva(folder):
    done = subprocess.run([TORVA, "project.prj"], cwd=folder, capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError("torva failed:\n" + done.stdout[-3000:] + done.stderr[-2000:])
    return done.stdout


def hydrograph(folder, name="outlet.otl"):
    with open(os.path.join(folder, "out", name)) as f:
        return [tuple(float(v) for v in line.split()) for line in f if line.strip()]


def overall_balance(folder):
    with open(os.path.join(folder, "out", "summary.txt")) as f:
        found = re.search(r"Overall mass balance error =\s*(\S+) percent", f.read())
    return float(found.group(1))


def channel_file(folder):
    """(links, CONNECT cards as tuples, beds per link)."""
    connects, beds, link = [], {}, 0
    with open(os.path.join(folder, "network.chn")) as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            if words[0] == "LINKS":
                links = int(words[1])
            elif words[0] == "CONNECT":
                connects.append(tuple(int(w) for w in words[1:]))
            elif words[0] == "LINK":
                link = int(words[1])
                beds[link] = []
            elif words[0] == "ELEV":
                beds[link].append(float(words[1]))
    return links, connects, beds


def stream_cells(folder):
    with open(os.path.join(folder, "network.gst")) as f:
        return [tuple(int(w) for w in line.split()[1:]) for line in f
                if line.startswith("CELLIJ")]


def thalweg_problems(folder):
    with open(os.path.join(folder, "bad_thalweg.dat")) as f:
        return f.read().splitlines()[2:]


class Folder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="torva-prep-test-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        # GRASS keeps its temporary location under TMPDIR and its settings
        # under HOME: both stay inside the test's folder.
        self.env = dict(os.environ, HOME=self.tmp, TMPDIR=self.tmp)

    def path(self, *names):
        return os.path.join(self.tmp, *names)

    def prepare(self, args):
        done = prep(args, self.env)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return done.stdout


@unittest.skipUnless(HAVE_GRASS, NO_GRASS)
class VCatchment(Folder):
    def test_one_link_down_the_channel_column_and_the_plateau_is_rain_times_area(self):
        dem = write_dem(self.path("v.asc"), v_catchment())
        # Two cells west of the channel's last cell: the outlet snaps onto it.
        x, y = centre(39, 13)
        out = self.path("v")
        said = self.prepare([dem, "--outlet", str(x), str(y), "-o", out, "--stream-area",
                             "0.002", "--rain-minutes", "60", "--minutes", "70"])
        self.assertIn("(row 40, column 16 of the DEM), 20.0 m from the point given", said)
        with open(os.path.join(out, "project.prj")) as f:
            project = f.read()
        self.assertIn("OUTROW 41\nOUTCOL 17\n", project)
        links, connects, beds = channel_file(out)
        self.assertEqual(links, 1)
        self.assertEqual(connects, [(1, 0, 0)])
        # The middle column of the DEM is column 17 of the grid with its border.
        cells = stream_cells(out)
        self.assertTrue(all(c == 17 for _, c in cells), cells)
        self.assertEqual(max(r for r, _ in cells), 41)
        self.assertTrue(all(a >= b for a, b in zip(beds[1], beds[1][1:])), beds)

        run_torva(out)
        # The whole DEM drains to the outlet: 1240 cells of 100 m2 under
        # 25 mm/h give 1240 * 100 * 0.025 / 3600 = 0.86111 m3/s at steady state.
        plateau = hydrograph(out)[11][1]  # 55 minutes
        self.assertAlmostEqual(plateau, 0.86111, delta=0.01 * 0.86111)
        self.assertLess(abs(overall_balance(out)), 0.001)
        self.assertEqual(thalweg_problems(out), [])


@unittest.skipUnless(HAVE_GRASS, NO_GRASS)
class YNetwork(Folder):
    def test_three_links_join_at_the_junction_and_drain_to_higher_numbers(self):
        # Two branches from the north-west and north-east corners meet at row
        # 20 of the middle column, and the stem runs south to the outlet;
        # the land rises 6 % away from the nearest branch.
        rows, cols = 40, 31
        lines = [((0.0, 3.0), (20.0, 15.0)), ((0.0, 27.0), (20.0, 15.0)),
                 ((20.0, 15.0), (39.0, 15.0))]

        def height(r, c):
            best = None
            for (ar, ac), (br, bc) in lines:
                dr, dc = br - ar, bc - ac
                t = max(0.0, min(1.0, ((r - ar) * dr + (c - ac) * dc) / (dr * dr + dc * dc)))
                d = math.hypot(r - ar - t * dr, c - ac - t * dc)
                along = (39.0 - r) if ar == 20.0 else 19.0 + (1 - t) * math.hypot(dr, dc)
                z = 100.0 + 0.2 * along + 0.6 * d
                best = z if best is None else min(best, z)
            return best

        dem = write_dem(self.path("y.asc"), [[height(r, c) for c in range(cols)]
                                             for r in range(rows)])
        # Soil class 1 west of the stem, 2 east of it; written as GeoTIFFs.
        soil = write_dem(self.path("soil.asc"), [[1 if c < 15 else 2 for c in range(cols)]
                                                 for _ in range(rows)])
        x, y = centre(39, 15)
        out = self.path("y")
        self.prepare([dem, "--outlet", str(x), str(y), "-o", out, "--stream-area", "0.003",
                      "--minutes", "30", "--rain-minutes", "20", "--soil", soil, "--geotiff"])
        links, connects, beds = channel_file(out)
        self.assertEqual(links, 3)
        self.assertEqual(sorted(connects), [(1, 3, 0), (2, 3, 0), (3, 0, 2, 1, 2)])
        # The stem starts below the ends of both branches.
        self.assertLessEqual(beds[3][0], min(beds[1][-1], beds[2][-1]))
        with open(os.path.join(out, "tables.cmt")) as f:
            tables = f.read()
        self.assertIn('INDEX_MAP soil.tif "Soil"', tables)
        self.assertEqual(tables.count("NUM_IDS 2"), 2)
        self.assertTrue(os.path.exists(os.path.join(out, "mask.tif")))

        console = run_torva(out)
        self.assertLess(abs(overall_balance(out)), 0.001)
        self.assertEqual(thalweg_problems(out), [])
        # The whole DEM drains to the outlet: 40 rows of 15 cells west of the
        # stem and 16 east of it, each in its class; and loam takes water in.
        self.assertIn("In map soil.tif category 1 has 600 values", console)
        self.assertIn("In map soil.tif category 2 has 640 values", console)
        with open(os.path.join(out, "out", "summary.txt")) as f:
            summary = f.read()
        infiltrated = float(re.search(r"volume of infiltration:\s*(\S+)", summary).group(1))
        self.assertGreater(infiltrated, 0.0)


@unittest.skipUnless(HAVE_GRASS, NO_GRASS)
class PitAndFlat(Folder):
    def test_the_pit_is_filled_and_the_flat_reach_drains(self):
        z = v_catchment()
        # A flat reach of the channel column over rows 10 to 19 and a pit
        # two metres deep in it at row 15.
        for r in range(10, 20):
            for c in range(31):
                z[r][c] = 100.0 + 0.1 * 20 + 0.5 * abs(c - 15)
        z[15][15] -= 2.0
        dem = write_dem(self.path("pit.asc"), z)
        x, y = centre(39, 15)
        out = self.path("pit")
        self.prepare([dem, "--outlet", str(x), str(y), "-o", out, "--stream-area", "0.002",
                      "--rain-minutes", "90", "--minutes", "100"])
        with open(os.path.join(out, "elevation.map")) as f:
            ground = [[float(v) for v in line.split()] for line in f.readlines()[6:]]
        # Row 15, column 15 of the DEM is row 17, column 17 of the map (1-based).
        self.assertGreaterEqual(ground[16][16], 102.0 - 1e-4)
        _, _, beds = channel_file(out)
        self.assertTrue(all(a > b for a, b in zip(beds[1], beds[1][1:])), beds)

        run_torva(out)
        self.assertEqual(thalweg_problems(out), [])
        # With the pit filled every cell drains: 1240 * 100 * 0.025 / 3600.
        self.assertAlmostEqual(hydrograph(out)[18][1], 0.86111, delta=0.01 * 0.86111)
        self.assertLess(abs(overall_balance(out)), 0.001)


def read_grid_map(path):
    with open(path) as f:
        return [[float(v) for v in line.split()] for line in f.readlines()[6:] if line.strip()]


def peak(rows):
    return max(q for _, q in rows)


@unittest.skipUnless(HAVE_GRASS, NO_GRASS)
class ValleyDem(Folder):
    VALLEY = os.path.join(SOURCE, "examples", "valley")

    def ascii_grid(self, name, values, nodata=None):
        """The valley's 20 m grid (south-west corner at 0 0) as an ASCII grid
        without a spatial reference."""
        return write_dem(self.path(name), values, size=20.0, x0=0.0, y0=0.0, reference=None,
                         nodata=nodata)

    def bundled_channel_run(self):
        """valley_channel.prj run in the temporary folder: inputs from the
        example, outputs here."""
        folder = self.path("bundled")
        os.makedirs(os.path.join(folder, "out"))
        for name, target in (("valley_channel.prj", "project.prj"), ("valley.cmt", "valley.cmt")):
            with open(os.path.join(self.VALLEY, name)) as f:
                text = f.read()
            text = text.replace("examples/valley/out/", "out/")
            text = text.replace("examples/valley/valley.cmt", "valley.cmt")
            text = text.replace("examples/valley/", self.VALLEY + "/")
            with open(os.path.join(folder, target), "w") as f:
                f.write(text)
        run_torva(folder)
        return hydrograph(folder, "channel.otl")

    def test_the_valley_dem_gives_the_bundled_network_and_its_peak(self):
        mask = read_grid_map(os.path.join(self.VALLEY, "valley.msk"))
        ground = read_grid_map(os.path.join(self.VALLEY, "valley.ele"))
        # The DEM of the watershed: no data outside the bundled mask.
        dem = self.ascii_grid("valley.asc", [[z if m else -9999.0 for z, m in zip(zr, mr)]
                                             for zr, mr in zip(ground, mask)], nodata=-9999)
        landuse = self.ascii_grid(
            "landuse.asc", read_grid_map(os.path.join(self.VALLEY, "landuse.idx")))
        out = self.path("valley")
        # The outlet cell of the bundled project, row 120, column 50.
        self.prepare([dem, "--outlet", "990", "10", "-o", out, "--assume-metres",
                      "--stream-area", "0.2", "--landuse", landuse, "--rain-minutes", "45",
                      "--minutes", "120"])
        links, connects, _ = channel_file(out)
        self.assertEqual(links, 5)
        self.assertEqual(sorted(connects), [(1, 5, 0), (2, 4, 0), (3, 4, 0), (4, 5, 2, 2, 3),
                                            (5, 0, 2, 1, 4)])
        self.assertEqual(sum(map(sum, read_grid_map(os.path.join(out, "mask.map")))), 7687)

        # The bundled project's land: its roughness per land use, 1 mm retention.
        tables = os.path.join(out, "tables.cmt")
        with open(tables) as f:
            text = f.read()
        for k, n in ((1, "0.2"), (2, "0.08"), (3, "0.04")):
            text = re.sub(rf"^({k} .*) 0\.1$", rf"\g<1> {n}", text, flags=re.M)
        with open(tables, "w") as f:
            f.write(text)
        with open(os.path.join(out, "project.prj"), "a") as f:
            f.write("RETENTION 1.0\n")
        run_torva(out)
        self.assertEqual(thalweg_problems(out), [])
        self.assertLess(abs(overall_balance(out)), 0.001)
        bundled = peak(self.bundled_channel_run())
        self.assertAlmostEqual(peak(hydrograph(out)), bundled, delta=0.1 * bundled)


sys.path.insert(0, os.path.join(SOURCE, "tools"))
from torva_prep import network  # noqa: E402  (the standard library is all it needs)


class NetworkFromDirections(unittest.TestCase):
    """A Y of D8 directions drawn by hand on 10 m cells (row, column):

        (0,0)         (0,4)      two branches run diagonally to the junction
           (1,1)   (1,3)         at (2,2); the stem runs south to the outlet
              (2,2)              at (4,2), which drains off the grid
              (3,2)
              (4,2)
    """
    DIRECTIONS = {(0, 0): 7, (1, 1): 7, (0, 4): 5, (1, 3): 5, (2, 2): 6, (3, 2): 6, (4, 2): -6}
    # The stem's ground rises at (3,2), so its bed there must come down.
    GROUND = {(0, 0): 9.0, (1, 1): 8.0, (0, 4): 9.2, (1, 3): 7.9, (2, 2): 5.0, (3, 2): 6.0,
              (4, 2): 4.0}
    OPTIONS = {"cells_per_node": 1, "min_bed_slope": 0.001, "width_coeff": 2.0,
               "width_exp": 0.0, "depth_coeff": 0.5, "depth_exp": 0.0}

    def test_links_nodes_and_beds_of_a_hand_drawn_y(self):
        area = {cell: 1.0 for cell in self.DIRECTIONS}
        links, lowered = network.build_network(list(self.DIRECTIONS), self.DIRECTIONS, area,
                                               self.GROUND, (4, 2), 10.0, self.OPTIONS)
        cases = [
            # cells, downstream link, upstream links, dx (m), beds (m)
            ([(0, 0), (1, 1)], 3, [], 10.0 * math.sqrt(2.0), [8.5, 7.5]),
            ([(0, 4), (1, 3)], 3, [], 10.0 * math.sqrt(2.0), [8.7, 7.4]),
            # 5.5 would rise above 4.5: lowered to 4.5 - 0.001 * 10.
            ([(2, 2), (3, 2), (4, 2)], 0, [1, 2], 10.0, [4.5, 4.49, 3.5]),
        ]
        self.assertEqual([l.number for l in links], [1, 2, 3])
        for link, (cells, down, ups, dx, beds) in zip(links, cases):
            with self.subTest(link=link.number):
                self.assertEqual(link.cells, cells)
                self.assertEqual(link.downstream, down)
                self.assertEqual(sorted(u.number for u in link.upstream), ups)
                self.assertAlmostEqual(link.dx, dx)
                for got, want in zip(link.beds, beds):
                    self.assertAlmostEqual(got, want)
                self.assertEqual((link.bottom_width, link.bankfull_depth), (2.0, 0.5))
        self.assertEqual(lowered, 1)
        # One node per cell: every stream cell holds its node whole.
        entries = network.stream_cell_entries(links)
        self.assertEqual(entries[(3, 2)], [(3, 2, 1.0)])
        self.assertEqual(len(entries), 7)

    def test_a_link_of_one_cell_gets_two_nodes_sharing_it(self):
        directions = {(0, 0): 6, (1, 0): -6}
        link = network.Link([(0, 0)])
        network.place_nodes(link, directions, 10.0, 2)
        self.assertEqual(link.node_cells, [[((0, 0), 5.0)], [((0, 0), 5.0)]])
        self.assertAlmostEqual(link.dx, 5.0)


class Refusals(Folder):
    def test_every_refusal_says_why_and_writes_nothing(self):
        dem = write_dem(self.path("v.asc"), v_catchment())
        bare = write_dem(self.path("bare.asc"), v_catchment(), reference=None)
        degrees = write_dem(self.path("deg.asc"), v_catchment(), size=0.0001, x0=15.0, y0=45.0,
                            reference=WGS84)
        garbage = self.path("garbage.tif")
        with open(garbage, "w") as f:
            f.write("no raster\n")
        oblong = self.path("oblong.asc")
        with open(oblong, "w") as f:
            f.write(f"ncols 2\nnrows 2\nxllcorner {X0}\nyllcorner {Y0}\ndx 10\ndy 20\n"
                    "1 2\n3 4\n")
        with open(self.path("oblong.prj"), "w") as f:
            f.write(UTM33)
        zeros = write_dem(self.path("zeros.asc"), [[0.0] * 31 for _ in range(40)])
        # A DEM whose name is that of the elevation map the project would hold.
        os.makedirs(self.path("in-the-way"))
        in_the_way = write_dem(self.path("in-the-way", "elevation.map"), v_catchment())
        x, y = centre(39, 15)
        taken = self.path("taken")
        os.makedirs(taken)
        with open(os.path.join(taken, "project.prj"), "w") as f:
            f.write("TORVAPROJECT\n")
        no_grass_path = dict(self.env, PATH=self.tmp)
        outlet = ["--outlet", str(x), str(y)]
        cases = [
            # (name, arguments, environment, needs GRASS, message part)
            ("no spatial reference", [bare] + outlet, None, True, "has no spatial reference"),
            ("geographic", [degrees, "--outlet", "15.001", "45.002"], None, True,
             "geographic coordinates"),
            ("outlet outside", [dem, "--outlet", str(x), str(y - 50.0)], None, True,
             "lies outside the DEM"),
            ("basin too small", [dem, "--outlet"] + [str(v) for v in centre(2, 0)] +
             ["--snap", "0"], None, True, "no stream starts in it"),
            ("no GRASS", [dem] + outlet, no_grass_path, False, "apt-get install grass-core"),
            ("existing project", [dem] + outlet + ["-o", taken], None, False,
             "already holds project.prj"),
            ("input overwritten", [in_the_way] + outlet + ["-o", self.path("in-the-way"),
                                                           "--force"], None, False,
             "would overwrite the input"),
            ("outlet not a number", [dem, "--outlet", "nan", str(y)], None, False,
             "not a finite number"),
            ("missing DEM", [self.path("none.tif")] + outlet, None, False, "does not exist"),
            ("not a raster", [garbage] + outlet, None, True, "cannot read the DEM"),
            ("oblong cells", [oblong] + outlet, None, True, "needs square cells"),
            ("land-use class 0", [dem] + outlet + ["--landuse", zeros], None, True,
             "must hold whole class numbers from 1 to 10000"),
        ]
        for name, args, env, needs_grass, message in cases:
            with self.subTest(name):
                if needs_grass and not HAVE_GRASS:
                    self.skipTest(NO_GRASS)
                out = args[args.index("-o") + 1] if "-o" in args else self.path(
                    "out-" + name.replace(" ", "-"))
                done = prep(args + ([] if "-o" in args else ["-o", out]), env or self.env)
                self.assertEqual(done.returncode, 2, done.stdout + done.stderr)
                self.assertIn(message, done.stderr)
                if out != taken:
                    self.assertFalse(os.path.exists(os.path.join(out, "project.prj")))
        with open(os.path.join(taken, "project.prj")) as f:
            self.assertEqual(f.read(), "TORVAPROJECT\n")
        self.assertEqual(sorted(os.listdir(self.path("in-the-way"))),
                         ["elevation.map", "elevation.prj"])


if __name__ == "__main__":
    unittest.main()
