// Fuzz target: any text as an expression. The evaluator may refuse it with
// a fennick::Error; anything else (a crash, a sanitizer report, a hang, a
// different exception) is a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fennick/error.h"
#include "platform/script/evaluator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    fennick::script::EvaluateToText(text);
  } catch (const fennick::Error&) {
    // Refusing an expression is an ordinary outcome.
  }
  return 0;
}
