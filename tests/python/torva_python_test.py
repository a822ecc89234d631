"""The torva Python module end to end: the valley example in a temporary
folder, run through torva.run and through the program.

Run by ctest with the module on PYTHONPATH; TORVA_BINARY names the program.
Every case skips, saying why, where the module was not built.
"""

import concurrent.futures
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
VALLEY = os.path.join(SOURCE, "examples", "valley")
TORVA = os.environ.get("TORVA_BINARY", os.path.join(SOURCE, "build", "torva"))

try:
    import numpy
    import torva
    NOT_BUILT = None
except ImportError as e:
    NOT_BUILT = ("the torva Python module was not built (it needs apt-get install pybind11-dev "
                 "python3-numpy, then a new cmake configure): %s" % e)


def copy_valley(folder):
    """The valley's inputs under folder/examples/valley, as the projects name them."""
    target = os.path.join(folder, "examples", "valley")
    shutil.copytree(VALLEY, target, ignore=shutil.ignore_patterns("out", "*.py"))
    os.makedirs(os.path.join(target, "out"))


def short_project(folder, minutes, rain_tag=False):
    """The uniform-rain valley run for `minutes` with five minutes of rain; its rain intensity the tag
    [RAIN] when rain_tag. Returns the project's path."""
    with open(os.path.join(VALLEY, "valley_uniform.prj")) as f:
        lines = f.read().splitlines()
    out = []
    for line in lines:
        if line.startswith("TOT_TIME"):
            line = "TOT_TIME %d" % minutes
        if line.startswith("RAIN_DURATION"):
            line = "RAIN_DURATION 5"
        if rain_tag and line.startswith("RAIN_INTENSITY"):
            line = "RAIN_INTENSITY [RAIN]"
        if rain_tag and line.startswith("PRECIP_UNIF"):
            out += ["REPLACE_PARAMS params.txt", "REPLACE_VALS values.txt"]
        out.append(line)
    with open(os.path.join(folder, "params.txt"), "w") as f:
        f.write('1\n[RAIN] "%.2lf"\n')
    with open(os.path.join(folder, "values.txt"), "w") as f:
        f.write("25.0\n")
    path = os.path.join(folder, "short.prj")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")
    return path


def with_cards(project, name, cards, replace=()):
    """A copy `name` of a project beside it, its lines starting with a word of
    `replace` (a dict) changed, and `cards` added at its end."""
    with open(project) as f:
        lines = f.read().splitlines()
    replace = dict(replace)
    lines = [replace.get(line.split()[0], line) if line.split() else line for line in lines]
    path = os.path.join(os.path.dirname(project), name)
    with open(path, "w") as f:
        f.write("\n".join(lines + list(cards)) + "\n")
    return path


def read_exchange_grid(path):
    """The values of a grid series file as rows x cols, NaN where it marks no data."""
    with open(path) as f:
        lines = f.read().splitlines()
    head = {l.split()[0].lower(): l.split()[1] for l in lines if l.split() and l[0].isalpha()}
    rows = [[float(w) for w in line.split()] for line in lines if line.split()
            and not line[0].isalpha()]
    values = numpy.array(rows)
    if "nodata_value" in head:
        values[values == float(head["nodata_value"])] = numpy.nan
    return values


def read_columns(path):
    with open(path) as f:
        return numpy.array([[float(w) for w in line.split()] for line in f if line.strip()])


def listing(folder):
    found = []
    for root, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            found.append((os.path.relpath(path, folder), os.path.getsize(path)))
    return sorted(found)


def basin_cells():
    with open(os.path.join(VALLEY, "valley.msk")) as f:
        words = f.read().split()
    return sum(1 for w in words[12:] if w == "1")


