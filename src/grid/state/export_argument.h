// The values an export button carries in its argument. The argument is a
// list of "key:value;" pairs and the caption list is comma-separated, so
// ",", ";" and "%" inside a value travel percent-encoded.
#ifndef FENNICK_GRID_STATE_EXPORT_ARGUMENT_H_
#define FENNICK_GRID_STATE_EXPORT_ARGUMENT_H_

#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// "," to %2C, ";" to %3B, "%" to %25; everything else unchanged.
std::string EncodeExportValue(std::string_view text);
// The reverse: only %2C, %3B and %25 (either case of hex letters) are
// decoded; any other "%" stays as it is.
std::string DecodeExportValue(std::string_view text);
// The captions of a posted caption list: split at "," and decoded.
std::vector<std::string> DecodeCaptionList(std::string_view list);

}  // namespace fennick

#endif  // FENNICK_GRID_STATE_EXPORT_ARGUMENT_H_
