"""Names of the files of a prepared project, relative to its folder.

The launcher checks them before any work starts, so that nothing is
overwritten unasked; the writers write them.
"""

MASK = "mask.map"
ELEVATION = "elevation.map"
CHANNELS = "network.chn"
GRID_STREAM = "network.gst"
PROJECT = "project.prj"
LANDUSE = "landuse.map"
SOIL = "soil.map"
TABLES = "tables.cmt"
OUTPUT_FOLDER = "out"


def file_names(landuse, soil):
    names = [MASK, ELEVATION, CHANNELS, GRID_STREAM, PROJECT]
    if landuse:
        names.append(LANDUSE)
    if soil:
        names.append(SOIL)
    if landuse or soil:
        names.append(TABLES)
    return names
