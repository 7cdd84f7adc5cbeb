# Cross-compiles the Windows program with clang, a second compiler beside mingw-w64's GCC, on the
# same mingw-w64 headers, import libraries and C++ library (GCC's posix-threads libstdc++).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# clang does not find the C++ headers of the posix-threads GCC by itself: that GCC says where they
# are, and where its libstdc++ and libgcc lie.
execute_process(COMMAND x86_64-w64-mingw32-g++-posix -print-file-name=include/c++
                OUTPUT_VARIABLE _lumero_cxx_include OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND x86_64-w64-mingw32-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE _lumero_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT IS_DIRECTORY "${_lumero_cxx_include}" OR NOT EXISTS "${_lumero_libgcc}")
  message(FATAL_ERROR "x86_64-w64-mingw32-g++-posix has no C++ headers or libgcc "
                      "(Debian package g++-mingw-w64-x86-64-posix)")
endif()
get_filename_component(_lumero_gcc_folder "${_lumero_libgcc}" DIRECTORY)

# -femulated-tls: thread-locals as GCC makes them on this target, or libstdc++'s own (those of
# std::call_once) are not found at link time. -pthread: std::thread, and libgcc_eh's emulated
# thread-locals need winpthread.
set(CMAKE_CXX_FLAGS_INIT "-isystem ${_lumero_cxx_include} \
-isystem ${_lumero_cxx_include}/x86_64-w64-mingw32 -femulated-tls -pthread")
set(CMAKE_C_FLAGS_INIT "-femulated-tls -pthread")
# Runtime DLLs are not found under Wine: link libstdc++, libgcc and winpthread statically.
#
# Links report "duplicate section `.rdata$_ZTSSt9exception...' has different size" (also for
# std::runtime_error, std::thread's state and a few more): the type_info objects and name strings
# of standard types, which clang emits in our objects and GCC in libstdc++. Their contents and
# relocations are the same; GCC pads each section to a multiple of 16 bytes. The linker keeps one
# copy, so the messages are harmless. Linker messages are not turned into errors by -Werror.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -pthread -L${_lumero_gcc_folder}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -pthread -L${_lumero_gcc_folder}")
