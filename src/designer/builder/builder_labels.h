// Texts the report builder shows for the codes a definition stores: the
// format list of the captions page and the summaries of the summaries
// page. The codes stay the options' values; only the texts are readable.
#ifndef FENNICK_DESIGNER_BUILDER_BUILDER_LABELS_H_
#define FENNICK_DESIGNER_BUILDER_BUILDER_LABELS_H_

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace fennick::designer {

// The text of every format code (D1 "Long Date: Tuesday, July 15th 1997"):
// its name and, for numbers, dates and times, a sample written as report
// grids write that format, in the running page's regional format. Built
// per page (the page's locale may differ from the last one's).
std::map<std::string, std::string, std::less<>> FormatLabels();

// A summary entry (field "__" TYPE "__" text) as the builder lists it:
// "Total freight: SUM of Orders.Freight", or "SUM of Orders.Freight"
// without a text; an entry of another shape is shown as it is.
std::string SummaryLabel(std::string_view entry);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_BUILDER_LABELS_H_
