#pragma once

#include <string>

namespace flutter {
class FlutterEngine;
}

// Answers "id" on "lumerovantix/device" with the machine's MachineGuid (error "brak_id" when it
// cannot be read); other methods are not implemented. Registering again replaces the channel; a
// null engine does nothing. The channel stays for the life of the process.
void RegisterDeviceChannel(flutter::FlutterEngine* engine);

// MachineGuid of HKLM\SOFTWARE\Microsoft\Cryptography (64-bit view) in UTF-8; empty when it
// cannot be read or is not a REG_SZ that fits 254 bytes. Read afresh on every call.
std::string ReadMachineGuid();
