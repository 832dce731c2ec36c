// A grid page over an in-memory SQLite Orders table, for the rendering
// tests: a fake request (form and query fields), the page it runs in, and
// the HTML the grid wrote.
#ifndef FENNICK_TESTS_GRID_RENDER_FIXTURE_H_
#define FENNICK_TESTS_GRID_RENDER_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"
#include "grid/grid_object.h"
#include "grid/paging_record.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"

namespace fennick {

using testing::Fields;

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallSealer(Sealer::KeyFromSecret("grid render tests"));
    connection_ = std::make_shared<Connection>();
    connection_->Open("Provider=SQLite;Data Source=:memory:");
    connection_->Execute(
        "CREATE TABLE Orders (Id INTEGER, Name VARCHAR(40), Amount DOUBLE PRECISION, "
        "Region VARCHAR(10))");
  }

  void TearDown() override {
    RecordDrawnPage();
    grid_.reset();
    page_.Close();
  }

  // Fills Orders with rows 1..count: names "N<id>", amounts id * 10,
  // regions cycling East, North, West.
  void AddRows(int count) {
    static const char* kRegions[] = {"East", "North", "West"};
    connection_->Execute("BEGIN");
    for (int i = 1; i <= count; ++i) {
      connection_->Execute("INSERT INTO Orders VALUES (" + std::to_string(i) + ", 'N" +
                           std::to_string(i) + "', " + std::to_string(i * 10) + ", '" +
                           kRegions[i % 3] + "')");
    }
    connection_->Execute("COMMIT");
  }

  // A new grid on a new page with the given form (a post when not empty)
  // and query fields.
  DataGrid& Grid(const Fields& form, const std::string& command = kSelect,
                 const Fields& query = {}) {
    RecordDrawnPage();
    grid_.reset();
    page_.Open(form, query);
    grid_ = std::make_unique<DataGrid>();
    grid_->Connection(connection_);
    grid_->Command(command);
    grid_->DatabasePaging(testing::DatabasePagingForTests());
    return *grid_;
  }

  // Keeps the page the last grid drew for the comparison of the paging
  // modes (grid/paging_record.h).
  void RecordDrawnPage() {
    if (page_) testing::RecordPage(page_->response().Body());
  }

  // Displays the current grid and returns the page's HTML.
  std::string Show() {
    grid_->Display();
    return Output();
  }

  std::string Output() const { return page_->response().Body(); }
  GridObject& Internals() { return GridInternals(*grid_); }
  Session Sess() { return page_.session(); }

  static Fields Click(const std::string& argument) {
    return {{"__FARGS", EncodeArgument(argument)}};
  }
  // The href a grid link posts with.
  static std::string Href(const std::string& argument) {
    return "javascript:__doPostBack('" + EncodeArgument(argument) + "')";
  }

  static constexpr char kSelect[] = "SELECT Id,Name,Amount FROM Orders";

  std::shared_ptr<Connection> connection_;
  testing::TestPage page_;
  std::unique_ptr<DataGrid> grid_;
};

}  // namespace fennick

#endif  // FENNICK_TESTS_GRID_RENDER_FIXTURE_H_
