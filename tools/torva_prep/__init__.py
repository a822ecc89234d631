"""torva-prep: from a DEM to a TORVA project, with GRASS GIS doing the flow routing."""
