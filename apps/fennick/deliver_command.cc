// `fennick deliver`: one delivery pass over a site's schedules, and the
// options `fennick serve --deliver` shares with it.
#include "deliver_command.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

namespace fennick_app {

bool ParseDeliveryOption(int argc, char** argv, int& i, DeliveryArgs& args, std::string* error) {
  fennick::DeliveryOptions& options = args.options;
  const std::string arg = argv[i];
  auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
  const char* v = nullptr;
  if (arg == "--reports") {
    if (!(v = value()) || v[0] != '/') {
      *error = "--reports needs a path from the site root, such as /data/reports.xml";
      return true;
    }
    // The first --reports replaces the default file.
    if (!args.reports_given) options.reports_files.clear();
    args.reports_given = true;
    options.reports_files.emplace_back(v);
    return true;
  }
  if (arg == "--smtp-settings") {
    if (!(v = value())) *error = "--smtp-settings needs a file";
    else options.smtp_settings = v;
    return true;
  }
  if (arg == "--runner") {
    if (!(v = value()) || *v == '\0') *error = "--runner needs a name";
    else options.runner = v;
    return true;
  }
  if (arg == "--lease") {
    char* end = nullptr;
    const long long n = (v = value()) ? std::strtoll(v, &end, 10) : 0;
    if (!v || *end || n < 10 || n > 86400) *error = "--lease needs seconds from 10 to 86400";
    else options.lease_seconds = n;
    return true;
  }
  return false;
}

int Deliver(int argc, char** argv, const char* usage) {
  DeliveryArgs args;
  fennick::DeliveryOptions& options = args.options;
  options.site_root = ".";
  for (int i = 2; i < argc; ++i) {
    std::string error;
    const std::string arg = argv[i];
    if (arg == "--site") {
      if (i + 1 >= argc) error = "--site needs a folder";
      else options.site_root = argv[++i];
    } else if (!ParseDeliveryOption(argc, argv, i, args, &error)) {
      error = "unknown option " + arg;
    }
    if (!error.empty()) {
      std::cerr << "fennick: " << error << "\n\n" << usage;
      return 2;
    }
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(options.site_root, ec)) {
    std::cerr << "fennick: the site folder " << options.site_root.string() << " does not exist\n";
    return 2;
  }
  options.site_root = std::filesystem::canonical(options.site_root, ec);
  std::string error;
  const fennick::DeliveryTotals totals = fennick::RunDueDeliveries(options, &error);
  if (!error.empty()) return 1;
  std::cout << "delivery: " << totals.sent << " sent, " << totals.skipped << " skipped, "
            << totals.retried << " to retry, " << totals.failed << " failed, " << totals.stopped
            << " stopped\n";
  return totals.retried + totals.failed > 0 ? 3 : 0;
}

}  // namespace fennick_app
