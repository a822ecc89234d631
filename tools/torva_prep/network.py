"""The stream network of a basin as TORVA's channel network.

GRASS gives every cell a D8 flow direction and marks the stream cells; this
module follows the directions along the stream cells of the basin, cuts them
into links at the junctions, numbers the links so that each drains into a
higher number with the outlet link last, places nodes along each link a whole
number of cells apart, sets the bed of every node below the ground of its
cells, falling downstream, and sizes each link's trapezoid from the area that
drains into it.

Cells are (row, col) pairs counted from 0 at the north-west corner of the
cropped grid.
"""

import math

# GRASS's D8 codes (r.watershed, r.stream.extract): the code times 45 degrees
# is the direction counter-clockwise from east; a negative code leaves the
# region. Row offsets grow southwards.
D8_STEP = {
    1: (-1, 1), 2: (-1, 0), 3: (-1, -1), 4: (0, -1),
    5: (1, -1), 6: (1, 0), 7: (1, 1), 8: (0, 1),
}


class Link:
    """One link: its cells from the upstream end, the links that drain into
    its first cell, the link it drains into (0 for the outlet link), and the
    nodes, beds and cross-section set later."""

    def __init__(self, cells):
        self.cells = cells
        self.upstream = []
        self.downstream_link = None
        self.downstream = 0  # its number, once numbered
        self.number = 0
        self.node_cells = []  # per node, a list of (cell, length in m)
        self.dx = 0.0
        self.beds = []
        self.area_km2 = 0.0
        self.bottom_width = 0.0
        self.bankfull_depth = 0.0


def downstream_cell(cell, direction):
    code = abs(int(direction[cell]))
    if code not in D8_STEP:
        return None
    dr, dc = D8_STEP[code]
    return (cell[0] + dr, cell[1] + dc)


def step_length(a, b, cell_size):
    return cell_size * (math.sqrt(2.0) if a[0] != b[0] and a[1] != b[1] else 1.0)


def trace_links(stream_cells, direction, outlet):
    """Cuts the stream cells that drain to `outlet` into links.

    A link starts at a stream head (no stream cell drains into it) or at a
    junction (two or more do) and runs downstream to the cell before the
    next junction, or to the outlet. Returns the links with their upstream
    and downstream links set, the outlet link last in the list."""
    stream = set(stream_cells)
    below = {}
    above = {cell: [] for cell in stream}
    for cell in stream:
        nxt = downstream_cell(cell, direction)
        if nxt in stream and cell != outlet:
            below[cell] = nxt
            above[nxt].append(cell)
    starts = sorted(cell for cell in stream if len(above[cell]) != 1)
    link_of = {}
    links = []
    for start in starts:
        cells = [start]
        at = start
        while at in below and len(above[below[at]]) == 1:
            at = below[at]
            cells.append(at)
        link = Link(cells)
        links.append(link)
        for cell in cells:
            link_of[cell] = link
    for link in links:
        end = link.cells[-1]
        if end in below:
            down = link_of[below[end]]
            link.downstream_link = down
            down.upstream.append(link)
    return links, link_of


def number_links(outlet_link):
    """Numbers the links upstream first: every link after all the links that
    drain into it, so each drains into a higher number and the outlet link is
    last. Returns the links in number order."""
    ordered = []
    # Depth-first, children before the parent, without recursion so that a
    # network of thousands of links cannot exhaust the stack.
    stack = [(outlet_link, False)]
    while stack:
        link, children_done = stack.pop()
        if children_done:
            ordered.append(link)
            continue
        stack.append((link, True))
        for up in sorted(link.upstream, key=lambda l: l.cells[0], reverse=True):
            stack.append((up, False))
    for number, link in enumerate(ordered, start=1):
        link.number = number
    for link in ordered:
        link.downstream = link.downstream_link.number if link.downstream_link else 0
    return ordered


def place_nodes(link, direction, cell_size, cells_per_node):
    """Splits the link into nodes of whole cells, about `cells_per_node`
    each and at least two per link. A cell's channel length runs from its
    centre to the centre of the next cell downstream (one cell size at the
    outlet), so the link's length is that of its flow path; the node spacing
    is that length over the number of nodes."""
    lengths = []
    for cell in link.cells:
        nxt = downstream_cell(cell, direction)
        lengths.append(step_length(cell, nxt, cell_size) if nxt else cell_size)
    count = len(link.cells)
    nodes = max(2, round(count / cells_per_node))
    node_cells = [[] for _ in range(nodes)]
    if count >= nodes:
        # Cell k goes to the node its middle falls in, counting cells.
        for k, (cell, length) in enumerate(zip(link.cells, lengths)):
            node_cells[min(nodes - 1, (2 * k + 1) * nodes // (2 * count))].append((cell, length))
    else:
        # A link of one cell: two nodes share it, each with half its length.
        cell, length = link.cells[0], lengths[0]
        for node in node_cells:
            node.append((cell, length / nodes))
    link.node_cells = node_cells
    link.dx = sum(lengths) / nodes


def size_sections(link, area_cells, cell_size, geometry):
    """Bottom width and bankfull depth (m) as power laws of the area (km2)
    that drains through the link's last cell."""
    area = area_cells[link.cells[-1]] * cell_size * cell_size / 1e6
    link.area_km2 = area
    link.bottom_width = geometry["width_coeff"] * area ** geometry["width_exp"]
    link.bankfull_depth = geometry["depth_coeff"] * area ** geometry["depth_exp"]


def set_beds(ordered, ground, min_slope):
    """Beds one bankfull depth below the lowest ground of each node's cells,
    then lowered where needed so that they fall downstream by at least
    `min_slope` per metre, within each link and across junctions (links are
    visited upstream first). Returns the number of nodes lowered."""
    lowered = 0
    for link in ordered:
        drop = min_slope * link.dx
        previous = min((up.beds[-1] for up in link.upstream), default=None)
        beds = []
        for cells in link.node_cells:
            level = min(float(ground[cell]) for cell, _ in cells) - link.bankfull_depth
            if previous is not None and level > previous - drop:
                level = previous - drop
                lowered += 1
            beds.append(level)
            previous = level
        link.beds = beds
    return lowered


def build_network(stream_cells, direction, area_cells, ground, outlet, cell_size, options):
    """The whole network: links numbered, nodes placed, sections sized and
    beds set. Returns (links in number order, nodes lowered)."""
    links, link_of = trace_links(stream_cells, direction, outlet)
    ordered = number_links(link_of[outlet])
    for link in ordered:
        place_nodes(link, direction, cell_size, options["cells_per_node"])
        size_sections(link, area_cells, cell_size, options)
    lowered = set_beds(ordered, ground, options["min_bed_slope"])
    return ordered, lowered


def stream_cell_entries(ordered):
    """The grid-stream entries: per cell, (link, node, fraction) with the
    fraction the share of the node's length inside the cell."""
    cells = {}
    for link in ordered:
        for node, members in enumerate(link.node_cells, start=1):
            total = sum(length for _, length in members)
            for cell, length in members:
                cells.setdefault(cell, []).append((link.number, node, length / total))
    return cells
