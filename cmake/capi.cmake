# libtessarine (the C API, shared and static) and the HDF5 filter plugin built on it.
# Included at the end of the top-level CMakeLists.txt.
include(GNUInstallDirs)

# The library's version is the header's, so the two never disagree.
file(STRINGS src/capi/tessarine.h capi_version_lines REGEX "#define TESSARINE_VERSION_(MAJOR|MINOR|PATCH) ")
string(REGEX REPLACE ".*MAJOR ([0-9]+).*MINOR ([0-9]+).*PATCH ([0-9]+).*" "\\1.\\2.\\3"
       TESSARINE_C_VERSION "${capi_version_lines}")

file(GLOB capi_sources CONFIGURE_DEPENDS src/capi/*.cpp)
add_library(tessarine_capi_objects OBJECT EXCLUDE_FROM_ALL ${capi_sources})
target_link_libraries(tessarine_capi_objects PUBLIC tessarine_core)
target_compile_definitions(tessarine_capi_objects PUBLIC TESSARINE_BUILDING)

if(TESSARINE_BUILD_CAPI)
  # Only the tessarine_* functions leave the shared library: the C++ core stays private.
  add_library(tessarine_c_shared SHARED $<TARGET_OBJECTS:tessarine_capi_objects>)
  target_link_libraries(tessarine_c_shared PRIVATE tessarine_core)
  target_link_options(tessarine_c_shared PRIVATE
                      "-Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/src/capi/tessarine.map")
  set_target_properties(tessarine_c_shared PROPERTIES
    OUTPUT_NAME tessarine VERSION ${TESSARINE_C_VERSION} SOVERSION 0
    LINK_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/src/capi/tessarine.map")

  # The static archive holds the whole core, so a C program needs only it and the system
  # libraries that pkg-config lists under Libs.private.
  set(capi_core_libraries tessarine_core vibrel tessarine_arans tessarine_predictive
      tessarine_frame tessarine_memory)
  set(capi_core_objects)
  foreach(library IN LISTS capi_core_libraries)
    get_target_property(kind ${library} TYPE)
    if(kind STREQUAL "STATIC_LIBRARY")
      list(APPEND capi_core_objects $<TARGET_OBJECTS:${library}>)
    endif()
  endforeach()
  add_library(tessarine_c_static STATIC $<TARGET_OBJECTS:tessarine_capi_objects> ${capi_core_objects})
  target_link_libraries(tessarine_c_static INTERFACE ZLIB::ZLIB tessarine_libdeflate Threads::Threads)
  target_include_directories(tessarine_c_static INTERFACE src)
  set_target_properties(tessarine_c_static PROPERTIES OUTPUT_NAME tessarine)

  set(TESSARINE_PC_PRIVATE "-lz")
  if(LIBDEFLATE_INCLUDE_DIR AND LIBDEFLATE_LIBRARY AND NOT TESSARINE_LIBDEFLATE STREQUAL "OFF")
    string(APPEND TESSARINE_PC_PRIVATE " -ldeflate")
  endif()
  # Relative to the .pc file itself, so `cmake --install --prefix` anywhere gives a working file.
  file(RELATIVE_PATH TESSARINE_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
  string(REGEX REPLACE "/$" "" TESSARINE_PC_TO_PREFIX "${TESSARINE_PC_TO_PREFIX}")
  configure_file(src/capi/tessarine.pc.in tessarine.pc @ONLY)
  install(TARGETS tessarine_c_shared tessarine_c_static
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES src/capi/tessarine.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tessarine.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

  if(TARGET capi_overhead_bench)
    target_link_libraries(capi_overhead_bench PRIVATE tessarine_c_static)
  endif()
  if(TESSARINE_BUILD_TESTS)
    file(GLOB capi_tests CONFIGURE_DEPENDS tests/cpp/capi*_test.cpp)
    foreach(src IN LISTS capi_tests)
      get_filename_component(name ${src} NAME_WE)
      target_link_libraries(${name} PRIVATE tessarine_c_static)
    endforeach()
  endif()
endif()

if(TESSARINE_BUILD_HDF5_FILTER)
  # Linked to no libhdf5: the plugin finds the HDF5 functions of whichever library loads it.
  file(GLOB hdf5_filter_sources CONFIGURE_DEPENDS src/hdf5_filter/*.cpp)
  add_library(h5tessarine MODULE ${hdf5_filter_sources} $<TARGET_OBJECTS:tessarine_capi_objects>)
  target_link_libraries(h5tessarine PRIVATE tessarine_core ${CMAKE_DL_LIBS})
  target_link_options(h5tessarine PRIVATE
                      "-Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/src/hdf5_filter/plugin.map")
  set_target_properties(h5tessarine PROPERTIES PREFIX "lib"
    LINK_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/src/hdf5_filter/plugin.map")
  if(SKBUILD)
    install(TARGETS h5tessarine LIBRARY DESTINATION tessarine_tools/plugins)
  else()
    install(TARGETS h5tessarine LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/hdf5/plugin)
  endif()
endif()
