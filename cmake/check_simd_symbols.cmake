# Fails when an object compiled with SIMD flags defines a weak (inline or template) symbol
# outside its own namespaces. The linker keeps one copy of such a symbol, and if it keeps the
# AVX2 copy, scalar callers fault on processors without AVX2.
# Usage: cmake -DOBJECTS="a.o;b.o" -DNM=nm -P check_simd_symbols.cmake
set(bad "")
foreach(object IN LISTS OBJECTS)
  if(NOT object MATCHES "/(avx|sse)/")
    continue()
  endif()
  execute_process(COMMAND ${NM} -C ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${object}")
  endif()
  string(REPLACE "\n" ";" lines "${symbols}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-f]+ [WVu] (.*)$")
      set(name "${CMAKE_MATCH_1}")
      # DW.ref.* are data pointers to the exception personality routine, not code.
      if(NOT name MATCHES "vibrel::(avx|sse|isa_[a-z0-9_]+)::" AND NOT name MATCHES "^DW\\.ref\\.")
        string(APPEND bad "${object}: ${name}\n")
      endif()
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "Shared weak symbols in SIMD objects:\n${bad}")
endif()
