# lumero_test(NAME SOURCES ... [LIBS ...] [ENVIRONMENT ...] [TIMEOUT s] [OWN_MAIN])
# One executable, one CTest test. Under the Windows build CTest runs it through the Wine
# launcher (CMAKE_CROSSCOMPILING_EMULATOR), so every test case shares one Wine start; it passes
# only on GoogleTest's own closing summary (scripts/wine-run.sh --gtest).
# OWN_MAIN: the sources define main (for example to start themselves again as a child process).
function(lumero_test name)
  cmake_parse_arguments(T "OWN_MAIN" "TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()

# Tests that add or remove CP2102 devices in the Wine prefix's registry (the meter simulator, or
# fake devices written by the test itself) share this lock, so that no two run at once and each
# sees only its own devices.
set(LUMERO_METER_DEVICES_LOCK lumero_meter_devices)

# lumero_simulator_test(NAME SOURCES ... [LIBS ...] [COM n] [TIMEOUT s] [OWN_MAIN])
# A Windows test that talks to a simulated meter: CTest starts the meter simulator
# (LUMERO_METER_SIMULATOR) on COMn of the build's Wine prefix, runs the test under Wine with
# LUMERO_METER_SIMULATOR_PORT and LUMERO_METER_SIMULATOR_COM set, then stops the simulator.
# Registered only in the Windows build and only when the simulator's path is known. OWN_MAIN as
# for lumero_test.
function(lumero_simulator_test name)
  cmake_parse_arguments(T "OWN_MAIN" "TIMEOUT;COM" "SOURCES;LIBS" ${ARGN})
  if(NOT LUMERO_WINDOWS OR NOT LUMERO_METER_SIMULATOR)
    return()
  endif()
  if(NOT T_COM)
    set(T_COM 7)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(gtest_main GTest::gtest_main)
  if(T_OWN_MAIN)
    set(gtest_main GTest::gtest)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} lumero_meter_simulator_client GTest::gmock
                                        ${gtest_main})
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-meter-simulator.sh
                   --simulator ${LUMERO_METER_SIMULATOR} --prefix ${LUMERO_WINE_PREFIX}
                   --com ${T_COM} --
                   ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${LUMERO_WINE_PREFIX} --gtest
                   $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                                          RESOURCE_LOCK ${LUMERO_METER_DEVICES_LOCK})
endfunction()
