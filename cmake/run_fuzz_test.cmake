# Runs one fuzz target for the test command; see LumeroFuzzTest.cmake.
# usage: cmake -DFUZZER=PROGRAM -DRUNS=N -DFOUND=FOLDER [-DSEEDS=FOLDER] -P run_fuzz_test.cmake
file(REMOVE_RECURSE "${FOUND}")
file(MAKE_DIRECTORY "${FOUND}")
set(corpus "${FOUND}")
if(SEEDS)
  list(APPEND corpus "${SEEDS}")
endif()
execute_process(COMMAND "${FUZZER}" -runs=${RUNS} -seed=1 -max_len=4096 -timeout=10
                        -rss_limit_mb=2048 -print_final_stats=1 ${corpus}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}); the inputs it found are in ${FOUND}")
endif()
# Which inputs a run keeps varies a little from run to run; none are kept, so the build tree
# holds the same files after every run.
file(REMOVE_RECURSE "${FOUND}")
file(MAKE_DIRECTORY "${FOUND}")
