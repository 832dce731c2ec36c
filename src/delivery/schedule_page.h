// The designer's page of a stored report's delivery schedules: the list
// (timing, recipients, format, next run, last result) with pause, resume,
// edit and delete, and the form that adds or edits one.
//
// Reached through the designer's action "s" (?a=s&rid=ID), which checks
// CanScheduleReports first. Every change is a POST carrying the
// designer's action token for "s" (designer/action_token.h), so it
// belongs to this browser session; a schedule is only ever changed
// through the page of its own report. What the form posts is checked as
// any schedule is (delivery/schedule.h). A new or edited schedule records
// the designer's settings of this page and the session values the
// report's statement reads (the "@" tokens), by name. One page, one
// thread.
#ifndef FENNICK_DELIVERY_SCHEDULE_PAGE_H_
#define FENNICK_DELIVERY_SCHEDULE_PAGE_H_

namespace fennick::designer {
class Quillon2;
}

namespace fennick::delivery {

// Writes the page, or carries out its post and redirects back to it.
void WriteSchedulePage(designer::Quillon2& designer);

}  // namespace fennick::delivery

#endif  // FENNICK_DELIVERY_SCHEDULE_PAGE_H_
