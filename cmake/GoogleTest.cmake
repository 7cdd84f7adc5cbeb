# GoogleTest, built with the compiler (and sanitizers) of this build: from the sources named by
# LUMERO_GOOGLETEST_SOURCE (Debian's, on a Linux host), else downloaded at configure time, pinned
# to the release Debian ships. Never copied into this repository.
if(CMAKE_HOST_WIN32)
  set(_googletest_default "")
else()
  set(_googletest_default /usr/src/googletest)
endif()
set(LUMERO_GOOGLETEST_SOURCE ${_googletest_default} CACHE PATH
    "GoogleTest sources; empty: download GoogleTest 1.12.1 at configure time")

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# MSVC: GoogleTest with the DLL C runtime, as everything else (see CMAKE_MSVC_RUNTIME_LIBRARY).
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
# GoogleTest asks for CMake 3.5, which would leave CMP0091 OLD there and drop the runtime choice
# from its targets (they would then link the static runtime beside our DLL one).
set(CMAKE_POLICY_DEFAULT_CMP0091 NEW)

if(LUMERO_GOOGLETEST_SOURCE)
  add_subdirectory(${LUMERO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  include(FetchContent)
  # The tag's archive; Debian's googletest_1.12.1.orig.tar.gz is the same file.
  FetchContent_Declare(googletest
    URL https://github.com/google/googletest/archive/refs/tags/release-1.12.1.tar.gz
    URL_HASH SHA256=81964fe578e9bd7c94dfdb09c8e4d6e6759e19967e397dbea48d1c10e45d0df2
    DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
  FetchContent_MakeAvailable(googletest)
  set_property(DIRECTORY ${googletest_SOURCE_DIR} PROPERTY EXCLUDE_FROM_ALL TRUE)
endif()
