# wy_add_library(<folder> [DEPS <targets>...])
# One static library per source folder: every .cpp of src/<folder> goes in,
# the target is called wy_<folder>, and its public include root is src/ so
# headers are included as "<folder>/<file>.h". Installed (cmake --install)
# as wymap::<folder>, with the folder's interface headers (not detail/)
# under include/wymap/<folder>/, included there as <wymap/<folder>/<file>.h>
# (WyInstallHeader.cmake rewrites their project includes so).
function(wy_add_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(_includes $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
                $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(NOT _sources)
    # A folder whose code has not been written yet.
    add_library(wy_${folder} INTERFACE)
    target_include_directories(wy_${folder} INTERFACE ${_includes})
    target_link_libraries(wy_${folder} INTERFACE ${ARG_DEPS})
  else()
    add_library(wy_${folder} STATIC ${_sources} ${_headers})
    target_include_directories(wy_${folder} PUBLIC ${_includes})
    target_link_libraries(wy_${folder} PUBLIC ${ARG_DEPS})
  endif()
  set_target_properties(wy_${folder} PROPERTIES EXPORT_NAME ${folder})
  install(TARGETS wy_${folder} EXPORT wymapTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  foreach(_header ${_headers})
    install(CODE "set(WY_HEADER \"${_header}\")
      set(WY_DESTINATION \"${CMAKE_INSTALL_INCLUDEDIR}/wymap/${folder}\")
      include(\"${PROJECT_SOURCE_DIR}/cmake/WyInstallHeader.cmake\")")
  endforeach()
  set_property(GLOBAL APPEND PROPERTY WY_LIBRARIES wy_${folder})
endfunction()

# wy_add_test(<folder> [LIBS <targets>...])
# One test executable per tests/<folder>, registered with CTest through
# gtest_discover_tests.
function(wy_add_test folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(test_${folder} ${_sources})
  target_link_libraries(test_${folder} PRIVATE wy_test_support ${ARG_LIBS})
  gtest_discover_tests(test_${folder}
    DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endfunction()
