// Fuzz target: postback arguments as the browser may send them back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/argument_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string decoded = fennick::DecodeArgument(text);
  // Whatever decodes must encode back to the same text.
  if (!decoded.empty() && fennick::EncodeArgument(decoded) != text) __builtin_trap();
  fennick::GetArgument(decoded, "sort");
  fennick::GetArgument(text, "start");
  return 0;
}
