// `fennick deliver` and the delivery options of `fennick serve --deliver`.
#ifndef FENNICK_APP_DELIVER_COMMAND_H_
#define FENNICK_APP_DELIVER_COMMAND_H_

#include <string>

#include "fennick/delivery.h"

namespace fennick_app {

// The usage lines of the delivery options, for both commands.
inline constexpr char kDeliveryOptionsUsage[] =
    "  --reports PATH      a reports file whose schedules run, from the site\n"
    "                      root (repeatable; default /data/reports.xml)\n"
    "  --smtp-settings FILE\n"
    "                      the mail server's settings (url, user, password,\n"
    "                      from, tls); FENNICK_SMTP_URL, FENNICK_SMTP_USER,\n"
    "                      FENNICK_SMTP_PASSWORD, FENNICK_SMTP_FROM and\n"
    "                      FENNICK_SMTP_TLS override them\n"
    "  --runner NAME       the name runs are claimed under (default host:pid)\n"
    "  --lease SECONDS     how long a claimed run is held (default 900)\n";

struct DeliveryArgs {
  fennick::DeliveryOptions options;
  bool reports_given = false;
};

// Reads the delivery option at argv[i] (advancing i past its value) into
// `args`; false when argv[i] is none. A bad value fills `error`.
bool ParseDeliveryOption(int argc, char** argv, int& i, DeliveryArgs& args, std::string* error);

// `fennick deliver`: runs every due schedule once. Exit status 0 when all
// went (or none was due), 3 when a send failed, 1 when the mail settings
// are unusable, 2 for bad options.
int Deliver(int argc, char** argv, const char* usage);

}  // namespace fennick_app

#endif  // FENNICK_APP_DELIVER_COMMAND_H_
