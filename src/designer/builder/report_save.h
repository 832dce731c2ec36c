// Saving what the report builder built: who may save which report under
// which id and group, and the builder window's sealed ticket.
//
// The id and group of the report travel in the builder's hidden fields, so
// a hostile browser can post any. When the builder opens, it seals a ticket
// for this session naming the report being edited ("" for a new one) and
// the group it was in; Finish opens the ticket and compares. The id may
// change only under CanEditReportId and the group only under
// CanChangeReportGroup; a new id must not exist yet (checked under the
// reports file's lock, so two builders cannot both take it); a group must
// exist. The password travels sealed for this session from the moment it is
// typed until Finish, and an edit that gives none keeps the stored one.
// Thread-safe as the reports file is.
#ifndef FENNICK_DESIGNER_BUILDER_REPORT_SAVE_H_
#define FENNICK_DESIGNER_BUILDER_REPORT_SAVE_H_

#include <optional>
#include <string>
#include <string_view>

#include "designer/permissions.h"
#include "designer/report_definition.h"
#include "designer/reports_file.h"

namespace fennick::designer {

// What the builder window was opened for.
struct BuilderTicket {
  std::string edited_id;  // the stored report being edited; "" for a new one
  std::string group;      // its group when the window opened ("" for new)
  bool operator==(const BuilderTicket&) const = default;
};

// The ticket sealed for `session_id`. Raises an Error without a sealer.
std::string MakeBuilderToken(std::string_view session_id, const BuilderTicket& ticket);
// The ticket, or nullopt for a token of another session, purpose or none.
std::optional<BuilderTicket> OpenBuilderToken(std::string_view token, std::string_view session_id);

// A typed password sealed for the session, and opened again (nullopt for
// anything that is no such token).
std::string SealBuilderPassword(std::string_view session_id, std::string_view password);
std::optional<std::string> OpenBuilderPassword(std::string_view token, std::string_view session_id);

struct BuiltReport {
  ReportDefinition report;  // rid and rgroup as posted; rpwd is ignored
  BuilderTicket ticket;
  Permissions permissions;
  // The password typed in the builder (possibly "" to clear it); nullopt
  // keeps the stored report's password (none for a new report).
  std::optional<std::string> new_password;
  std::string ip, user;
};

struct SaveOutcome {
  std::string id;     // the saved report's id
  std::string error;  // why nothing was saved (never a server path)
  int status = 409;   // the HTTP status of a failure, as FileResult's
  bool ok() const { return error.empty(); }
};

// Checks the rules above and saves the definition into `file`.
SaveOutcome SaveReportDefinition(const ReportsFile& file, BuiltReport built);

// The title a report gets when none was typed: its tables with "," made
// " ", then " Report".
std::string DefaultReportTitle(std::string_view tables);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_REPORT_SAVE_H_
