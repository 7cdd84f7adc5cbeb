# lumero_fuzz_test(NAME TARGET RUNS [SEEDS folder]): a bounded fuzz run as one CTest test.
# libFuzzer writes the inputs it finds into its first corpus folder; that is a folder of the build
# tree, emptied before every run, so each run does the same work in the same time and the build
# tree does not grow (it is emptied again after a run that passed). The committed seeds come after
# it and are only read.
set(LUMERO_FUZZ_TEST_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/run_fuzz_test.cmake)

function(lumero_fuzz_test name target runs)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "SEEDS" "")
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${target}> -DRUNS=${runs}
                   -DFOUND=${CMAKE_CURRENT_BINARY_DIR}/found -DSEEDS=${arg_SEEDS}
                   -P ${LUMERO_FUZZ_TEST_SCRIPT})
  set_tests_properties(${name} PROPERTIES TIMEOUT 240)
endfunction()
