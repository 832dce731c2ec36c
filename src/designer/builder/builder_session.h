// One run of the report builder for one request: the state read from the
// post, the checks of the posted step, the next page and Finish. The page
// writers live in builder_pages.cc, the procedure steps in
// builder_procedures.cc, the flow and checks in report_builder.cc (Finish
// through designer/definition_check.h). A BuilderSession belongs to one
// page on one thread.
#ifndef FENNICK_DESIGNER_BUILDER_BUILDER_SESSION_H_
#define FENNICK_DESIGNER_BUILDER_BUILDER_SESSION_H_

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "designer/builder/builder_source.h"
#include "designer/builder/builder_state.h"
#include "designer/builder/report_builder.h"
#include "designer/builder/report_save.h"
#include "designer/builder/sql_check.h"
#include "designer/definition_check.h"
#include "fennick/data.h"

namespace fennick::designer {

class BuilderSession {
 public:
  BuilderSession(const HostContext& host, const BuilderContext& context);
  void Run();

 private:
  // --- flow (report_builder.cc)
  bool Allowed();  // writes the refusal when not
  void Refuse(std::string_view why);
  bool FirstCall();
  bool Posted();
  bool ApplyStep(int src);
  int NextPage(int src, int index);
  void Finish();
  BuilderSource* Source();
  std::optional<std::vector<CheckedTable>> Tables();
  std::optional<SqlChecker> Checker();
  const ReportDefinition& Stored();
  std::optional<std::vector<SourceColumn>> ProcedureColumns();
  std::map<std::string, std::string> ParameterValues() const;
  std::vector<SourceParameter> ProcedureParameters();

  bool StepFields();
  bool StepCaptions();
  bool StepFilters();
  bool StepDetails();
  bool StepSummaries();
  bool StepAggregates();
  bool StepGraphFields();
  bool StepChart();
  bool StepOrder();
  bool StepProcParams();
  bool StepProcFields();
  // Checks every entry of the state again (at Finish); false with message_.
  bool CheckAll();
  bool RebuildSchema(const std::vector<std::string>& fields,
                     const std::vector<SourceColumn>* only_columns);
  // The chosen fields in the order the report had them (posted beside the
  // check boxes as "ofields"), the newly chosen ones after them in the
  // order they were posted.
  std::vector<std::string> InPreviousOrder(std::vector<std::string> chosen) const;
  std::string CheckFormat(const std::string& field, const std::string& format, int category,
                          const SqlChecker& checker, bool* ok);
  std::optional<std::string> CheckFilterEntry(const std::string& entry, const SqlChecker& checker);
  int FieldCategory(const std::string& field) const;
  bool IsNumericField(const std::string& field) const;

  // --- pages (builder_pages.cc)
  void ShowPage(int page);
  std::string PageFields();
  std::string PageCaptions(bool procedure);
  std::string PageFilters();
  std::string PageDetails(bool procedure);
  std::string PageSummaries();
  std::string PageAggregates();
  std::string PageGraphFields();
  std::string PageChart();
  std::string PageOrder();
  std::string PageProcParams();
  std::string PageProcFields();
  std::string Footer(int page, const std::set<std::string>& own);
  // The hidden "ofields" of the field pages: the fields in the report's
  // order.
  std::string PreviousFields() const;
  std::string FieldOptions(std::string_view selected, bool numeric_only) const;
  std::string Caption(const std::string& field) const;
  void WriteFinishScript(const std::string& id);
  // The offered tables and procedures to start a new report from.
  void ShowTableChooser();

  const HostContext& host_;
  const BuilderContext& context_;
  std::string session_id_;
  ReportDefinition r_;
  BuilderTicket ticket_;
  std::string token_;
  std::string message_;  // the refusal of the posted step (HTML, encoded)
  bool has_parameters_ = false;
  int db_type_ = 0;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<BuilderSource> source_;
  std::optional<ReportDefinition> stored_;
  std::optional<std::vector<CheckedTable>> tables_;
  std::optional<std::vector<SourceColumn>> procedure_columns_;
  std::optional<std::vector<SourceParameter>> procedure_parameters_;
};

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_BUILDER_SESSION_H_
