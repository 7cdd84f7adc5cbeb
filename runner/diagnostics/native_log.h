#pragma once

#include <string>

// Appends one timestamped line to %LOCALAPPDATA%\Lumerovantix\logi\app.log. Any thread, any time;
// never fails towards the caller. message is UTF-8; null writes nothing.
void LogMessage(const char* message);

// The log file's path, computed once per process; creates its two folders as a side effect.
std::wstring LogFilePath();
