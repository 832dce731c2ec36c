// The export buttons of the grid's tool bar: one hidden field per format
// holding the encoded export request, and one link that posts it.
#ifndef FENNICK_GRID_RENDER_EXPORT_BUTTONS_H_
#define FENNICK_GRID_RENDER_EXPORT_BUTTONS_H_

#include <string>
#include <string_view>

namespace fennick {

struct GridRender;

// The export argument of one format: "fmt:", "hdr:" (the captions of every
// column of the result, tags stripped, each percent-encoded for "," ";"
// "%" and joined by ","), "ttl:", an empty pair, "dat:" and "num:" (the
// page's date and number format lists), each pair ending in ";".
std::string ExportArgument(const GridRender& r, std::string_view format);

// Appends the buttons in the order doc, excel, csv, xml, text, then xlsx
// (ExportXlsx) and pdf (ExportPdf) when the page turned them on, each as
// "&nbsp;", the hidden field "btnExp" + format (the Base64 form of "4" and
// the argument), the link and "&nbsp;".
void WriteExportButtons(const GridRender& r, std::string& out);

// The text of a caption without its tags ("<b>Sales</b>" gives "Sales").
std::string StripTags(std::string_view caption);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_EXPORT_BUTTONS_H_
