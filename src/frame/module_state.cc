// The page's module state and the export folder.
#include "frame/module_state.h"

#include <filesystem>

#include "fennick/page.h"
#include "frame/temp_folder.h"

namespace fennick {

ModuleState& CurrentModuleState() {
  return RequirePage("Fennick").State<ModuleState>();
}

void EnsureTempFolder() {
  ModuleState& state = CurrentModuleState();
  if (state.temp_folder_url.empty()) state.temp_folder_url = "tmp";
  // Failures are ignored on purpose: a folder that cannot be made shows up
  // as a failed export file, which the exporter reports.
  try {
    std::filesystem::path folder = RequirePage("EnsureTempFolder").server().MapPath(
        state.temp_folder_url);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directories(folder, ec);
  } catch (const std::exception&) {
  }
  if (state.temp_folder_url.back() != '/') state.temp_folder_url.push_back('/');
}

}  // namespace fennick
