// What the page allows the designer's user to do.
//
// Permissions are plain switches the page sets; the designer has no users
// of its own. The catalogue hides the links a user may not follow, and
// every action that changes the reports file is checked here again on the
// server, since a hidden link is no refusal: anyone can type the address.
#ifndef FENNICK_DESIGNER_PERMISSIONS_H_
#define FENNICK_DESIGNER_PERMISSIONS_H_

#include <string_view>

namespace fennick::designer {

struct Permissions {
  bool add_report = true;
  bool edit_report = true;
  bool delete_report = true;
  bool edit_report_id = true;
  bool filter = true;
  bool view_tables = true;
  bool add_group = true;
  bool edit_group = true;
  bool delete_group = true;
  bool edit_group_id = true;
  bool change_report_group = true;
  // CanScheduleReports: the Schedule link of a stored report's page and its
  // schedules page (delivery by mail). Off unless the page turns it on;
  // IsAdmin leaves it alone.
  bool schedule_reports = false;

  // IsAdmin: the ten switches from add_report to edit_group_id (not
  // change_report_group).
  void SetAdmin(bool value);
  // CanAdd: add_report and add_group.
  void SetAdd(bool value);
  // CanEdit: edit_report, edit_report_id, edit_group, edit_group_id.
  void SetEdit(bool value);
  // CanDelete: delete_report and delete_group.
  void SetDelete(bool value);
};

// Whether `action` (the query key "a": "d", "d2", "g", "c", "b") may run.
// For "g", `group_exists` tells whether the group is being renamed (edit)
// or added. Actions that change nothing ("n", "p", "i", others) are allowed
// here; what they show depends on the switches themselves.
bool ActionAllowed(const Permissions& permissions, std::string_view action, bool group_exists);

// Whether `action` changes the reports file, and so needs a valid token.
bool ActionChangesFile(std::string_view action);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_PERMISSIONS_H_
