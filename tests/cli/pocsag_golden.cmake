# Golden recordings through tolvane-cli: each tests/data/pocsag_*.tve is
# decoded with its settings file and standard output must equal the .txt
# beside it, byte for byte.
#
# Included by tests/CMakeLists.txt to register the tests; run by CTest in
# script mode (cmake -P) to do one comparison.
if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(
    COMMAND "${CLI}" --ini "${INI}" "${INPUT}"
    OUTPUT_VARIABLE actual
    ERROR_VARIABLE diagnostics
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "tolvane-cli exited with ${status}: ${diagnostics}")
  endif()
  file(READ "${EXPECTED}" expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "output of ${INPUT} differs.\n--- expected\n${expected}--- actual\n${actual}")
  endif()
  return()
endif()

set(_pocsag_data ${CMAKE_CURRENT_LIST_DIR}/../data)
# name, settings file: 512 on 4-level lines; 1200 with a bit error in every
# codeword, two uncorrectable codewords, clock error and jitter; 2400
# inverted with jitter.
foreach(_case "512;pocsag_golden" "1200;pocsag_golden" "2400;pocsag_inverted")
  list(GET _case 0 _rate)
  list(GET _case 1 _ini)
  add_test(NAME cli_golden_pocsag_${_rate}
    COMMAND ${CMAKE_COMMAND}
      -DCLI=$<TARGET_FILE:tolvane-cli>
      -DINI=${_pocsag_data}/${_ini}.ini
      -DINPUT=${_pocsag_data}/pocsag_${_rate}.tve
      -DEXPECTED=${_pocsag_data}/pocsag_${_rate}.txt
      -P ${CMAKE_CURRENT_LIST_FILE})
endforeach()
