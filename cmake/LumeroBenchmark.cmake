# lumero_benchmark(NAME SOURCES ... [LIBS ...])
# A Google Benchmark executable (native builds with LUMERO_BENCH=ON; not a test). msgpack-cxx is
# there as a yardstick for benchmarks only (LIBS msgpackc-cxx); nothing else may link it. Every benchmark
# joins the target lumero_benchmarks; scripts/bench.sh builds that target and runs each
# executable whose name ends in _benchmark.
include_guard(GLOBAL)

function(lumero_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  find_package(msgpack CONFIG REQUIRED)  # Debian: msgpackc-cxx/msgpack-config.cmake
  if(NOT TARGET lumero_benchmarks)
    add_custom_target(lumero_benchmarks)
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  add_dependencies(lumero_benchmarks ${name})
endfunction()
