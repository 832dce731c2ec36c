// Member table of Fennick.Quillon2. Properties are write-only, as pages
// have always known them; ReadLocale and the schema routines return text.
#include "designer/quillon2_object.h"

#include "designer/quillon2.h"
#include "frame/dispatch.h"

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
