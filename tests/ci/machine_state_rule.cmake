# The registration rule for tests that write machine-wide state (cmake/LumeroTesting.cmake), in
# each place it meets: here, and so under Wine, such tests run; on a Windows host, only on a
# throwaway machine. Usage: cmake -P machine_state_rule.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/LumeroTesting.cmake)

function(expect host_win32 throwaway writes expected)
  set(CMAKE_HOST_WIN32 ${host_win32})
  set(LUMERO_THROWAWAY_MACHINE ${throwaway})
  lumero_registers_test(registered example "${writes}")
  if(NOT registered STREQUAL expected)
    message(FATAL_ERROR "Windows host ${host_win32}, throwaway machine ${throwaway}, writes "
                        "machine-wide state ${writes}: registered ${registered}, not ${expected}")
  endif()
endfunction()

expect(OFF OFF TRUE TRUE)  # a Linux host: Wine's prefix is the build's own
expect(ON OFF TRUE FALSE)  # a developer's own Windows machine
expect(ON ON TRUE TRUE)
expect(ON OFF "" TRUE)  # a test that writes nothing machine-wide runs everywhere
message(STATUS "machine_state_rule: passed")
