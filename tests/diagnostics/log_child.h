#pragma once

#include <string>
#include <vector>

// Messages the child scenarios log, by the name the parent passes.
namespace log_messages {
inline const std::string kStart =
    "start: wej\xc5\x9b"
    "cie";
inline const std::string kLoop = "p\xc4\x99tla: otwieram port";
inline const std::string kStop = "stop: koniec";
// 557 bytes: the longest message whose line (599 bytes) fits whole.
inline const std::string kLongestWhole = "test: " + std::string(551, 'w');
// 556 bytes, then "ę" across the limit: the cut must fall before the letter.
inline const std::string kPolishAcrossLimit =
    "test: " + std::string(550, 'a') + "\xc4\x99" + std::string(100, 'z');
inline const std::string kOverlongAscii = "test: " + std::string(994, 'b');
}  // namespace log_messages

// Runs the scenario named by arguments[0] in this process; the process exit code (0: done).
//   log NAME...             logs the named messages in order ("null" passes a null pointer)
//   burst THREADS LINES TAG threads start together and log "wątek: TAG t i" each
//   cwd-switch DIR2 DIR3    logs "a: pierwszy", changes to DIR2, logs "b: drugi", changes to DIR3,
//                           logs "c: trzeci"
int RunLogChild(const std::vector<std::wstring>& arguments);

// "wątek: TAG t i", as the burst scenario logs it.
std::string BurstMessage(const std::string& tag, int thread, int line);
