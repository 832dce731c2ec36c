// The grid's export routine: an export button's request, armed when the
// page gives the grid its connection through CreateConnection and run when
// the page is ready for it, at Display (or, for a page that never displays
// the grid, when the page has run through), so every property the page set
// applies. The whole filtered and sorted result, in the columns the grid
// shows, goes to the exporter the page chose (UseFastExport: the
// first-generation one), as a download or, with CreateExportFile, as a
// file in the temporary folder plus a redirect.
#ifndef FENNICK_GRID_EXPORT_DISPATCH_H_
#define FENNICK_GRID_EXPORT_DISPATCH_H_

#include <chrono>
#include <memory>

namespace fennick {

class DataGrid;
struct GridObject;

// Runs the pending export of `grid` and ends the response. A missing
// connection or command is reported in the page (and nothing is
// exported); an unknown format gives an empty response. Errors of the
// exporters escape with their description.
void RunGridExport(DataGrid& grid);

// Arms the pending export of `grid` (its CreateConnection succeeded): it
// runs at RunArmedGridExport or at the end of the page, whichever comes
// first, once.
void ArmGridExport(DataGrid& grid);
// Runs the armed export of `grid` now (Display calls it first); nothing
// when none is armed or it ran already.
void RunArmedGridExport(DataGrid& grid);
// The grid object goes: when its export is armed and has not run,
// `internals` move to the page's end work, which runs the export with them
// (nullptr is returned); otherwise they come back.
std::unique_ptr<GridObject> HandOverArmedExport(std::unique_ptr<GridObject> internals);

// Prepares the temporary folder (created when missing, "tmp" when none is
// set) and removes its export files older than `lifetime`; errors are
// ignored.
void PrepareExportFolder(std::chrono::seconds lifetime);

}  // namespace fennick

#endif  // FENNICK_GRID_EXPORT_DISPATCH_H_
