// Fennick.DataGrid driven by member name, as script pages drive it.
#include <gtest/gtest.h>

#include "fennick/error.h"
#include "fennick/page.h"
#include "fennick/registry.h"
#include "grid/grid_object.h"
#include "grid/test_page.h"

namespace fennick {
namespace {

Variant Put(Object& o, std::string_view name, Variant value) {
  return o.Invoke(name, InvokeKind::kPropertyPut, std::span<const Variant>(&value, 1));
}

TEST(DataGridObjectTest, PropertiesAndMethodsByName) {
  EXPECT_THROW(CreateComponentObject("Fennick.DataGrid"), Error);  // no page running

  Application app;
  PageContext page(Request(), Session(MakeMemorySessionStore(), "s"), app,
                   Server("/site", "/p.asp", nullptr, "en_US"));
  PageBinding bound(page);
  auto grid = CreateComponentObject("fennick.datagrid");
  ASSERT_TRUE(grid);
  EXPECT_EQ(grid->Invoke("version", InvokeKind::kPropertyGet, {}).AsString(), "2.0.643");
  Put(*grid, "PageSize", Variant("25"));
  Put(*grid, "command", Variant("SELECT a, b FROM t"));
  Put(*grid, "UsePopupFilters", Variant(1));
  Put(*grid, "Title", Variant("Orders"));
  EXPECT_EQ(grid->Invoke("TITLE", InvokeKind::kPropertyGet, {}).AsString(), "Orders");
  GridPageState& state = page.State<GridPageState>();
  EXPECT_EQ(state.page_size, 25);
  EXPECT_EQ(state.command, "SELECT a,b FROM t");
  EXPECT_TRUE(state.use_popup_filters);

  try {
    Put(*grid, "PageSize", Variant(40000));
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrOverflow);
    EXPECT_EQ(e.source(), "Fennick.DataGrid");
  }
  try {
    grid->Invoke("PageSize", InvokeKind::kPropertyGet, {});
    FAIL();
  } catch (const Error& e) {
    EXPECT_THAT(e.description(), HasSubstr("PageSize"));
    EXPECT_THAT(e.description(), HasSubstr("write-only"));
  }
  try {
    grid->Invoke("Frobnicate", InvokeKind::kMethod, {});
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrNoMember);
    EXPECT_THAT(e.description(), HasSubstr("Frobnicate"));
    EXPECT_EQ(e.source(), "Fennick.DataGrid");
  }
  Variant args[] = {Variant("F"), Variant("P")};
  grid->Invoke("SetNavigationText", InvokeKind::kMethod, args);
  grid->Invoke("SetHeaderIconText", InvokeKind::kMethod, {});
  EXPECT_THROW(grid->Invoke("AddParameter", InvokeKind::kMethod, std::span(args, 1)), Error);
}

}  // namespace
}  // namespace fennick
