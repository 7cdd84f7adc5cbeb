#pragma once

#include <windows.h>

#include <cstddef>

// Reports the first three access violations of the process into the native log: the fault, the
// word on top of the stack, stack words that point into modules, and rip/rsp/rbp. It only
// observes; every exception goes on to the next handler.

// Installs CrashHandler ahead of all vectored handlers, once per process whatever the number of
// calls; logs whether that worked.
void InstallCrashHandler();

// The vectored handler; always returns EXCEPTION_CONTINUE_SEARCH.
LONG WINAPI CrashHandler(EXCEPTION_POINTERS* pointers);

// Reads the 8-byte word at address without ever faulting; false (out untouched) if unreadable.
bool ReadWordGuarded(DWORD64 address, DWORD64* out);

// "module.dll+0x1A2B" for an address inside a loaded module, else "0x1A2B"; always
// NUL-terminated within capacity.
void DescribeAddress(DWORD64 address, char* text, size_t capacity);
