# What a release ships is marked by tonvane_shipped(): the binary gets a version
# resource carrying the project's one version, and the linker writes a map of what it
# linked in (build/win32/maps/<file>.map), from which the notices test learns every
# third-party library inside the binaries.
set(TONVANE_MAP_DIR ${CMAKE_BINARY_DIR}/maps)
file(MAKE_DIRECTORY ${TONVANE_MAP_DIR})

function(tonvane_shipped target description)
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(TONVANE_FILE_TYPE VFT_APP)
    set(TONVANE_ORIGINAL_FILENAME ${name}.exe)
  else()
    set(TONVANE_FILE_TYPE VFT_DLL)
    set(TONVANE_ORIGINAL_FILENAME ${name}.dll)
  endif()
  set(TONVANE_FILE_DESCRIPTION "${description}")
  set(TONVANE_INTERNAL_NAME ${name})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  target_link_options(${target} PRIVATE -Wl,-Map=${TONVANE_MAP_DIR}/${TONVANE_ORIGINAL_FILENAME}.map)
  set_property(GLOBAL APPEND PROPERTY TONVANE_SHIPPED_FILES ${TONVANE_ORIGINAL_FILENAME})
endfunction()
