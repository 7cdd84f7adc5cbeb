# Tests that change machine-wide state (registry values that belong to the user or the system, such
# as the theme setting, CP2102 device nodes or the MachineGuid) say so with the word
# WRITES_MACHINE_STATE. Under Wine they change only the build's own prefix; on a Windows host they
# would change the developer's own machine, so there they are built but registered only on a
# throwaway machine (LUMERO_THROWAWAY_MACHINE=ON).
option(LUMERO_THROWAWAY_MACHINE
       "Windows host: also register the tests that write machine-wide state (registry)" OFF)

# The ENVIRONMENT of Windows tests that tell local time from UTC: under Wine three hours ahead of
# UTC (a POSIX zone that needs no zone data); on Windows the machine's own zone holds.
set(LUMERO_ZONE_AHEAD_OF_UTC "")
if(LUMERO_UNDER_WINE)
  set(LUMERO_ZONE_AHEAD_OF_UTC "TZ=XYZ-3")
endif()

# Sets VAR to whether test NAME is registered here; says so when it is not.
function(lumero_registers_test var name writes_machine_state)
  set(${var} TRUE PARENT_SCOPE)
  if(writes_machine_state AND CMAKE_HOST_WIN32 AND NOT LUMERO_THROWAWAY_MACHINE)
    message(STATUS "Test ${name} not registered: it writes machine-wide state "
                   "(LUMERO_THROWAWAY_MACHINE=ON registers it)")
    set(${var} FALSE PARENT_SCOPE)
  endif()
endfunction()

# lumero_test(NAME SOURCES ... [LIBS ...] [ENVIRONMENT ...] [RESOURCE_LOCK ...] [TIMEOUT s]
#             [OWN_MAIN] [WRITES_MACHINE_STATE])
# One executable, one CTest test. Under the Windows build here CTest runs it through the Wine
# launcher (CMAKE_CROSSCOMPILING_EMULATOR), so every test case shares one Wine start; it passes
# only on GoogleTest's own closing summary (scripts/wine-run.sh --gtest).
# OWN_MAIN: the sources define main (for example to start themselves again as a child process).
# WRITES_MACHINE_STATE: see above.
function(lumero_test name)
  cmake_parse_arguments(T "OWN_MAIN;WRITES_MACHINE_STATE" "TIMEOUT"
                        "SOURCES;LIBS;ENVIRONMENT;RESOURCE_LOCK" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  endif()
  lumero_registers_test(registered ${name} "${T_WRITES_MACHINE_STATE}")
  if(NOT registered)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()

# Tests that add or remove CP2102 devices in the Wine prefix's registry (the meter simulator, or
# fake devices written by the test itself) share this lock, so that no two run at once and each
# sees only its own devices.
set(LUMERO_METER_DEVICES_LOCK lumero_meter_devices)

# lumero_simulator_test(NAME SOURCES ... [LIBS ...] [COM n] [TIMEOUT s] [OWN_MAIN]
#                       [WRITES_MACHINE_STATE] [DRIVER script arguments...])
# A Windows test that talks to a simulated meter: CTest starts the meter simulator
# (LUMERO_METER_SIMULATOR) on COMn of the build's Wine prefix, runs the test under Wine with
# LUMERO_METER_SIMULATOR_PORT and LUMERO_METER_SIMULATOR_COM set, then stops the simulator.
# Built and registered only in the Windows build under Wine (the simulator is a Linux program,
# started by a bash script) and only when the simulator's path is known. OWN_MAIN and
# WRITES_MACHINE_STATE as for lumero_test. DRIVER: a script that checks what the program left
# behind with Linux tools; it is given its arguments, then "--" and the Wine command, runs that
# first and fails when it fails, so the whole stays one CTest test under the pass rule.
function(lumero_simulator_test name)
  cmake_parse_arguments(T "OWN_MAIN;WRITES_MACHINE_STATE" "TIMEOUT;COM" "SOURCES;LIBS;DRIVER"
                        ${ARGN})
  if(LUMERO_WINDOWS AND NOT LUMERO_UNDER_WINE)
    message(STATUS "Test ${name} not registered: it needs the meter simulator under Wine")
  endif()
  if(NOT LUMERO_UNDER_WINE OR NOT LUMERO_METER_SIMULATOR)
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
  lumero_registers_test(registered ${name} "${T_WRITES_MACHINE_STATE}")
  if(NOT registered)
    return()
  endif()
  set(driver "")
  if(T_DRIVER)
    set(driver ${T_DRIVER} --)
  endif()
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-meter-simulator.sh
                   --simulator ${LUMERO_METER_SIMULATOR} --prefix ${LUMERO_WINE_PREFIX}
                   --com ${T_COM} -- ${driver}
                   ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${LUMERO_WINE_PREFIX} --gtest
                   $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                                          RESOURCE_LOCK ${LUMERO_METER_DEVICES_LOCK})
endfunction()
