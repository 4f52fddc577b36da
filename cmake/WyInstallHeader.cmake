# Installs one header with its project includes in the installed form:
#   #include "map/map_viewport.h"  ->  #include <wymap/map/map_viewport.h>
# so that a program includes the library as <wymap/...> and no folder name
# of the library (map/, geo/, ...) meets another library's.
# Run by cmake --install with WY_HEADER (the source) and WY_DESTINATION (the
# folder under the prefix) set.
file(READ "${WY_HEADER}" _text)
string(REGEX REPLACE
  "#include \"((platform|geo|formats|tiles|graphics|services|shapes|map)/[A-Za-z0-9_./]+)\""
  "#include <wymap/\\1>" _text "${_text}")
get_filename_component(_name "${WY_HEADER}" NAME)
set(_target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${WY_DESTINATION}/${_name}")
message(STATUS "Installing: ${_target}")
file(WRITE "${_target}" "${_text}")
