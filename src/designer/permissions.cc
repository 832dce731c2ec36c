// The designer's permission switches and the server-side action check.
#include "designer/permissions.h"

namespace fennick::designer {

void Permissions::SetAdmin(bool value) {
  add_report = edit_report = delete_report = edit_report_id = value;
  filter = view_tables = value;
  add_group = edit_group = delete_group = edit_group_id = value;
}

void Permissions::SetAdd(bool value) { add_report = add_group = value; }

void Permissions::SetEdit(bool value) {
  edit_report = edit_report_id = edit_group = edit_group_id = value;
}

void Permissions::SetDelete(bool value) { delete_report = delete_group = value; }

bool ActionAllowed(const Permissions& p, std::string_view action, bool group_exists) {
  if (action == "d") return p.delete_report;
  if (action == "d2") return p.delete_group;
  if (action == "g") return group_exists ? p.edit_group : p.add_group;
  if (action == "c") return p.add_report || p.edit_report;
  if (action == "b") return p.add_report && p.add_group;
  if (action == "s") return p.schedule_reports;
  return true;
}

bool ActionChangesFile(std::string_view action) {
  return action == "d" || action == "d2" || action == "g" || action == "c" || action == "b";
}

}  // namespace fennick::designer
