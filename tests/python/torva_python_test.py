"""The torva Python module end to end: the valley example in a temporary
folder, run through torva.run and through the program.

Run by ctest with the module on PYTHONPATH; TORVA_BINARY names the program.
Every case skips, saying why, where the module was not built.
"""

import concurrent.futures
import os
import shutil
import subprocess
import tempfile
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

            def one(rain):
                return torva.run(project, replace={"RAIN": rain}, outputs=False)

            sequential = [one(r) for r in rains]
            with concurrent.futures.ThreadPoolExecutor(4) as pool:
                pooled = list(pool.map(one, rains))
            for rain, a, b in zip(rains, sequential, pooled):
                with self.subTest(rain=rain):
                    numpy.testing.assert_array_equal(a.time_min, b.time_min)
                    numpy.testing.assert_array_equal(a.discharge, b.discharge)
                    self.assertEqual(a.balance, b.balance)
                    # Five minutes of rain on every cell.
                    self.assertAlmostEqual(a.balance["Total amount of precip"],
                                           rain / 1000 / 12 * 400 * basin_cells(), places=2)
            # More rain, more water at the outlet.
            peaks = [a.discharge.max() for a in sequential]
            self.assertEqual(peaks, sorted(peaks))
            self.assertLess(peaks[0], peaks[-1])


if __name__ == "__main__":
    unittest.main()
