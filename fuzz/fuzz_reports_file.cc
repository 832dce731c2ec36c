// Fuzz target: an uploaded or damaged reports file. Parsing and the shape
// check never crash, and the root-element sniffing of the static file
// handler agrees with the parser on every well-formed reports file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "designer/reports_file.h"
#include "platform/web/private_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  fennick::designer::OpenedReports opened = fennick::designer::ParseReports(text);
  std::string_view sniffed = fennick::XmlRootName(text);
  // A file the designer accepts as its reports file is one the static
  // handler refuses to serve.
  if (opened.ok() && sniffed != "quillon") __builtin_trap();
  return 0;
}
