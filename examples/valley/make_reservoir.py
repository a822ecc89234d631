#!/usr/bin/env python3
"""Builds the reservoir variant of the example valley from its network.

A dam across the valley holds a reservoir on the main stem below the
confluence of the west tributary. The lowest link of the main stem (link 5
of valley.chn, 27 nodes down to the outlet) is cut in three at the dam:

  link 5  its upper nodes, which receive the west tributary and the stem;
  link 6  the nodes just above the dam, a reach the reservoir drowns when a
          storm raises it, which it takes over and gives back as it falls;
  link 7  the reservoir, a LAKE over the valley cells above the dam whose
          ground lies less than 3 m above the crest;
  link 8  the dam's spillway, a broad weir whose crest lies a metre above
          the lake's starting level;
  link 9  the rest of the stem, down to the outlet.

The dam itself is an embankment on the grid: a dike along the south side of
the reservoir's cells in the dam's row, so that the lake passes its water
over the spillway and not over the land around it. Writes
valley_reservoir.chn, valley_reservoir.gst, valley_reservoir.dik,
valley_reservoir.loc and valley_reservoir.prj. Run from this folder after make_valley.py:
python3 make_reservoir.py. Standard library only.
"""

DAM_NODE = 20           # last node of link 5 above the spillway
CREST_ABOVE_BED = 3.0   # m, spillway crest over the bed at the dam
CREST_LENGTH = 12.0     # m
START_BELOW_CREST = 1.0  # m: the reservoir starts below its spillway
LAKE_HEIGHT = 3.0       # m above the crest: the cells the lake may flood
REACH_NODES = 4         # nodes of link 6, the reach the lake may take over


def read_grid(name):
    with open(name) as f:
        lines = f.read().split("\n")
    header = lines[:6]
    rows = [[float(v) for v in line.split()] for line in lines[6:] if line.strip()]
    return header, rows


def read_network():
    with open("valley.chn") as f:
        lines = [line.rstrip("\n") for line in f]
    blocks, current = {}, None
    for line in lines:
        if line.startswith("LINK "):
            current = int(line.split()[1])
            blocks[current] = []
        elif current is not None:
            blocks[current].append(line)
    return lines[:6], blocks


def parse_stem(block):
    """Node beds and the cross-section blocks of a break-point link."""
    beds, sections, node, section = {}, {}, None, None
    for line in block:
        word = line.split()[0]
        if word == "NODE":
            node = int(line.split()[1])
            section = None
        elif word == "ELEV":
            beds[node] = float(line.split()[1])
        elif word == "NPAIRS":
            section = [line]
            sections[node] = section
        elif section is not None and word in ("NUM_INTERP", "X1"):
            section.append(line)
    return beds, sections


def read_stream_cells():
    cells, current = [], None
    with open("valley.gst") as f:
        for line in f:
            words = line.split()
            if words[0] == "CELLIJ":
                current = (int(words[1]), int(words[2]), [])
                cells.append(current)
            elif words[0] == "LINKNODE":
                current[2].append((int(words[1]), int(words[2]), float(words[3])))
    return cells


