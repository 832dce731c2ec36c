// Member table of Fennick.Quillon2. Properties are write-only, as pages
// have always known them; ReadLocale and the schema routines return text.
#include "designer/quillon2_object.h"

#include <algorithm>

#include "designer/quillon2.h"
#include "frame/dispatch.h"
#include "frame/module_state.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

using designer::Permissions;
using designer::Quillon2;

struct Quillon2Members {
  std::unique_ptr<Quillon2> q = std::make_unique<Quillon2>();
  static const MemberTable<Quillon2Members>& Members();
};

using Self = Quillon2Members;
using Args = std::span<const Variant>;
using TextSetter = void (Quillon2::*)(std::string_view);
using IntSetter = void (Quillon2::*)(int16_t);

}  // namespace

const MemberTable<Self>& Quillon2Members::Members() {
  static const MemberTable<Self> table = [] {
    MemberTable<Self> t;
    auto text = [&t](const char* name, TextSetter set, ArgType type = ArgType::kString) {
      t.Property(name, nullptr,
                 [set](Self& m, const Variant& v) { (m.q.get()->*set)(v.Bytes()); }, type);
    };
    auto integer = [&t](const char* name, IntSetter set) {
      t.Property(name, nullptr,
                 [set](Self& m, const Variant& v) {
                   (m.q.get()->*set)(static_cast<int16_t>(v.AsInt64()));
                 },
                 ArgType::kInteger);
    };
    auto permission = [&t](const char* name, void (*set)(Permissions&, bool)) {
      t.Property(name, nullptr,
                 [set](Self& m, const Variant& v) { set(m.q->permissions(), v.AsBool()); },
                 ArgType::kBoolean);
    };

    text("Title", &Quillon2::Title);
    text("ReportsTitle", &Quillon2::ReportsTitle);
    text("ReportsFile", &Quillon2::ReportsFile);
    text("HomeUrl", &Quillon2::HomeUrl, ArgType::kVariant);
    text("ImagesUrl", &Quillon2::ImagesUrl);
    text("StyleSheet", &Quillon2::StyleSheet);
    text("Width", &Quillon2::Width);
    integer("DialogWidth", &Quillon2::DialogWidth);
    integer("DialogHeight", &Quillon2::DialogHeight);
    text("ReportLinkTarget", &Quillon2::ReportLinkTarget, ArgType::kVariant);
    text("HiddenReports", &Quillon2::HiddenReports, ArgType::kVariant);
    text("UseReports", &Quillon2::UseReports);
    text("HideReportsWithIDs", &Quillon2::HideReportsWithIDs, ArgType::kVariant);
    text("UseReportsWithIDs", &Quillon2::UseReportsWithIDs);

    permission("IsAdmin", [](Permissions& p, bool v) { p.SetAdmin(v); });
    permission("CanAdd", [](Permissions& p, bool v) { p.SetAdd(v); });
    permission("CanEdit", [](Permissions& p, bool v) { p.SetEdit(v); });
    permission("CanDelete", [](Permissions& p, bool v) { p.SetDelete(v); });
    permission("CanAddReport", [](Permissions& p, bool v) { p.add_report = v; });
    permission("CanEditReport", [](Permissions& p, bool v) { p.edit_report = v; });
    permission("CanDeleteReport", [](Permissions& p, bool v) { p.delete_report = v; });
    permission("CanEditReportId", [](Permissions& p, bool v) { p.edit_report_id = v; });
    permission("CanFilter", [](Permissions& p, bool v) { p.filter = v; });
    permission("CanViewTables", [](Permissions& p, bool v) { p.view_tables = v; });
    permission("CanAddReportGroup", [](Permissions& p, bool v) { p.add_group = v; });
    permission("CanEditReportGroup", [](Permissions& p, bool v) { p.edit_group = v; });
    permission("CanDeleteReportGroup", [](Permissions& p, bool v) { p.delete_group = v; });
    permission("CanEditReportGroupId", [](Permissions& p, bool v) { p.edit_group_id = v; });
    permission("CanChangeReportGroup", [](Permissions& p, bool v) { p.change_report_group = v; });
    permission("CanScheduleReports", [](Permissions& p, bool v) { p.schedule_reports = v; });

    text("LocaleFile", &Quillon2::LocaleFile);
    text("LocaleFolder", &Quillon2::LocaleFolder);
    t.Property("AutoDetectLocale", nullptr,
               [](Self& m, const Variant& v) { m.q->AutoDetectLocale(v.AsBool()); },
               ArgType::kBoolean);
    integer("CodePage", &Quillon2::CodePage);
    integer("LCID", &Quillon2::LCID);
    text("DefaultDateFormat", &Quillon2::DefaultDateFormat);
    text("ShortDateFormat", &Quillon2::ShortDateFormat);
    text("LongDateFormat", &Quillon2::LongDateFormat);

    // Report pages, statements and the database-object list.
    auto shown = [&t](const char* name, std::string designer::DisplaySettings::*member,
                      ArgType type = ArgType::kString) {
      t.Property(
          name, nullptr,
          [member](Self& m, const Variant& v) { m.q->display().*member = v.AsString(); }, type);
    };
    auto flag = [&t](const char* name, bool designer::DisplaySettings::*member) {
      t.Property(
          name, nullptr,
          [member](Self& m, const Variant& v) { m.q->display().*member = v.AsBool(); },
          ArgType::kBoolean);
    };
    auto small = [&t](const char* name, int16_t designer::DisplaySettings::*member) {
      t.Property(
          name, nullptr,
          [member](Self& m, const Variant& v) {
            m.q->display().*member = static_cast<int16_t>(v.AsInt64());
          },
          ArgType::kInteger);
    };
    integer("DatabaseType", &Quillon2::DatabaseType);
    text("DbOwner", &Quillon2::DbOwner);
    text("SqlNamePrefix", &Quillon2::SqlNamePrefix);
    text("SqlNameSuffix", &Quillon2::SqlNameSuffix);
    shown("UseTables", &designer::DisplaySettings::use_tables);
    shown("UseProcedures", &designer::DisplaySettings::use_procedures);
    shown("HiddenTables", &designer::DisplaySettings::hidden_tables);
    shown("HiddenFields", &designer::DisplaySettings::hidden_fields);
    shown("UseFields", &designer::DisplaySettings::use_fields);
    flag("HideTables", &designer::DisplaySettings::hide_tables);
    flag("HideViews", &designer::DisplaySettings::hide_views);
    flag("HideProcedures", &designer::DisplaySettings::hide_procedures);
    shown("DatabaseTablesQuery", &designer::DisplaySettings::tables_query);
    shown("DatabaseViewsQuery", &designer::DisplaySettings::views_query);
    shown("DatabaseProceduresQuery", &designer::DisplaySettings::procedures_query);
    flag("TurnOffTableLinks", &designer::DisplaySettings::turn_off_table_links);
    shown("TurnOffTableLinksFor", &designer::DisplaySettings::turn_off_table_links_for);
    shown("TurnOnTableLinksFor", &designer::DisplaySettings::turn_on_table_links_for);
    shown("HiddenSqlFilter", &designer::DisplaySettings::hidden_sql_filter);
    flag("AllowAllFilters", &designer::DisplaySettings::allow_all_filters);
    small("DefaultFilterFieldIndex", &designer::DisplaySettings::default_filter_field_index);
    small("DefaultFilterConditionIndex",
          &designer::DisplaySettings::default_filter_condition_index);
    t.Property(
        "MaxRecords", nullptr,
        [](Self& m, const Variant& v) { m.q->MaxRecords(static_cast<int32_t>(v.AsInt64())); },
        ArgType::kLong);
    t.Property(
        "CommandTimeout", nullptr,
        [](Self& m, const Variant& v) {
          m.q->display().command_timeout = static_cast<int32_t>(v.AsInt64());
        },
        ArgType::kLong);
    small("DefaultPageSize", &designer::DisplaySettings::default_page_size);
    // The report grids' caps, shared with every grid of the page.
    t.Property(
        "MaxPageSize", nullptr,
        [](Self&, const Variant& v) {
          CurrentModuleState().max_page_size = static_cast<int16_t>(v.AsInt64());
        },
        ArgType::kInteger);
    t.Property(
        "MaxPrintRows", nullptr,
        [](Self&, const Variant& v) {
          CurrentModuleState().max_print_rows = static_cast<int32_t>(v.AsInt64());
        },
        ArgType::kLong);
    t.Property(
        "OverridePageSize", nullptr,
        [](Self& m, const Variant& v) {
          // A Boolean (true, the default) leaves each report its own
          // page size; a number of 0 or more is the page size of all.
          m.q->display().override_page_size =
              v.type() == VarType::kBoolean
                  ? -1
                  : static_cast<int32_t>(std::clamp<int64_t>(v.AsInt64(), -1, 32767));
        },
        ArgType::kVariant);
    flag("UsePopupFilters", &designer::DisplaySettings::use_popup_filters);
    flag("AddTopNavigationBar", &designer::DisplaySettings::add_top_navigation_bar);
    shown("PrintHeader", &designer::DisplaySettings::print_header);
    shown("PrintFooter", &designer::DisplaySettings::print_footer);
    flag("ShowInactiveButtons", &designer::DisplaySettings::show_inactive_buttons);
    t.Property(
        "DisplayPreparedSqlCommand", nullptr,
        [](Self& m, const Variant& v) { m.q->DisplayPreparedSqlCommand(v.AsBool()); },
        ArgType::kBoolean);
    flag("DisplayReportParameters", &designer::DisplaySettings::display_report_parameters);
    t.Property(
        "AddPageBreakBeforeReport",
        [](Self& m) { return Variant(m.q->display().page_break_before); },
        [](Self& m, const Variant& v) { m.q->display().page_break_before = v.AsBool(); },
        ArgType::kBoolean);
    flag("AddPageBreakAfterReport", &designer::DisplaySettings::page_break_after);
    flag("UseFastExport", &designer::DisplaySettings::use_fast_export);
    flag("CreateExportFile", &designer::DisplaySettings::create_export_file);
    text("TempFolderUrl", &Quillon2::TempFolderUrl);
    shown("XslExportTemplate", &designer::DisplaySettings::xsl_export_template);
    flag("IsEuroDecimalFormat", &designer::DisplaySettings::is_euro_decimal_format);
    shown("Encoding", &designer::DisplaySettings::encoding);
    flag("CsvSafe", &designer::DisplaySettings::csv_safe);
    flag("ExportXlsx", &designer::DisplaySettings::export_xlsx);
    flag("ExportPdf", &designer::DisplaySettings::export_pdf);
    shown("PdfPaperSize", &designer::DisplaySettings::pdf_paper_size);

    t.Function("DisplayReport", {ArgType::kString}, 1, [](Self& m, Args args) {
      m.q->DisplayReport(args[0].Bytes());
      return Variant();
    });
    t.Function("DisplayTable", {ArgType::kString}, 1, [](Self& m, Args args) {
      m.q->DisplayTable(args[0].Bytes());
      return Variant();
    });
    t.Function("GetReport", {ArgType::kString, ArgType::kVariant}, 1, [](Self& m, Args args) {
      // A page hands the parameters as a query-string text:
      // "Country=France&Year=2024" (names and values URL-encoded).
      std::vector<std::pair<std::string, std::string>> params;
      if (args.size() > 1 && !args[1].IsEmpty() && !args[1].IsNull()) {
        FieldList fields;
        ParseUrlEncoded(args[1].AsString(), fields, 1000);
        for (size_t i = 0; i < fields.Count(); ++i) {
          params.emplace_back(fields.Name(i), fields.Get(i));
        }
      }
      return Variant(m.q->GetReport(args[0].Bytes(), params));
    });
    t.Function("GetFilters", {}, 0, [](Self& m, Args) { return Variant(m.q->GetFilters()); });
    t.Function("GetFilter", {ArgType::kVariant, ArgType::kVariant, ArgType::kVariant}, 3,
               [](Self&, Args) { return Variant(std::string("0=0")); });
    t.Function("AddHiddenSqlFilter", {ArgType::kString, ArgType::kString}, 2,
               [](Self& m, Args args) {
                 m.q->AddHiddenSqlFilter(args[0].Bytes(), args[1].Bytes());
                 return Variant();
               });

    t.Function("SetCSSClassNames", std::vector<ArgType>(8, ArgType::kString), 8,
               [](Self& m, Args args) {
                 std::array<std::string, 8> names;
                 for (size_t i = 0; i < names.size(); ++i) names[i] = args[i].Bytes();
                 m.q->SetCSSClassNames(names);
                 return Variant();
               });
    t.Function("Init", {ArgType::kString}, 1, [](Self& m, Args args) {
      m.q->Init(args[0].Bytes());
      return Variant();
    });
    t.Function("DisplayReports", {}, 0, [](Self& m, Args) {
      m.q->DisplayReports();
      return Variant();
    });
    t.Function("ImportReportsFiles", {}, 0, [](Self& m, Args) {
      m.q->ImportReportsFiles();
      return Variant();
    });
    t.Function("ReadLocale", {ArgType::kString, ArgType::kString}, 2, [](Self& m, Args args) {
      return Variant(m.q->ReadLocale(args[0].Bytes(), args[1].Bytes()));
    });
    t.Function("GetSchemaVar",
               {ArgType::kString, ArgType::kString, ArgType::kString, ArgType::kString}, 4,
               [](Self&, Args args) {
                 return Variant(designer::SchemaValue(args[0].Bytes(), args[1].Bytes(),
                                                      args[2].Bytes(), args[3].Bytes()));
               });
    t.Function("GetSchemaVar2", {ArgType::kString, ArgType::kString}, 2, [](Self& m, Args args) {
      return Variant(
          designer::ReportSchemaValue(m.q->report().schema, args[0].Bytes(), args[1].Bytes()));
    });
    t.Function("ReplaceSchemaVar", {ArgType::kString, ArgType::kString, ArgType::kString}, 3,
               [](Self& m, Args args) {
                 designer::ReplaceSchemaValue(m.q->report().schema, args[0].Bytes(),
                                              args[1].Bytes(), args[2].Bytes());
                 return Variant();
               });
    return t;
  }();
  return table;
}

std::shared_ptr<Object> CreateQuillon2Object() {
  return std::make_shared<DispatchObject<Quillon2Members>>("Fennick.Quillon2", Quillon2Members());
}

}  // namespace fennick
