#!/usr/bin/env python3
"""Water-content profiles of the Richards example at a few times.

Reads the soil table (for the depth of every node), the theta location list
and the theta location output of valley_richards.prj, and draws one panel per
location: water content against depth at the chosen minutes.

    python3 examples/valley/plot_theta.py [minutes ...]

Run it from the repository root after the example; it writes
examples/valley/out/richards_theta.png.
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

FOLDER = "examples/valley/"
NAMES = {1: "stream bed", 2: "valley floor", 3: "slope", 4: "ridge"}


def node_depths(table):
    """Depth (cm) of the centre of every node of each soil index, the bottom
    node included: whole nodes of each layer, then one more below them."""
    words = open(table).read().split("\n")
    lines = [w.split() for w in words if w.strip()]
    types = int(lines[0][0])
    depths, at = {}, 1
    for _ in range(types):
        index = int(lines[at][0])
        top, centres, spacing = 0.0, [], None
        for layer in lines[at + 1:at + 4]:
            thickness, dz = float(layer[6]), float(layer[9])
            for _ in range(int(thickness / dz + 1e-9)):
                centres.append(top + dz / 2)
                top += dz
                spacing = dz
        centres.append(top + spacing / 2)
        depths[index] = centres
        at += 4
    return depths


def soil_index_of(cells):
    rows = open(FOLDER + "soil.idx").read().split("\n")[6:]
    grid = [r.split() for r in rows if r.strip()]
    return [int(grid[r - 1][c - 1]) for r, c in cells]


def main():
    minutes = [float(m) for m in sys.argv[1:]] or [0, 15, 30, 45, 60, 120]
    depths = node_depths(FOLDER + "valley_soil.tbl")
    listed = open(FOLDER + "valley_theta.in").read().split()
    cells = [(int(listed[1 + 2 * k]), int(listed[2 + 2 * k])) for k in range(int(listed[0]))]
    soils = soil_index_of(cells)
    rows = [list(map(float, line.split()))
            for line in open(FOLDER + "out/richards_theta.dat") if line.strip()]

    fig, axes = plt.subplots(1, len(cells), figsize=(3.2 * len(cells), 4.5), sharey=True)
    for k, ((r, c), soil) in enumerate(zip(cells, soils)):
        ax = axes[k]
        z = depths[soil]
        first = 1 + sum(len(depths[s]) for s in soils[:k])
        for wanted in minutes:
            row = min(rows, key=lambda row: abs(row[0] - wanted))
            ax.plot(row[first:first + len(z)], z, marker=".", label=f"{row[0]:.0f} min")
        ax.set_title(f"{NAMES.get(soil, soil)}\nrow {r}, column {c}")
        ax.set_xlabel("water content")
        ax.grid(alpha=0.3)
    axes[0].set_ylabel("depth (cm)")
    axes[0].invert_yaxis()
    axes[-1].legend(fontsize="small")
    fig.tight_layout()
    fig.savefig(FOLDER + "out/richards_theta.png", dpi=100)
    print("wrote " + FOLDER + "out/richards_theta.png")


if __name__ == "__main__":
    main()
