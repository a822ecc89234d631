"""Names of the files of a prepared project, relative to its folder.

The launcher checks them before any work starts, so that nothing is
overwritten unasked; the writers write them.
"""

CHANNELS = "network.chn"
GRID_STREAM = "network.gst"
PROJECT = "project.prj"
TABLES = "tables.cmt"
OUTPUT_FOLDER = "out"


# The grid maps, by what they hold: text grid maps, or GeoTIFFs with --geotiff.
MAPS = ("mask", "elevation", "landuse", "soil")


def map_name(what, geotiff):
    return what + (".tif" if geotiff else ".map")


def file_names(landuse, soil, geotiff):
    names = [map_name("mask", geotiff), map_name("elevation", geotiff), CHANNELS, GRID_STREAM,
             PROJECT]
    if landuse:
        names.append(map_name("landuse", geotiff))
    if soil:
        names.append(map_name("soil", geotiff))
    if landuse or soil:
        names.append(TABLES)
    return names
