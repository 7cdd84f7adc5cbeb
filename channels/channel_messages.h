#pragma once

// Diagnostic lines of the channel layer, byte for byte.
namespace flutter {

inline constexpr char kInvalidReadMessage[] = "Invalid read in StandardCodecByteStreamReader";
inline constexpr char kUnknownTypeMessage[] =
    "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
inline constexpr char kCustomTypeMessage[] =
    "Unhandled custom type in StandardCodecSerializer::WriteValue. "
    "Custom types require codec extensions.";
inline constexpr char kTooDeepMessage[] =
    "Value nested too deeply in StandardCodecSerializer::ReadValueOfType";
inline constexpr char kMethodNameMessage[] = "Invalid method call; method name is not a string.";
inline constexpr char kErrorEnvelopeMessage[] =
    "Invalid error envelope; code or message is not a string.";

inline constexpr char kUnableToConstructMessage[] =
    "Unable to construct method call from message on channel ";
inline constexpr char kHandlerExceptionMessage[] = "Exception in method call handler on channel ";
inline constexpr char kDuplicateResultMessage[] =
    "Error: Only one of Success, Error, or NotImplemented can be called,"
    " and it can be called exactly once. Ignoring duplicate result.";
inline constexpr char kUnansweredMessage[] =
    "Warning: Failed to respond to a message. This is a memory leak.";

}  // namespace flutter
