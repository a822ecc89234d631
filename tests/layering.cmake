# Fails when an include runs upwards through the layers of src/: shared code
# (core) below the processes, the processes in the middle, the driver (run) on
# top; and when a process other than the outputs includes an output. Run by
# ctest as the test "layering".
cmake_policy(SET CMP0057 NEW)
set(processes input grid meteo surface channel soil groundwater output calibration lakes)
set(faults "")

file(GLOB_RECURSE sources "${SRC}/*.hpp" "${SRC}/*.cpp")
foreach(path IN LISTS sources)
  file(RELATIVE_PATH rel "${SRC}" "${path}")
  string(REGEX MATCH "^[^/]+" folder "${rel}")
  file(STRINGS "${path}" includes REGEX "^#include \"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" target "${line}")
    string(REGEX MATCH "^[^/]+" target_folder "${target}")
    if(folder STREQUAL "core" AND NOT target_folder STREQUAL "core"
       AND NOT target MATCHES "_state\\.hpp$")
      list(APPEND faults "${rel}: core includes process code ${target}")
    endif()
    if(NOT folder STREQUAL "run" AND target_folder STREQUAL "run")
      list(APPEND faults "${rel}: includes the driver's folder (${target})")
    endif()
    # Outputs report what the processes did: a process tells the driver (a
    # flag in its state), and the driver calls the output.
    if(folder IN_LIST processes AND NOT folder STREQUAL "output"
       AND target_folder STREQUAL "output")
      list(APPEND faults "${rel}: a process includes the output folder (${target})")
    endif()
    if(rel MATCHES "_state\\.hpp$" AND NOT folder STREQUAL "core"
       AND NOT target_folder STREQUAL "core" AND NOT target_folder STREQUAL folder)
      list(APPEND faults "${rel}: a state header includes ${target}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" message)
  message(FATAL_ERROR "Includes that run upwards:\n${message}")
endif()
