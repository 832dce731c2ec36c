// The grid's export routine: an export button's request, run when the page
// gives the grid its connection through CreateConnection. The whole
// filtered and sorted result goes to the exporter the page chose
// (UseFastExport: the first-generation one), as a download or, with
// CreateExportFile, as a file in the temporary folder plus a redirect.
#ifndef FENNICK_GRID_EXPORT_DISPATCH_H_
#define FENNICK_GRID_EXPORT_DISPATCH_H_

#include <chrono>

namespace fennick {

class DataGrid;

// Runs the pending export of `grid` and ends the response. A missing
// connection or command is reported in the page (and nothing is
// exported); an unknown format gives an empty response. Errors of the
// exporters escape with their description.
void RunGridExport(DataGrid& grid);

// Prepares the temporary folder (created when missing, "tmp" when none is
// set) and removes its export files older than `lifetime`; errors are
// ignored.
void PrepareExportFolder(std::chrono::seconds lifetime);

}  // namespace fennick

#endif  // FENNICK_GRID_EXPORT_DISPATCH_H_
