#pragma once

#include <string>
#include <vector>

// Native builds have no log file: their tests link this LogMessage, which keeps the messages
// (without timestamps) in memory.
std::vector<std::string> CapturedLogLines();
void ClearCapturedLog();
