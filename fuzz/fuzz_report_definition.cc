// Fuzz target: report definitions and field schemas as a stored file (or a
// user's free text) may hold them. Input: a definition, then after the
// first NUL byte a field name and after the second an attribute code.
#include <cstddef>
#include <cstdint>
#include <string>

#include "designer/report_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string definition = input, name, code;
  if (size_t nul = definition.find('\0'); nul != std::string::npos) {
    name = definition.substr(nul + 1);
    definition.resize(nul);
    if (size_t next = name.find('\0'); next != std::string::npos) {
      code = name.substr(next + 1);
      name.resize(next);
    }
  }
  using namespace fennick::designer;
  ReportDefinition report;
  ReadDefinition(definition, report);
  ReadDefinition(DecodeDefinition(definition), report);
  // What the writer writes reads back to the same report, and writing
  // that again gives the same text: no value can cut the definition.
  const std::string written = WriteDefinition(report);
  ReportDefinition again;
  ReadDefinition(written, again);
  if (WriteDefinition(again) != written) __builtin_trap();
  if (again.rpwd != DefinitionText(report.rpwd)) __builtin_trap();

  SchemaValue(definition, name, code, "d");
  ReportSchemaValue(definition, name, code);
  std::string schema = definition;
  ReplaceSchemaValue(schema, name, code, name);
  GetDefinitionValue(definition, name);
  return 0;
}
