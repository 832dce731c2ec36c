// The report grid: a DataGrid over its own copy of the page's shared grid
// state, whose output is cut out of the page's response into a string.
#include "grid/report_grid.h"

#include <utility>

#include "fennick/error.h"
#include "fennick/page.h"
#include "frame/host.h"
#include "grid/export_dispatch.h"
#include "grid/grid_object.h"

namespace fennick {
namespace {

// Puts the page's shared grid state back however the constructor leaves:
// the grid's own request reading must not change what the page's
// DataGrids see.
class SharedStateGuard {
 public:
  explicit SharedStateGuard(GridPageState& shared) : shared_(shared), saved_(std::move(shared)) {
    shared_ = GridPageState();
  }
  ~SharedStateGuard() { shared_ = std::move(saved_); }
  SharedStateGuard(const SharedStateGuard&) = delete;
  SharedStateGuard& operator=(const SharedStateGuard&) = delete;
  // What the grid read into the shared state while the guard held it.
  GridPageState Take() { return std::exchange(shared_, GridPageState()); }

 private:
  GridPageState& shared_;
  GridPageState saved_;
};

}  // namespace

ReportGrid::ReportGrid() {
  HostContext host = BindHostContext("mGrid");
  GridPageState& shared = host.page->State<GridPageState>();
  {
    // The DataGrid reads the request into a fresh state, which becomes
    // this grid's own; the page's state comes back untouched.
    SharedStateGuard guard(shared);
    grid_ = std::make_unique<DataGrid>();
    state_ = std::make_unique<GridPageState>(guard.Take());
  }
  GridObject& g = GridInternals(*grid_);
  g.page = state_.get();
  // The designer's page holds the one form; report exports go to the
  // exporter the designer chose (UseFastExport), and also offer the
  // printable page.
  g.designer.writes_own_form = false;
  g.designer.print_export = true;
  g.designer.carries_row_count = false;
}

ReportGrid::~ReportGrid() {
  // The grid must not outlive the state its page pointer names.
  grid_.reset();
}

bool ReportGrid::ExportPending() { return GridInternals(*grid_).req.export_request.pending; }

void ReportGrid::RunExport() {
  RunGridExport(*grid_);
  // RunGridExport ends the page unless it could not start; what it wrote
  // then (the missing connection or command) is the answer.
  GridInternals(*grid_).host.response->End();
}

std::string ReportGrid::GetGridHtml() {
  Response& response = *GridInternals(*grid_).host.response;
  // Everything Display writes lands after `mark`; it is cut out again, so
  // the page keeps only what it had.
  const size_t mark = response.Body().size();
  auto cut = [&] {
    std::string& body = response.MutableBody();
    if (body.size() > mark) {
      buffer_.append(body, mark, std::string::npos);
      body.resize(mark);
    }
  };
  try {
    grid_->Display();
  } catch (const PageEnd&) {
    throw;  // an export or a refusal owns the response now
  } catch (...) {
    cut();
    throw;
  }
  cut();
  // The printable master-details report asks the browser to print it
  // once it has loaded.
  const GridObject& g = GridInternals(*grid_);
  if (g.req.print_view && g.page->master_mode) buffer_.append("<script>window.print();</script>");
  return buffer_;
}

}  // namespace fennick
