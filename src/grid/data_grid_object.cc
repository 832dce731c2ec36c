// Member table of Fennick.DataGrid: every public property with its declared
// type, and the methods.

#include "grid/data_grid_object.h"

#include <algorithm>
#include <cstdint>

#include "fennick/data_grid.h"
#include "fennick/error.h"
#include "frame/ado_objects.h"
#include "frame/dispatch.h"

namespace fennick {
namespace {

struct GridMembers {
  std::unique_ptr<DataGrid> grid = std::make_unique<DataGrid>();

  static const MemberTable<GridMembers>& Members() {
    static const MemberTable<GridMembers> table = Build();
    return table;
  }

  using StringSetter = void (DataGrid::*)(std::string_view);
  using BoolSetter = void (DataGrid::*)(bool);
  using IntSetter = void (DataGrid::*)(int16_t);

  static MemberTable<GridMembers> Build() {
    MemberTable<GridMembers> t;
    auto text = [&t](const char* name, StringSetter set) {
      t.Property(name, nullptr,
                 [set](GridMembers& m, const Variant& v) { (m.grid.get()->*set)(v.Bytes()); },
                 ArgType::kString);
    };
    auto flag = [&t](const char* name, BoolSetter set) {
      t.Property(name, nullptr,
                 [set](GridMembers& m, const Variant& v) { (m.grid.get()->*set)(v.AsBool()); },
                 ArgType::kBoolean);
    };
    // Flags the published interface passes as Variants: any value that
    // converts to a Boolean.
    auto variant_flag = [&t](const char* name, BoolSetter set) {
      t.Property(name, nullptr,
                 [set](GridMembers& m, const Variant& v) { (m.grid.get()->*set)(v.AsBool()); },
                 ArgType::kVariant);
    };
    auto integer = [&t](const char* name, IntSetter set) {
      t.Property(name, nullptr,
                 [set](GridMembers& m, const Variant& v) {
                   (m.grid.get()->*set)(static_cast<int16_t>(v.AsInt64()));
                 },
                 ArgType::kInteger);
    };

    text("Command", static_cast<StringSetter>(&DataGrid::Command));
    // A connection opened by the page (an ADODB.Connection), set by
    // reference.
    t.Property("Connection", nullptr, [](GridMembers& m, const Variant& v) {
      std::shared_ptr<Connection> connection;
      if (v.IsObject() && v.AsObject()) connection = AdoConnectionOf(*v.AsObject());
      if (!connection) throw Error(kErrObjectRequired, "Object required: Connection");
      m.grid->Connection(std::move(connection));
    });
    text("MasterTable", &DataGrid::MasterTable);
    t.Property("CommandTimeout", nullptr,
               [](GridMembers& m, const Variant& v) {
                 m.grid->CommandTimeout(static_cast<int32_t>(v.AsInt64()));
               },
               ArgType::kLong);
    integer("PageSize", &DataGrid::PageSize);
    integer("MaxPageSize", &DataGrid::MaxPageSize);
    t.Property("MaxPrintRows", nullptr,
               [](GridMembers& m, const Variant& v) {
                 m.grid->MaxPrintRows(static_cast<int32_t>(v.AsInt64()));
               },
               ArgType::kLong);
    flag("ShowSqlInPage", &DataGrid::ShowSqlInPage);
    flag("UrlState", &DataGrid::UrlState);
    integer("StartRec", &DataGrid::StartRec);
    flag("PageResults", &DataGrid::PageResults);
    flag("DatabasePaging", &DataGrid::DatabasePaging);
    t.Property("RowCountLifetime", nullptr,
               [](GridMembers& m, const Variant& v) {
                 m.grid->RowCountLifetime(static_cast<int32_t>(v.AsInt64()));
               },
               ArgType::kLong);
    flag("AddRowNumbers", &DataGrid::AddRowNumbers);
    flag("AllowHtmlInData", &DataGrid::AllowHtmlInData);
    flag("CanFilter", &DataGrid::CanFilter);
    flag("IsColumnar", &DataGrid::IsColumnar);
    variant_flag("UsePopupFilters", &DataGrid::UsePopupFilters);
    variant_flag("AddTopNavigationBar", &DataGrid::AddTopNavigationBar);
    variant_flag("ShowInactiveButtons", &DataGrid::ShowInactiveButtons);
    integer("DefaultFilterFieldIndex", &DataGrid::DefaultFilterFieldIndex);
    integer("DefaultFilterConditionIndex", &DataGrid::DefaultFilterConditionIndex);
    text("DefaultSortOrder", &DataGrid::DefaultSortOrder);
    text("RequiredSortOrder", &DataGrid::RequiredSortOrder);
    t.Property("Title", [](GridMembers& m) { return Variant(m.grid->Title()); },
               [](GridMembers& m, const Variant& v) { m.grid->Title(v.Bytes()); },
               ArgType::kString);
    text("PrintHeader", &DataGrid::PrintHeader);
    text("PrintFooter", &DataGrid::PrintFooter);
    text("GraphFields", &DataGrid::GraphFields);
    integer("GraphType", &DataGrid::GraphType);
    flag("GraphOnly", &DataGrid::GraphOnly);
    text("GraphLegendColumn", &DataGrid::GraphLegendColumn);
    text("ExportFileName", &DataGrid::ExportFileName);
    text("XslExportTemplate", &DataGrid::XslExportTemplate);
    flag("UseFastExport", &DataGrid::UseFastExport);
    flag("CreateExportFile", &DataGrid::CreateExportFile);
    flag("CsvSafe", &DataGrid::CsvSafe);
    flag("CsvByteOrderMark", &DataGrid::CsvByteOrderMark);
    flag("ExportXlsx", &DataGrid::ExportXlsx);
    flag("ExportPdf", &DataGrid::ExportPdf);
    text("PdfPaperSize", &DataGrid::PdfPaperSize);
    t.Property("XslExportRowLimit", nullptr,
               [](GridMembers& m, const Variant& v) {
                 m.grid->XslExportRowLimit(
                     static_cast<int32_t>(std::clamp<int64_t>(v.AsInt64(), -1, INT32_MAX)));
               },
               ArgType::kLong);
    integer("ExportFileLifetime", &DataGrid::ExportFileLifetime);
    text("TempFolderUrl", &DataGrid::TempFolderUrl);
    text("GridClassName", &DataGrid::GridClassName);
    text("HeaderClassName", &DataGrid::HeaderClassName);
    text("ItemClassName", &DataGrid::ItemClassName);
    text("AltItemClassName", &DataGrid::AltItemClassName);
    text("LinkClassName", &DataGrid::LinkClassName);
    text("FooterClassName", &DataGrid::FooterClassName);
    text("PagingLinkClass", &DataGrid::PagingLinkClass);
    text("HeaderLinkClass", &DataGrid::HeaderLinkClass);
    text("GridStyle", &DataGrid::GridStyle);
    text("HeaderStyle", &DataGrid::HeaderStyle);
    text("ItemStyle", &DataGrid::ItemStyle);
    text("AltItemStyle", &DataGrid::AltItemStyle);
    text("LinkStyle", &DataGrid::LinkStyle);
    text("FooterStyle", &DataGrid::FooterStyle);
    text("HeaderTextStyle", &DataGrid::HeaderTextStyle);
    text("PagingLinkStyle", &DataGrid::PagingLinkStyle);
    text("HeaderLinkStyle", &DataGrid::HeaderLinkStyle);
    text("GridAlign", &DataGrid::GridAlign);
    text("TextBoxStyle", &DataGrid::TextBoxStyle);
    text("FilterFieldStyle", &DataGrid::FilterFieldStyle);
    t.Property("Version", [](GridMembers& m) { return Variant(m.grid->Version()); });
    flag("RowTotals", &DataGrid::RowTotals);
    flag("RowAverages", &DataGrid::RowAverages);
    text("FooterTotals", &DataGrid::FooterTotals);
    text("FooterAverages", &DataGrid::FooterAverages);
    text("FooterScope", &DataGrid::FooterScope);
    flag("KeepBarsWhenEmpty", &DataGrid::KeepBarsWhenEmpty);

    using Args = std::span<const Variant>;
    t.Function("GetTransactionStatus", {}, 0, [](GridMembers& m, Args) {
      return Variant(m.grid->GetTransactionStatus());
    });
    t.Function("SetProcedure", {ArgType::kString}, 1, [](GridMembers& m, Args a) {
      m.grid->SetProcedure(a[0].Bytes());
      return Variant();
    });
    t.Function("AddParameter", {ArgType::kString, ArgType::kString}, 2,
               [](GridMembers& m, Args a) {
                 m.grid->AddParameter(a[0].Bytes(), a[1].Bytes());
                 return Variant();
               });
    auto two = [&t](const char* name, void (DataGrid::*call)(std::string_view, std::string_view)) {
      t.Function(name, {ArgType::kString, ArgType::kString}, 2, [call](GridMembers& m, Args a) {
        (m.grid.get()->*call)(a[0].Bytes(), a[1].Bytes());
        return Variant();
      });
    };
    auto decimals = [&t](const char* name, void (DataGrid::*call)(std::string_view, int16_t)) {
      t.Function(name, {ArgType::kString, ArgType::kInteger}, 2, [call](GridMembers& m, Args a) {
        (m.grid.get()->*call)(a[0].Bytes(), static_cast<int16_t>(a[1].AsInt64()));
        return Variant();
      });
    };
    // The caption is optional: empty gives function + " " + column.
    t.Function("AddSummary", {ArgType::kString, ArgType::kString, ArgType::kString}, 2,
               [](GridMembers& m, Args a) {
                 m.grid->AddSummary(a[0].Bytes(), a[1].Bytes(), a[2].Bytes());
                 return Variant();
               });
    two("ColumnCaption", &DataGrid::ColumnCaption);
    t.Function("SetGraphLabels", {ArgType::kString, ArgType::kString, ArgType::kString}, 3,
               [](GridMembers& m, Args a) {
                 m.grid->SetGraphLabels(a[0].Bytes(), a[1].Bytes(), a[2].Bytes());
                 return Variant();
               });
    t.Function("LinkColumn", {ArgType::kString, ArgType::kString, ArgType::kString, ArgType::kString},
               3, [](GridMembers& m, Args a) {
                 m.grid->LinkColumn(a[0].Bytes(), a[1].Bytes(), a[2].Bytes(), a[3].AsString());
                 return Variant();
               });
    two("ReplaceColumn", &DataGrid::ReplaceColumn);
    two("OleColumn", &DataGrid::OleColumn);
    two("DateColumn", &DataGrid::DateColumn);
    decimals("NumberColumn", &DataGrid::NumberColumn);
    decimals("PercentColumn", &DataGrid::PercentColumn);
    decimals("CurrencyColumn", &DataGrid::CurrencyColumn);
    t.Function("BoolColumn", {ArgType::kString, ArgType::kString, ArgType::kString}, 3,
               [](GridMembers& m, Args a) {
                 m.grid->BoolColumn(a[0].Bytes(), a[1].Bytes(), a[2].Bytes());
                 return Variant();
               });
    t.Function("RegExColumn", {ArgType::kString, ArgType::kString, ArgType::kString}, 3,
               [](GridMembers& m, Args a) {
                 m.grid->RegExColumn(a[0].Bytes(), a[1].Bytes(), a[2].Bytes());
                 return Variant();
               });
    t.Function("HiddenColumn", {ArgType::kString}, 1, [](GridMembers& m, Args a) {
      m.grid->HiddenColumn(a[0].Bytes());
      return Variant();
    });
    two("CellStyle", &DataGrid::CellStyle);
    two("ColumnStyle", &DataGrid::ColumnStyle);
    t.Function("CreateConnection", {ArgType::kString}, 1, [](GridMembers& m, Args a) {
      m.grid->CreateConnection(a[0].Bytes());
      return Variant();
    });
    t.Function("Display", {}, 0, [](GridMembers& m, Args) {
      m.grid->Display();
      return Variant();
    });
    t.Function("SetDisplayText", {ArgType::kString, ArgType::kString}, 2,
               [](GridMembers& m, Args a) {
                 m.grid->SetDisplayText(a[0].Bytes(), a[1].Bytes());
                 return Variant();
               });
    // Optional arguments fall back to the defaults of the C++ members.
    auto or_default = [](const Variant& v, std::string_view fallback) {
      return v.IsEmpty() ? std::string(fallback) : v.AsString();
    };
    t.Function("SetLanguageText", std::vector<ArgType>(8, ArgType::kVariant), 0,
               [or_default](GridMembers& m, Args a) {
                 m.grid->SetLanguageText(
                     or_default(a[0], "<b>Filter(s):</b>"), or_default(a[1], "<b>Sort Order:</b>"),
                     or_default(a[2], "Go"), or_default(a[3], "contains"),
                     or_default(a[4], "is equal to"), or_default(a[5], "is not equal to"),
                     or_default(a[6], "is less than"), or_default(a[7], "is greater than"));
                 return Variant();
               });
    t.Function("SetNavigationText", std::vector<ArgType>(9, ArgType::kVariant), 0,
               [or_default](GridMembers& m, Args a) {
                 m.grid->SetNavigationText(
                     or_default(a[0], "&laquo; First"), or_default(a[1], "&laquo;"),
                     or_default(a[2], "&raquo;"), or_default(a[3], "Last &raquo;"),
                     or_default(a[4], "Reset"), or_default(a[5], "Reload"),
                     or_default(a[6], "Page @CurrentPage of @NumOfPages (@NumOfRecs recs)"),
                     or_default(a[7], "Page Size:"), a[8].IsEmpty() ? true : a[8].AsBool());
                 return Variant();
               });
    t.Function("SetHeaderIconText", std::vector<ArgType>(3, ArgType::kVariant), 0,
               [or_default](GridMembers& m, Args a) {
                 m.grid->SetHeaderIconText(or_default(a[0], "<font face='MS OUTLOOK'>C</font>"),
                                           or_default(a[1], "+"), or_default(a[2], "-"));
                 return Variant();
               });
    return t;
  }
};

}  // namespace

std::shared_ptr<Object> CreateDataGridObject() {
  return std::make_shared<DispatchObject<GridMembers>>("Fennick.DataGrid", GridMembers{});
}

}  // namespace fennick