def main():
    _, mask = read_grid("valley.msk")
    header, z = read_grid("valley.ele")
    _, blocks = read_network()
    beds, sections = parse_stem(blocks[5])
    nodes = len(beds)
    stream = read_stream_cells()

    crest = round(beds[DAM_NODE] + CREST_ABOVE_BED, 2)
    minimum = round(beds[DAM_NODE] + 0.5, 2)
    maximum = round(crest + 2.0, 2)
    start = round(crest - START_BELOW_CREST, 2)
    # The dam stands on the lowest row the node above it crosses: the lake
    # may flood the valley cells from there up to the first row of the stem.
    dam_row = max(r for r, c, entries in stream for link, node, _ in entries
                  if link == 5 and node == DAM_NODE)
    top_row = min(r for r, c, entries in stream for link, _, _ in entries if link == 5)
    lake = [(r, c) for r in range(top_row, dam_row + 1) for c in range(1, len(z[0]) + 1)
            if mask[r - 1][c - 1] and z[r - 1][c - 1] < crest + LAKE_HEIGHT]

    def where(node):
        first = DAM_NODE - REACH_NODES
        if node <= first:
            return 5, node
        if node <= DAM_NODE:
            return 6, node - first
        return 9, node - DAM_NODE

    def link_lines(link, first, last, last_section):
        lines = [f"LINK {link}"] + blocks[5][:4]
        lines[2] = f"NODES {last - first + 1}"
        for node in range(first, last + 1):
            lines += [f"NODE {node - first + 1}", f"ELEV {beds[node]:.3f}"]
        lines += [f"NODE 1"] + sections[1]
        if last_section:
            lines += [f"NODE {last - first + 1}"] + sections[nodes]
        return lines

    out = ["TORVA_CHAN", "ALPHA 1.0", "BETA 0.6", "THETA 0.7", "LINKS 9", f"MAXNODES {nodes}",
           "CONNECT 1 5 0", "CONNECT 2 4 0", "CONNECT 3 4 0", "CONNECT 4 5 2 2 3",
           "CONNECT 5 6 2 1 4", "CONNECT 6 7 1 5", "CONNECT 7 8 1 6", "CONNECT 8 9 1 7",
           "CONNECT 9 0 1 8"]
    for link in (1, 2, 3, 4):
        out += [f"LINK {link}"] + blocks[link]
    out += link_lines(5, 1, DAM_NODE - REACH_NODES, False)
    out += link_lines(6, DAM_NODE - REACH_NODES + 1, DAM_NODE, False)
    out += ["LINK 7", "LAKE", "NODES 1", "DX 20", f"MINWSE {minimum:.2f}",
            f"INITWSE {start:.2f}", f"MAXWSE {maximum:.2f}", f"NUMPTS {len(lake)}"]
    for k in range(0, len(lake), 10):
        out.append(" ".join(f"{r} {c}" for r, c in lake[k:k + 10]))
    out += ["LINK 8", "STRUCTURE", "NODES 2", "DX 1", "MANNINGS_N 0.035", "NUMSTRUCTS 1",
            "STRUCTTYPE weir", f"CREST_LENGTH {CREST_LENGTH:.1f}", f"CREST_LOW_ELEV {crest:.2f}",
            "DISCHARGE_COEFF_FORWARD 1.0", "DISCHARGE_COEFF_REVERSE 1.0"]
    out += link_lines(9, DAM_NODE + 1, nodes, True)
    with open("valley_reservoir.chn", "w") as f:
        f.write("\n".join(out) + "\n")

    with open("valley_reservoir.gst", "w") as f:
        f.write(f"GRIDSTREAMFILE\nSTREAMCELLS {len(stream)}\n")
        for r, c, entries in stream:
            f.write(f"CELLIJ {r} {c}\nNUMNODES {len(entries)}\n")
            for link, node, fraction in entries:
                if link == 5:
                    link, node = where(node)
                f.write(f"LINKNODE {link} {node} {fraction:.6f}\n")

    # The embankment: the south side (4) of the lake's cells in the dam row.
    dikes = [[0] * len(z[0]) for _ in z]
    for r, c in lake:
        if r == dam_row:
            dikes[r - 1][c - 1] = 4
    with open("valley_reservoir.dik", "w") as f:
        f.write("\n".join(header) + "\n")
        for row in dikes:
            f.write(" ".join(str(v) for v in row) + "\n")

    # The hydrograph locations: the ends of the tributaries and of link 4,
    # the reach above the dam and the outlet.
    with open("valley_reservoir.loc", "w") as f:
        f.write(f"6\n1 26\n2 27\n3 25\n4 4\n6 {REACH_NODES}\n9 {nodes - DAM_NODE}\n")

    with open("valley_channel.prj") as f:
        project = f.read()
    project = project.replace("valley.chn", "valley_reservoir.chn")
    project = project.replace("valley.gst", "valley_reservoir.gst")
    project = project.replace("out/channel", "out/reservoir")
    project = project.replace("valley.loc", "valley_reservoir.loc")
    project += "DIKE_MAP examples/valley/valley_reservoir.dik\n"
    with open("valley_reservoir.prj", "w") as f:
        f.write(project)
    print(f"dam row {dam_row}, crest {crest:.2f} m, lake search list {len(lake)} cells, "
          f"reach of link 6: beds {beds[DAM_NODE - REACH_NODES + 1]:.3f} to "
          f"{beds[DAM_NODE]:.3f} m")


if __name__ == "__main__":
    main()
