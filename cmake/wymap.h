#pragma once
// wymap in one include: the map widget, the renderer that draws a map without
// a widget (onto images, PDF and SVG pages), the shapes placed on a map and
// the enumerations they take. Installed as <wymap/wymap.h>; every header of
// the library is also reachable on its own as <wymap/<folder>/<file>.h>.

#include <wymap/geo/enums.h>
#include <wymap/map/map_control.h>
#include <wymap/map/map_picture_file.h>
#include <wymap/map/map_renderer.h>
#include <wymap/map/map_viewport.h>
#include <wymap/shapes/shape_info_window.h>
#include <wymap/shapes/shape_line.h>
#include <wymap/shapes/shape_marker.h>
#include <wymap/shapes/shape_poi.h>
#include <wymap/shapes/shapes_group.h>
#include <wymap/tiles/tile_catalog.h>
#include <wymap/tiles/tile_server.h>