@unittest.skipIf(NOT_BUILT, NOT_BUILT)
class SameAsCommandLine(unittest.TestCase):
    def test_valley_hydrograph_and_files(self):
        with tempfile.TemporaryDirectory() as tmp:
            cli, py = os.path.join(tmp, "cli"), os.path.join(tmp, "py")
            copy_valley(cli)
            copy_valley(py)
            project = "examples/valley/valley_uniform.prj"
            subprocess.run([TORVA, project], cwd=cli, check=True, stdout=subprocess.DEVNULL)
            result = torva.run(os.path.join(py, project), workdir=py)

            self.assertEqual(result.status, 0)
            with open(os.path.join(cli, "examples/valley/out/uniform.otl")) as f:
                rows = [tuple(map(float, line.split())) for line in f]
            self.assertEqual(len(result.time_min), len(rows))
            self.assertEqual(len(rows), 25)  # 0 to 120 minutes, every 5
            numpy.testing.assert_array_equal(result.time_min, [r[0] for r in rows])
            # The file prints three decimals; the arrays keep the run's figures.
            numpy.testing.assert_allclose(result.discharge, [r[1] for r in rows], atol=5e-4)

            self.assertEqual(sorted(os.path.relpath(p, py) for p in result.files_written),
                             sorted(["examples/valley/out/uniform_summary.txt",
                                     "examples/valley/out/uniform.otl", "maskmap",
                                     "out_time.dat"]))
            for name in ("examples/valley/out/uniform.otl", "maskmap"):
                with open(os.path.join(cli, name), "rb") as a, open(os.path.join(py, name),
                                                                    "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)
            # The summary is the same but for the run's own times.
            def summary(folder):
                with open(os.path.join(folder, "examples/valley/out/uniform_summary.txt")) as f:
                    return [l for l in f if "time" not in l.lower() or "elapsed" in l]
            self.assertEqual(summary(cli), summary(py))

            # 25 mm/h for 45 minutes on every 20 m cell of the basin.
            rain = 0.025 * 0.75 * 20 * 20 * basin_cells()
            self.assertAlmostEqual(result.balance["Total amount of precip"], rain, places=2)
            self.assertEqual(result.balance["Overall mass balance error"], 0.0)


@unittest.skipIf(NOT_BUILT, NOT_BUILT)
class NoOutputs(unittest.TestCase):
    def test_folder_unchanged_and_results_kept(self):
        with tempfile.TemporaryDirectory() as tmp:
            copy_valley(tmp)
            project = short_project(tmp, 10)
            before = listing(tmp)
            quiet = torva.run(project, outputs=False)
            self.assertEqual(listing(tmp), before)
            self.assertEqual(quiet.files_written, [])
            loud = torva.run(project)
            self.assertNotEqual(listing(tmp), before)
            numpy.testing.assert_array_equal(quiet.time_min, [0.0, 5.0, 10.0])
            numpy.testing.assert_array_equal(quiet.discharge, loud.discharge)
            self.assertEqual(quiet.balance, loud.balance)


@unittest.skipIf(NOT_BUILT, NOT_BUILT)
class Refusals(unittest.TestCase):
    # (what, project kind, replacement values, the message). The project reader
    # goes on after a refused value, and then meets the tag that has none.
    CASES = [
        ("no such project", None, None,
         "Error opening project file named: missing.prj\n"
         "Error: The specified project file was not found."),
        ("a key the project does not use", "tagged", {"RAIN": 20.0, "K": 0.5},
         "Error: the replacement value K names no tag the project declares.\n"
         "Error: card RAIN_INTENSITY on line 22 of short.prj: [RAIN] is not a number."),
        ("a tag without a value", "tagged", {}, "Error: no replacement value was given for tag [RAIN].\n"
         "Error: card RAIN_INTENSITY on line 22 of short.prj: [RAIN] is not a number."),
        ("a value that is not a number", "tagged", {"RAIN": "wet"},
         "Error: the replacement value wet for tag [RAIN] is not a number.\n"
         "Error: card RAIN_INTENSITY on line 22 of short.prj: [RAIN] is not a number."),
        ("an infinite value", "tagged", {"[RAIN]": float("inf")},
         "Error: the replacement value inf for tag [RAIN] is not a finite number.\n"
         "Error: card RAIN_INTENSITY on line 22 of short.prj: [RAIN] is not a number."),
        ("values for a project without tags", "plain", {"RAIN": 20.0},
         "Error: replacement values were given, but the project declares no tags "
         "(REPLACE_PARAMS)."),
    ]

    def test_refused_runs(self):
        for what, kind, values, message in self.CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as tmp:
                copy_valley(tmp)
                project = os.path.join(tmp, "missing.prj")
                if kind:
                    project = short_project(tmp, 10, rain_tag=kind == "tagged")
                with self.assertRaises(torva.RunError) as caught:
                    torva.run(project, replace=values)
                self.assertEqual(caught.exception.message, message)
                self.assertEqual(caught.exception.status, 1)


@unittest.skipIf(NOT_BUILT, NOT_BUILT)
class Threads(unittest.TestCase):
    def test_pool_equals_sequence(self):
        rains = [10.0, 20.0, 30.0, 40.0]
        with tempfile.TemporaryDirectory() as tmp:
            copy_valley(tmp)
            project = short_project(tmp, 10, rain_tag=True)

            def one(rain, threads=None):
                return torva.run(project, replace={"RAIN": rain}, outputs=False,
                                 threads=threads)

            # Alone on every processor, side by side on one thread each.
            sequential = [one(r) for r in rains]
            with concurrent.futures.ThreadPoolExecutor(4) as pool:
                pooled = list(pool.map(lambda r: one(r, 1), rains))
            for rain, a, b in zip(rains, sequential, pooled):
                with self.subTest(rain=rain):
                    numpy.testing.assert_array_equal(a.time_min, b.time_min)
                    numpy.testing.assert_array_equal(a.discharge, b.discharge)
                    self.assertEqual(a.balance, b.balance)
                    # Five minutes of rain on every cell.
                    self.assertAlmostEqual(a.balance["Total amount of precip"],
                                           rain / 1000 / 12 * 400 * basin_cells(), places=2)
            for threads in [0, -1, 1.5, True]:
                with self.subTest(threads=threads), self.assertRaises(ValueError):
                    one(10.0, threads)
            # More rain, more water at the outlet.
            peaks = [a.discharge.max() for a in sequential]
            self.assertEqual(peaks, sorted(peaks))
            self.assertLess(peaks[0], peaks[-1])


    def test_a_run_beside_another_takes_one_thread(self):
        """Threads unset: every processor alone, one beside a run in progress,
        unless the caller or the project's NUM_THREADS card says otherwise."""
        processors = len(os.sched_getaffinity(0))
        with tempfile.TemporaryDirectory() as tmp:
            copy_valley(tmp)
            short = short_project(tmp, 5)
            long = with_cards(short, "long.prj", [], {"TOT_TIME": "TOT_TIME 120"})
            carded = with_cards(short, "carded.prj", ["NUM_THREADS 3"])
            alone = torva.run(short, outputs=False)
            self.assertEqual(alone.threads, processors)
            self.assertEqual(torva.run(carded, outputs=False).threads, 3)
            with concurrent.futures.ThreadPoolExecutor(1) as pool:
                first = pool.submit(torva.run, long, outputs=False)
                while torva.runs_in_progress() == 0 and not first.done():
                    time.sleep(0.001)
                beside = [torva.run(short, outputs=False),
                          torva.run(short, outputs=False, threads=2),
                          torva.run(carded, outputs=False)]
                overlapped = not first.done()
                first = first.result()
            if not overlapped:
                self.skipTest("the long run ended before the others started")
            self.assertEqual(first.threads, processors)
            self.assertEqual([r.threads for r in beside], [1, 2, 3])
            for r in beside:
                numpy.testing.assert_array_equal(r.discharge, alone.discharge)
            self.assertEqual(torva.runs_in_progress(), 0)


def resident_kib():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise unittest.SkipTest("no VmRSS line in /proc/self/status")


@unittest.skipIf(NOT_BUILT, NOT_BUILT)
class Memory(unittest.TestCase):
    def test_hundred_runs_keep_the_first_runs_size(self):
        """A hundred short runs in one process, with maps kept, a replacement
        value, and one refused run among them: the resident size after the
        last is within 5 % of that after the first."""
        with tempfile.TemporaryDirectory() as tmp:
            copy_valley(tmp)
            os.makedirs(os.path.join(tmp, "maps"))
            project = with_cards(short_project(tmp, 2, rain_tag=True), "maps.prj",
                                 ["MAP_TYPE 0", "MAP_FREQ 1", "DEPTH maps"])
            torva.run(project, replace={"RAIN": 25.0}, outputs=False)
            first = resident_kib()
            for k in range(99):
                if k == 50:
                    with self.assertRaises(torva.RunError):
                        torva.run(project, replace={"RAIN": 25.0, "SNOW": 1.0}, outputs=False)
                result = torva.run(project, replace={"RAIN": 20.0 + k % 10}, outputs=False)
            self.assertEqual(result.maps["depth"].values.shape, (3, 120, 100))
            last = resident_kib()
            self.assertLess(last, first * 1.05, "%d KiB after the first run" % first)


@unittest.skipIf(NOT_BUILT, NOT_BUILT)
class Results(unittest.TestCase):
    def test_maps_events_and_georeference(self):
        with tempfile.TemporaryDirectory() as tmp:
            copy_valley(tmp)
            os.makedirs(os.path.join(tmp, "maps"))
            project = with_cards(short_project(tmp, 10), "maps.prj",
                                 ["MAP_TYPE 0", "MAP_FREQ 4", "DEPTH maps", "DIS_RAIN maps"])
            result = torva.run(project)

            geo = result.georeference
            self.assertEqual((geo.west, geo.north, geo.cell_size, geo.rows, geo.cols),
                             (0.0, 2400.0, 20.0, 120, 100))
            self.assertEqual(geo.transform, (0.0, 20.0, 0.0, 2400.0, 0.0, -20.0))
            self.assertEqual(geo.wkt, "")  # text maps carry no spatial reference
            # Maps on the second step (2 s) and every 4 minutes after it.
            self.assertEqual(sorted(result.maps), ["depth", "rain"])
            for kind, units in [("depth", "m"), ("rain", "mm h-1")]:
                with self.subTest(kind):
                    series = result.maps[kind]
                    self.assertEqual(series.units, units)
                    numpy.testing.assert_allclose(series.time_min, [2 / 60, 4 + 2 / 60, 8 + 2 / 60])
                    self.assertEqual(series.values.shape, (3, 120, 100))
                    for k in range(3):
                        written = read_exchange_grid(
                            os.path.join(tmp, "maps", "%s.%04d.asc" % (kind, k + 1)))
                        numpy.testing.assert_allclose(series.values[k], written, atol=5e-4)
            # Rain of 25 mm/h over the basin's cells for the first five minutes only.
            rain = result.maps["rain"].values
            self.assertEqual(numpy.count_nonzero(~numpy.isnan(rain[0])), basin_cells())
            self.assertEqual(numpy.nanmin(rain[1]), 25.0)
            self.assertEqual(numpy.nanmax(rain[2]), 0.0)

            events = result.events
            self.assertEqual(len(events), 1)
            event = events[0]
            self.assertAlmostEqual(event["volume of rainfall to overland"],
                                   0.025 / 12 * 400 * basin_cells(), places=1)
            # What stands on the ground at the end is the final depth map's water.
            depth = result.final_depth
            self.assertEqual(depth.shape, (120, 100))
            self.assertEqual(numpy.count_nonzero(~numpy.isnan(depth)), basin_cells())
            self.assertAlmostEqual(numpy.nansum(depth) * 400, event["volume remaining on surface"],
                                   places=1)
            self.assertAlmostEqual(event["volume of discharge"] +
                                   event["volume remaining on surface"],
                                   event["volume of rainfall to overland"], places=0)

    def test_hydrograph_locations(self):
        with tempfile.TemporaryDirectory() as tmp:
            copy_valley(tmp)
            project = with_cards(os.path.join(tmp, "examples/valley/valley_channel.prj"),
                                 "short_channel.prj", [], {"TOT_TIME": "TOT_TIME 10"})
            result = torva.run(project, workdir=tmp)
            self.assertEqual(result.locations, [(1, 26), (2, 27), (3, 25), (4, 4), (5, 27)])
            out = os.path.join(tmp, "examples/valley/out")
            for name, values in [("channel_locations.q", result.location_discharge),
                                 ("channel_locations.dep", result.location_depth)]:
                with self.subTest(name):
                    rows = read_columns(os.path.join(out, name))
                    self.assertEqual(values.shape, (3, 5))
                    numpy.testing.assert_array_equal(rows[:, 0], result.time_min)
                    numpy.testing.assert_allclose(values, rows[:, 1:], atol=5e-7)
            # A channel cell of the final depth map holds its channel's depth.
            self.assertGreater(numpy.nanmax(result.final_depth), 0.05)


def interrupt_when_rows(path, rows):
    """Sends this process a SIGINT once the hydrograph file `path` holds `rows` rows
    (so that the run is in its time loop), or after a minute."""
    def watch():
        deadline = time.time() + 60
        while time.time() < deadline:
            if os.path.exists(path):
                with open(path) as f:
                    if len(f.read().splitlines()) >= rows:
                        break
            time.sleep(0.02)
        os.kill(os.getpid(), signal.SIGINT)
    watcher = threading.Thread(target=watch)
    watcher.start()
    return watcher


@unittest.skipIf(NOT_BUILT, NOT_BUILT)
class Interrupt(unittest.TestCase):
    # Ctrl-C stops every run in progress at the end of its step; each raises
    # KeyboardInterrupt carrying its result, with its summary written.
    CASES = [("the main thread's run", 1), ("two runs of a thread pool", 2)]

    def test_ctrl_c(self):
        for what, runs in self.CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as tmp:
                copy_valley(tmp)
                # Runs a hundred thousand minutes unless stopped.
                base = short_project(tmp, 100000)
                projects = [with_cards(base, "long%d.prj" % k, [], {
                    "SUMMARY": "SUMMARY out%d_summary.txt" % k,
                    "OUTLET_HYDRO": "OUTLET_HYDRO out%d.otl" % k}) for k in range(runs)]
                watcher = interrupt_when_rows(os.path.join(tmp, "out%d.otl" % (runs - 1)), 2)
                caught = []
                if runs == 1:
                    try:
                        torva.run(projects[0])
                    except KeyboardInterrupt as e:
                        caught.append(e)
                else:
                    pool = concurrent.futures.ThreadPoolExecutor(runs)
                    futures = [pool.submit(torva.run, p) for p in projects]
                    while not all(f.done() for f in futures):
                        try:
                            concurrent.futures.wait(futures, timeout=0.1)
                        except KeyboardInterrupt:
                            pass  # the main thread's share of the Ctrl-C
                    pool.shutdown()
                    caught = [f.exception() for f in futures]
                watcher.join()
                self.assertEqual(len(caught), runs)
                for k, e in enumerate(caught):
                    self.assertIsInstance(e, KeyboardInterrupt)
                    self.assertEqual(e.result.status, 130)
                    self.assertLess(e.result.time_min[-1], 600)
                    with open(os.path.join(tmp, "out%d_summary.txt" % k)) as f:
                        summary = f.read()
                    self.assertIn("Run interrupted by SIGINT after the step ending at", summary)
                    self.assertIn("Overall mass balance error", summary)
                    self.assertIn("Run interrupted by SIGINT", e.result.messages)
                # The next run is not stopped by the spent interrupt.
                done = torva.run(short_project(tmp, 5), outputs=False)
                self.assertEqual(done.time_min[-1], 5.0)


if __name__ == "__main__":
    unittest.main()
