# The product's one version, set by project(VERSION) in the top CMakeLists.txt. Both programs'
# version resources, the MSI and the release's file names take it from here.
#
# LUMERO_VERSION_TEXT is the form people see in a file's properties: the third number padded to
# three digits (2026.11.031). The numeric fields of a version resource get the plain numbers
# through the generated header: the resource compiler would read a leading zero as octal (031 is
# 25).
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "The version must be three numbers, as 2026.11.31: ${PROJECT_VERSION}")
endif()
foreach(_part MAJOR MINOR PATCH)
  # A version resource holds 16 bits a field; the padded text form holds three digits at the end.
  if(PROJECT_VERSION_${_part} GREATER 65535 OR PROJECT_VERSION_${_part} MATCHES "^0[0-9]")
    message(FATAL_ERROR "Version field ${PROJECT_VERSION_${_part}} must be 0 to 65535, no leading zero")
  endif()
endforeach()
if(PROJECT_VERSION_PATCH GREATER 999)
  message(FATAL_ERROR "The third version number must be below 1000: ${PROJECT_VERSION_PATCH}")
endif()
set(_padded "00${PROJECT_VERSION_PATCH}")
string(LENGTH "${_padded}" _length)
math(EXPR _start "${_length} - 3")
string(SUBSTRING "${_padded}" ${_start} 3 _padded)
set(LUMERO_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${_padded}")

# For the resource scripts (and any code that shows the version).
set(LUMERO_VERSION_HEADER_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/lumero_version.h.in
               ${LUMERO_VERSION_HEADER_DIR}/lumero_version.h @ONLY)
