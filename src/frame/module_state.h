// Values the component shares between all of its objects on one page: the
// images folder that the report designer sets and the export folder. They
// live in the page's component state, so every object of the page sees the
// same values and nothing carries over to the next request.
#ifndef FENNICK_FRAME_MODULE_STATE_H_
#define FENNICK_FRAME_MODULE_STATE_H_

#include <string>

namespace fennick {

struct ModuleState {
  // Folder (URL) that image cells and links are drawn from; empty for a
  // plain grid.
  std::string images_url;
  // Virtual folder of export files; empty means "tmp".
  std::string temp_folder_url;
};

// The running page's module state. Raises an error when no page runs.
ModuleState& CurrentModuleState();

}  // namespace fennick

#endif  // FENNICK_FRAME_MODULE_STATE_H_
