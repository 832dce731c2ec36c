// The builder's save rules and its sealed ticket.
#include "designer/builder/report_save.h"

#include <ctime>
#include <set>

#include "base/ascii.h"
#include "designer/report_id.h"
#include "designer/report_password.h"
#include "fennick/error.h"
#include "platform/crypto/seal.h"

namespace fennick::designer {
namespace {

bool GroupExists(const XmlNode& groups, std::string_view id) {
  for (const XmlNode& group : groups.Elements()) {
    if (group.Name() == "group" && group.Attribute("id").value_or("") == id) return true;
  }
  return false;
}

}  // namespace

std::string MakeBuilderToken(std::string_view session_id, const BuilderTicket& ticket) {
  return SealParts(
      SealPurpose::kReportBuilder,
      {session_id, ticket.edited_id.empty() ? "new" : "edit:" + ticket.edited_id, ticket.group});
}

std::optional<BuilderTicket> OpenBuilderToken(std::string_view token, std::string_view session_id) {
  // An empty session id would let every cookie-less browser share tickets.
  if (token.empty() || session_id.empty()) return std::nullopt;
  std::optional<std::vector<std::string>> parts;
  try {
    parts = OpenSealedParts(SealPurpose::kReportBuilder, token, 3);
  } catch (const Error&) {
    return std::nullopt;  // no sealer installed: nothing is accepted
  }
  if (!parts || (*parts)[0] != session_id) return std::nullopt;
  BuilderTicket ticket;
  const std::string& what = (*parts)[1];
  if (what.rfind("edit:", 0) == 0) {
    ticket.edited_id = what.substr(5);
  } else if (what != "new") {
    return std::nullopt;
  }
  ticket.group = (*parts)[2];
  return ticket;
}

std::string SealBuilderPassword(std::string_view session_id, std::string_view password) {
  return SealParts(SealPurpose::kBuilderPassword, {session_id, password});
}

std::optional<std::string> OpenBuilderPassword(std::string_view token,
                                               std::string_view session_id) {
  if (token.empty() || session_id.empty()) return std::nullopt;
  try {
    auto parts = OpenSealedParts(SealPurpose::kBuilderPassword, token, 2);
    if (!parts || (*parts)[0] != session_id) return std::nullopt;
    return (*parts)[1];
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::string DefaultReportTitle(std::string_view tables) {
  std::string title(tables);
  ReplaceAll(title, ",", " ");
  return std::string(TrimBlanks(title + " Report"));
}

SaveOutcome SaveReportDefinition(const ReportsFile& file, BuiltReport built) {
  SaveOutcome out;
  const Permissions& may = built.permissions;
  const BuilderTicket& ticket = built.ticket;
  const bool editing = !ticket.edited_id.empty();
  if (editing ? !may.edit_report : !may.add_report) {
    out.error =
        editing ? "You are not allowed to edit reports" : "You are not allowed to add reports";
    out.status = 403;
    return out;
  }
  ReportDefinition& report = built.report;
  const std::string posted_id = NormalizeId(report.rid);
  const std::string group = NormalizeId(report.rgroup);
  if (group != ticket.group && !may.change_report_group) {
    out.error = "The report group cannot be changed";
    return out;
  }

  // Which id to save under, and whether it must be new.
  std::string id;
  bool must_be_new = false;
  if (editing) {
    id = posted_id.empty() ? ticket.edited_id : posted_id;
    if (id != ticket.edited_id) {
      if (!may.edit_report_id) {
        out.error = "The report id cannot be changed";
        return out;
      }
      must_be_new = true;
    }
  } else if (may.edit_report_id && !posted_id.empty()) {
    id = posted_id;
    must_be_new = true;
  }
  if (must_be_new && !IsAcceptableNewId(id)) {
    out.error = "A report id may hold only letters, digits, \"-\" and \"_\"";
    return out;
  }

  // The password: typed in this builder, or (below, under the lock) the
  // stored report's.
  // A typed password is hashed here, before the lock is taken.
  report.rpwd = built.new_password ? StoredPasswordForm(*built.new_password) : std::string();
  report.rgroup = group;
  if (TrimBlanks(report.rtitle).empty()) report.rtitle = DefaultReportTitle(report.tables);

  ReportSave save;
  save.id = id;  // "" for a new id, chosen by the reports file under its lock
  save.group = group;
  save.title = report.rtitle;
  save.description = StoredDescription(report.rdesc);
  save.ip = built.ip;
  save.user = built.user;
  save.typed_id = must_be_new;
  // The definition names its own id, known only once the file chose it.
  const bool keep_password = editing && !built.new_password;
  std::string renamed_from_args;  // a report saved under a new id keeps its password too
  if (keep_password && must_be_new) renamed_from_args = file.GetReportArgs(ticket.edited_id);
  save.make_args = [&](std::string_view saved_id, const XmlNode& existing) {
    report.rid = std::string(saved_id);
    if (keep_password) {
      ReportDefinition stored;
      ReadDefinition(
          DecodeDefinition(existing ? existing.Attribute("args").value_or("") : renamed_from_args),
          stored);
      report.rpwd = stored.rpwd;
    }
    return EncodeDefinition(WriteDefinition(report));
  };
  save.check = [&](const XmlNode& existing, const XmlNode& groups) -> std::string {
    if (existing && must_be_new) return "A report with the id " + id + " exists already";
    if (existing && !may.change_report_group && existing.Attribute("group").value_or("") != group) {
      return "The report group cannot be changed";
    }
    if (!GroupExists(groups, group)) return "The report group " + group + " does not exist";
    return std::string();
  };
  std::string error;
  std::optional<std::string> saved = file.SaveReport(save, &error, &out.status);
  if (!saved) {
    out.error = error;
    return out;
  }
  out.id = *saved;
  return out;
}

}  // namespace fennick::designer
