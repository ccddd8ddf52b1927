# The object files compiled for AVX2 and AVX-512 define only their entry
# points: elementpass_<width>, and ownmath_<width> through which the tests
# reach that width's log, exp and pow. Any other global or
# weak function (an inline function of a shared header, a template instance)
# could be chosen by the linker for baseline code as well and run wide
# instructions on a processor without them. Data (the corner and face tables
# of shared headers) is the same whatever the instruction set.
#
#   cmake -DNM=nm -DOBJECTS="a.o|b.o|..." -P widecode.cmake
string(REPLACE "|" ";" objects "${OBJECTS}")
set(checked 0)
foreach(obj IN LISTS objects)
  if(NOT obj MATCHES "feforce_(avx2|avx512)\\.cpp\\.o$")
    continue()
  endif()
  set(width ${CMAKE_MATCH_1})
  execute_process(COMMAND ${NM} --defined-only --extern-only ${obj} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${obj}")
  endif()
  string(REGEX REPLACE "\n$" "" out "${out}")
  string(REPLACE "\n" ";" lines "${out}")
  foreach(line IN LISTS lines)
    if(line MATCHES " [TWi] " AND NOT line MATCHES " T _Z[0-9]+elementpass_${width}R11elementpass$"
       AND NOT line MATCHES " T _Z[0-9]+ownmath_${width}iPKdS0_Pdi$")
      message(FATAL_ERROR "${obj}: global function other than elementpass_${width}: ${line}")
    endif()
  endforeach()
  math(EXPR checked "${checked} + 1")
endforeach()
if(NOT checked EQUAL 2)
  message(FATAL_ERROR "expected the AVX2 and AVX-512 objects, checked ${checked}")
endif()
message(STATUS "wide objects define only their entry points")
