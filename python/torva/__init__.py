"""Run TORVA simulations from Python and get their results as NumPy arrays.

    import torva
    result = torva.run("examples/valley/valley_uniform.prj", replace={"N": 0.035})
    result.time_min, result.discharge   # the outlet hydrograph
    result.balance["Overall mass balance error"]
"""

import dataclasses
import os

import numpy

from . import _torva

__all__ = ["run", "Result", "RunError"]


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
class Result:
    """One finished simulation."""

    time_min: numpy.ndarray  # the times of the outlet hydrograph rows
    discharge: numpy.ndarray  # the outlet discharge of each row
    balance: dict  # the summary's mass balance figures, by label
    files_written: list  # the output files, as the run named them
    status: int  # 0: a clean run
    messages: str  # what the program printed


def _error_lines(messages):
    lines = [line for line in messages.splitlines() if "Error" in line or "error" in line]
    return "\n".join(lines) if lines else messages.strip()


def run(project, replace=None, workdir=None, outputs=True):
    """Runs one simulation of a project file.

    project: the project file. workdir: the folder the project's file names
    are read in and written to (the project's folder when None). replace: a
    dict of replacement values by tag ({"N": 0.035}), which stand for the
    project's REPLACE_VALS file. outputs: False writes no file at all.
    Raises RunError when the run is refused or fails.
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
    d = _torva.run(os.path.relpath(project, workdir), workdir, values, bool(outputs))
    if d["status"] == 130:
        raise KeyboardInterrupt(d["messages"])
    if d["status"] != 0:
        raise RunError(_error_lines(d["messages"]), d["status"], d["code"], d["messages"])
    return Result(
        time_min=d["time"],
        discharge=d["discharge"],
        balance=d["balance"],
        files_written=[os.path.join(workdir, f) for f in d["files_written"]],
        status=d["status"],
        messages=d["messages"],
    )
