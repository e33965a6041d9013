# Golden recordings through tolvane-cli: each tests/data/NAME.tve is
# decoded with its settings file and standard output must equal NAME.txt
# beside it, byte for byte; with --json (from a fixed start, in UTC) it must
# equal NAME.json.
#
# Included by tests/CMakeLists.txt to register the tests; run by CTest in
# script mode (cmake -P) to do one comparison.
if(CMAKE_SCRIPT_MODE_FILE)
  set(options)
  if(JSON)
    set(options --json --start @1000000000)
  endif()
  execute_process(
    COMMAND "${CLI}" ${options} --ini "${INI}" "${INPUT}"
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

set(_golden_data ${CMAKE_CURRENT_LIST_DIR}/../data)
# name and settings file:
# - pocsag_512 on 4-level lines; pocsag_1200 with a bit error in every
#   codeword, two uncorrectable codewords, clock error and jitter;
#   pocsag_2400 inverted with jitter;
# - flex_6400_4: a page in each of the four phases (alphanumeric, numeric,
#   secure) on 4-level lines with jitter;
# - mixed_2level: POCSAG 1200 and 2400, FLEX 1600/2 (short and long
#   capcodes, numbered numeric) and 3200/2, and GSC in one recording with
#   a bit error per codeword, as a receiver hears a busy channel;
# - more_4level: FLEX tone-only, short numeric, binary and ReFLEX pages and
#   a GSC numeric page, for the page records of every kind;
# - controls: escape sequences and a bell from the air, and a filter
#   command whose own output must not reach standard output;
# - hostile: quotes, backslashes, control characters and a damaged word
#   (bytes above 127) in the text, a receiver name that needs escaping, a
#   capcode filter, a rejecting one and a text filter.
# - page_bytes: every 7-bit byte in a text, a damaged word, and a text of
#   1056 characters whose text filter match lies beyond the 1031 a line
#   is filtered on, with the hostile settings;
# - filters: which filter takes each page (the records' "filter"): capcode
#   patterns with wildcards and shorter than the capcode, function and
#   rate conditions (FLEX has no function), the types kept apart, a capcode
#   filter that decides alone, text filters searching the message only and
#   in order, a rejected page gone.
# "json": the page records are compared as well.
foreach(_case "pocsag_512;pocsag_golden;json" "pocsag_1200;pocsag_golden;json" "pocsag_2400;pocsag_inverted"
              "flex_6400_4;four_level;json" "mixed_2level;pocsag_golden;json" "more_4level;four_level;json"
              "controls;filter_command" "hostile;hostile;json"
              "page_bytes;hostile;json" "filters;filters;json")
  list(GET _case 0 _name)
  list(GET _case 1 _ini)
  add_test(NAME cli_golden_${_name}
    COMMAND ${CMAKE_COMMAND}
      -DCLI=$<TARGET_FILE:tolvane-cli>
      -DINI=${_golden_data}/${_ini}.ini
      -DINPUT=${_golden_data}/${_name}.tve
      -DEXPECTED=${_golden_data}/${_name}.txt
      -P ${CMAKE_CURRENT_LIST_FILE})
  if(_case MATCHES ";json$")
    add_test(NAME cli_golden_${_name}_json
      COMMAND ${CMAKE_COMMAND}
        -DCLI=$<TARGET_FILE:tolvane-cli>
        -DJSON=1
        -DINI=${_golden_data}/${_ini}.ini
        -DINPUT=${_golden_data}/${_name}.tve
        -DEXPECTED=${_golden_data}/${_name}.json
        -P ${CMAKE_CURRENT_LIST_FILE})
    set_tests_properties(cli_golden_${_name}_json PROPERTIES ENVIRONMENT TZ=UTC)
  endif()
endforeach()
