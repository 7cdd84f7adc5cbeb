#include "channels/byte_buffer_streams.h"

#include <cstring>

#include "channels/channel_diagnostics.h"
#include "channels/channel_messages.h"

namespace flutter {

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  const uint8_t* span = ReadSpan(length);
  if (span != nullptr && length > 0) std::memcpy(buffer, span, length);
}

void ByteBufferStreamReader::ReportPastEnd() { PrintChannelDiagnostic(kInvalidReadMessage); }

}  // namespace flutter
