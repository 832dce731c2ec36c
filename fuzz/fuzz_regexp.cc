// Fuzz target: a pattern, a replacement and a subject (separated by the
// first two line feeds; the first byte chooses the options) through
// RegExp.Test and RegExp.Replace. Compile errors and the match limit raise
// fennick::Error; anything else is a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fennick/error.h"
#include "platform/script/regexp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t options = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t first = rest.find('\n');
  if (first == std::string_view::npos) return 0;
  size_t second = rest.find('\n', first + 1);
  if (second == std::string_view::npos) return 0;
  fennick::script::RegExp re;
  re.Pattern(rest.substr(0, first));
  re.IgnoreCase(options & 1);
  re.Global(options & 2);
  re.Multiline(options & 4);
  std::string_view replacement = rest.substr(first + 1, second - first - 1);
  std::string_view subject = rest.substr(second + 1);
  try {
    re.Test(subject);
    re.Replace(subject, replacement);
  } catch (const fennick::Error&) {
    // Refusing a pattern or a runaway match is an ordinary outcome.
  }
  return 0;
}
