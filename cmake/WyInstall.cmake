# What `cmake --install` puts in place: the libraries of the folders with
# their headers (see wy_add_library), the wymap::wymap target that brings
# them all, a CMake package (find_package(wymap)) and a pkg-config file, the
# wymap tool and the demonstration program with its icons.
include(CMakePackageConfigHelpers)

add_library(wy_all INTERFACE)
get_property(_wy_libraries GLOBAL PROPERTY WY_LIBRARIES)
target_link_libraries(wy_all INTERFACE ${_wy_libraries})
set_target_properties(wy_all PROPERTIES EXPORT_NAME wymap)
add_library(wymap::wymap ALIAS wy_all)
install(TARGETS wy_all EXPORT wymapTargets)

set(_wy_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/wymap)
install(EXPORT wymapTargets NAMESPACE wymap:: DESTINATION ${_wy_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/wymapConfig.cmake.in
  ${PROJECT_BINARY_DIR}/wymapConfig.cmake INSTALL_DESTINATION ${_wy_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/wymapConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/wymapConfig.cmake
              ${PROJECT_BINARY_DIR}/wymapConfigVersion.cmake
        DESTINATION ${_wy_cmake_dir})

# pkg-config: the libraries highest layer first, as a static link wants them.
set(WY_PC_LIBS "")
foreach(_folder map shapes services graphics tiles formats geo platform)
  if(TARGET wy_${_folder})
    get_target_property(_type wy_${_folder} TYPE)
    if(_type STREQUAL "STATIC_LIBRARY")
      string(APPEND WY_PC_LIBS " -lwy_${_folder}")
    endif()
  endif()
endforeach()
# The prefix found from the file's own place, so an installed tree may move.
file(RELATIVE_PATH WY_PC_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${PROJECT_SOURCE_DIR}/cmake/wymap.pc.in ${PROJECT_BINARY_DIR}/wymap.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/wymap.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

foreach(_program wymap wymap-demo)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# One header that brings the map and what a program places on it.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/wymap.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wymap)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/demo/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/wymap/icons
        FILES_MATCHING PATTERN "*.png")
