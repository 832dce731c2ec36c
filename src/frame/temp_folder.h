// The export folder of the page.
#ifndef FENNICK_FRAME_TEMP_FOLDER_H_
#define FENNICK_FRAME_TEMP_FOLDER_H_

namespace fennick {

// Makes sure the export folder exists: an empty TempFolderUrl becomes "tmp",
// the folder is created under the site when missing, and the URL is given a
// trailing "/".
void EnsureTempFolder();

}  // namespace fennick

#endif  // FENNICK_FRAME_TEMP_FOLDER_H_
