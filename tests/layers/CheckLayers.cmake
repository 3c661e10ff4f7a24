# The folders as layers: every library folder may include headers of the
# folders below it only, so that a dependency pointing up (the simulator core
# reaching into the debugger, the assembler into the IDE) fails this check
# instead of growing unseen. Tests, benchmarks and check programs may reach
# wherever they must and are not read.
#
# Run as: cmake -DROOT=<source tree> -P CheckLayers.cmake

cmake_minimum_required(VERSION 3.25)

set(below_common "")
set(below_sim common)
set(below_assembler common)
set(below_compiler common)
set(below_protocol common)
set(below_sdcc common)
set(below_terminal common)
set(below_board common sim)
set(below_toolchain common assembler compiler sdcc)
set(below_simrun common sim board assembler compiler sdcc toolchain)
set(below_insight ${below_simrun} simrun)
set(below_debugadapter common protocol)
set(below_languageserver common protocol assembler compiler sdcc sim toolchain)
set(below_debugger ${below_insight} insight protocol debugadapter)
set(below_ide ${below_debugger} debugger)
set(layers common sim assembler compiler protocol sdcc terminal board toolchain simrun insight debugadapter
    languageserver debugger ide)

set(faults "")
foreach(layer ${layers})
  file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
  foreach(source ${sources})
    if(source MATCHES "/tests/|/lockstep/")
      continue()
    endif()
    file(STRINGS ${ROOT}/${source} includes REGEX "^#include \"[a-z0-9_]+/")
    foreach(line ${includes})
      string(REGEX MATCH "\"([a-z0-9_]+)/" folder "${line}")
      set(folder ${CMAKE_MATCH_1})
      if(NOT folder STREQUAL layer AND NOT folder IN_LIST below_${layer})
        list(APPEND faults "${source}: ${line} (${layer}/ may use only: ${below_${layer}})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "Includes pointing up or across the layers:\n${text}")
endif()
message(STATUS "The layers' includes point down only")
