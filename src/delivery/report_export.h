// A schedule's report as the bytes of its export file.
//
// The report runs on a page of its own, made here with no browser behind
// it: the session holds the schedule's recorded values, the request holds
// the export button's argument for the schedule's format, and a Quillon2
// gets the schedule's recorded designer settings (ReportContext). The
// export goes the grid's route with CreateExportFile into the site's
// delivery folder; the file is read and removed. Formats: "csv" always;
// "xlsx" and "pdf" when this server's grid exports them, else the run
// fails saying so. One call, one page, on the calling thread.
#ifndef FENNICK_DELIVERY_REPORT_EXPORT_H_
#define FENNICK_DELIVERY_REPORT_EXPORT_H_

#include <cstdint>
#include <filesystem>
#include <string>

#include "delivery/schedule.h"

namespace fennick::delivery {

// Where a site keeps what delivery needs.
struct DeliverySite {
  std::filesystem::path root;  // the site folder
  // The reports file, as a path from the site root ("/data/reports.xml").
  std::string reports_url = "/data/reports.xml";
  // The folder export files are written to and read back from, from the
  // site root; created when missing.
  std::string outbox_url = "/data/outbox/";
  std::string locale = "en_US";
};

struct ReportExport {
  std::string error;            // why there is no export ("" when ok)
  bool report_missing = false;  // the report is not in the reports file
  bool skipped = false;         // no rows, and the schedule wants rows
  std::string title;
  int64_t rows = -1;            // -1: not counted (a procedure report)
  std::string file_name;        // title + extension
  std::string content_type;
  std::string content;
  bool ok() const { return error.empty(); }
};

ReportExport ExportScheduledReport(const Schedule& schedule, const DeliverySite& site);

}  // namespace fennick::delivery

#endif  // FENNICK_DELIVERY_REPORT_EXPORT_H_
