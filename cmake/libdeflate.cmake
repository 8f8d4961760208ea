# Finds libdeflate for the DEFLATE coder. TESSARINE_LIBDEFLATE: AUTO uses it when present,
# ON requires it, OFF keeps zlib alone. Defines the target tessarine_libdeflate (empty when
# not used) and says which DEFLATE compressor the build has.
set(TESSARINE_LIBDEFLATE AUTO CACHE STRING "Use libdeflate for DEFLATE: AUTO, ON or OFF")
set_property(CACHE TESSARINE_LIBDEFLATE PROPERTY STRINGS AUTO ON OFF)
set(TESSARINE_LIBDEFLATE_LEVEL 7 CACHE STRING "libdeflate compression level (1 to 12)")

if(NOT TESSARINE_LIBDEFLATE_LEVEL MATCHES "^([1-9]|1[0-2])$")
  message(FATAL_ERROR "TESSARINE_LIBDEFLATE_LEVEL must be 1 to 12, not ${TESSARINE_LIBDEFLATE_LEVEL}")
endif()

add_library(tessarine_libdeflate INTERFACE)
if(NOT TESSARINE_LIBDEFLATE STREQUAL "OFF")
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h)
  find_library(LIBDEFLATE_LIBRARY NAMES deflate libdeflate)
  if(LIBDEFLATE_INCLUDE_DIR AND LIBDEFLATE_LIBRARY)
    target_include_directories(tessarine_libdeflate INTERFACE ${LIBDEFLATE_INCLUDE_DIR})
    target_link_libraries(tessarine_libdeflate INTERFACE ${LIBDEFLATE_LIBRARY})
    target_compile_definitions(tessarine_libdeflate INTERFACE TESSARINE_HAVE_LIBDEFLATE
                               TESSARINE_LIBDEFLATE_LEVEL=${TESSARINE_LIBDEFLATE_LEVEL})
    message(STATUS "DEFLATE coder: libdeflate level ${TESSARINE_LIBDEFLATE_LEVEL} "
                   "(${LIBDEFLATE_LIBRARY}), zlib for streaming inflation")
  elseif(TESSARINE_LIBDEFLATE STREQUAL "ON")
    message(FATAL_ERROR "TESSARINE_LIBDEFLATE=ON but libdeflate was not found "
                        "(install libdeflate-dev)")
  else()
    message(STATUS "DEFLATE coder: zlib (libdeflate not found; install libdeflate-dev for the faster build)")
  endif()
else()
  message(STATUS "DEFLATE coder: zlib (TESSARINE_LIBDEFLATE=OFF)")
endif()
