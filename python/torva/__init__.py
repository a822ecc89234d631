"""Run TORVA simulations from Python and get their results as NumPy arrays.

    import torva
    result = torva.run("examples/valley/valley_uniform.prj", replace={"N": 0.035})
    result.time_min, result.discharge   # the outlet hydrograph
    result.balance["Overall mass balance error"]
"""

import dataclasses
import os

import numpy

# Threads of a run's cell loops that wait for work sleep rather than spin, as
# the program's do, so that runs side by side do not take each other's cores.
# The OpenMP runtime reads this once, when the compiled half is loaded.
os.environ.setdefault("OMP_WAIT_POLICY", "passive")

from . import _torva  # noqa: E402

__all__ = ["run", "Result", "RunError", "Georeference", "MapSeries", "runs_in_progress"]


class RunError(Exception):
    """A simulation the program refused or that failed; `message` holds the
    error lines as the program printed them, `messages` all it printed."""

    def __init__(self, message, status, code, messages):
        super().__init__(message)
        self.message = message
        self.status = status
        self.code = code
        self.messages = messages


@dataclasses.dataclass(frozen=True)
class Georeference:
    """Where the grid lies: its north-west corner, the side of a cell and the
    spatial reference as WKT (empty when no input map carried one)."""

    west: float
    north: float
    cell_size: float
    rows: int
    cols: int
    wkt: str

    @property
    def origin(self):
        """The north-west corner (x, y) of the grid."""
        return (self.west, self.north)

    @property
    def transform(self):
        """The affine transform in the order GDAL takes it."""
        return (self.west, self.cell_size, 0.0, self.north, 0.0, -self.cell_size)

    def cell_centres(self):
        """The x of each column's and the y of each row's centre."""
        x = self.west + self.cell_size * (numpy.arange(self.cols) + 0.5)
        y = self.north - self.cell_size * (numpy.arange(self.rows) + 0.5)
        return x, y


@dataclasses.dataclass(frozen=True)
class MapSeries:
    """The maps of one kind the run wrote: `values[k]` is the map at
    `time_min[k]`, rows from the north, NaN outside the watershed."""

    units: str
    time_min: numpy.ndarray
    values: numpy.ndarray


@dataclasses.dataclass(frozen=True)
class Result:
    """One finished (or interrupted) simulation."""

    time_min: numpy.ndarray  # the times of the outlet hydrograph rows
    discharge: numpy.ndarray  # the outlet discharge of each row
    locations: list  # the hydrograph locations, (link, node)
    location_discharge: numpy.ndarray  # rows x locations, at the outlet rows' times
    location_depth: numpy.ndarray  # rows x locations, water depth (m)
    events: list  # the figures of each event summary, a dict by label
    balance: dict  # the summary's mass balance figures, by label
    final_depth: numpy.ndarray  # rows x cols, water depth at the end (m)
    maps: dict  # the map series written, a MapSeries by kind ("depth", ...)
    georeference: Georeference
    files_written: list  # the output files, as the run named them
    status: int  # 0: a clean run, 130: stopped by Ctrl-C
    messages: str  # what the program printed
    threads: int  # the threads the run's cell loops were given


def _error_lines(messages):
    lines = [line for line in messages.splitlines() if "Error" in line or "error" in line]
    return "\n".join(lines) if lines else messages.strip()


def run(project, replace=None, workdir=None, outputs=True, threads=None):
    """Runs one simulation of a project file.

    project: the project file. workdir: the folder the project's file names
    are read in and written to (the project's folder when None). replace: a
    dict of replacement values by tag ({"N": 0.035}), which stand for the
    project's REPLACE_VALS file. outputs: False writes no file at all.
    threads: the threads of the run's cell loops (None: the project's
    NUM_THREADS, else every processor when no other run of this process is in
    progress as it starts, one when one is, as in a thread pool).
    Raises RunError when the run is refused or fails, and KeyboardInterrupt
    (its `result` the run up to its last step) when Ctrl-C stopped it.
    """
    project = os.path.abspath(os.fspath(project))
    workdir = os.path.dirname(project) if workdir is None else os.path.abspath(os.fspath(workdir))
    values = None
    if replace is not None:
        values = []
        for key, value in replace.items():
            if not isinstance(key, str):
                raise TypeError("replacement keys are tag names (str), not %r" % (key,))
            values.append((key, repr(value) if isinstance(value, float) else str(value)))
    if threads is not None and (isinstance(threads, bool) or not isinstance(threads, int)
                                or threads < 1):
        raise ValueError("threads is a whole number of 1 or more, not %r" % (threads,))
    d = _torva.run(os.path.relpath(project, workdir), workdir, values, bool(outputs),
                   threads or 0)
    if d["status"] not in (0, 130):
        raise RunError(_error_lines(d["messages"]), d["status"], d["code"], d["messages"])
    result = _result(d, workdir)
    if d["status"] == 130:
        interrupt = KeyboardInterrupt(d["messages"])
        interrupt.result = result
        raise interrupt
    return result


def _result(d, workdir):
    geo = Georeference(west=d["west"], north=d["north"], cell_size=d["cell_size"],
                       rows=d["rows"], cols=d["cols"], wkt=d["wkt"])
    maps = {kind: MapSeries(units=m["units"], time_min=m["minutes"], values=m["values"])
            for kind, m in d["maps"].items()}
    return Result(
        time_min=d["time"],
        discharge=d["discharge"],
        locations=[tuple(loc) for loc in d["locations"]],
        location_discharge=d["location_discharge"],
        location_depth=d["location_depth"],
        events=list(d["events"]),
        balance=d["balance"],
        final_depth=d["final_depth"],
        maps=maps,
        georeference=geo,
        files_written=[os.path.join(workdir, f) for f in d["files_written"]],
        status=d["status"],
        messages=d["messages"],
        threads=d["threads"],
    )


def runs_in_progress():
    """The simulations this process is running at the moment."""
    return _torva.runs_in_progress()
