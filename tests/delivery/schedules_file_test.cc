#include "delivery/schedules_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/web/private_files.h"
#include "support/fold-designer_files.h"

namespace fennick::delivery {
namespace {

namespace fs = std::filesystem;

Schedule Daily(std::string report = "R1") {
  Schedule s;
  s.report_id = std::move(report);
  s.recipients = {"ops@example.com"};
  s.timing = *ParseTiming("daily 07:00", "UTC");
  s.subject = "Orders";
  return s;
}

TEST(ScheduleTest, ValidateRefusesHeaderInjectionAndOversizedValues) {
  struct Case {
    std::function<void(Schedule&)> change;
    std::string error;
  } cases[] = {
      {[](Schedule&) {}, ""},
      {[](Schedule& s) { s.recipients = {"a.b+tag@mail.example.co"}; }, ""},
      {[](Schedule& s) { s.recipients = {"ops@example.com\r\nBcc: x@evil.example"}; },
       "A recipient holds control characters."},
      {[](Schedule& s) { s.recipients = {"Ops <ops@example.com>"}; },
       "Not a mail address: Ops <ops@example.com>"},
      {[](Schedule& s) { s.recipients = {"a..b@example.com"}; },
       "Not a mail address: a..b@example.com"},
      {[](Schedule& s) { s.recipients = {"ops@-example.com"}; },
       "Not a mail address: ops@-example.com"},
      {[](Schedule& s) { s.recipients = {}; }, "The schedule has no recipients."},
      {[](Schedule& s) { s.recipients.assign(kMaxRecipients + 1, "a@example.com"); },
       "A schedule may have at most 50 recipients."},
      {[](Schedule& s) { s.subject = "Orders\r\nBcc: x@evil.example"; },
       "The subject must be one line of at most 200 bytes."},
      {[](Schedule& s) { s.message = "Line one\r\nLine two"; }, ""},
      {[](Schedule& s) { s.format = "docx"; }, "Unknown format: docx (csv, xlsx or pdf)."},
      {[](Schedule& s) { s.timing.time_zone = "Nowhere/City"; },
       "Unknown time zone: Nowhere/City"},
      {[](Schedule& s) { s.parameters = {{"Year", std::string(1001, '9')}}; },
       "A parameter is empty, too long or holds control characters."},
      {[](Schedule& s) { s.session_values = {{"USERID", "7\n"}}; },
       "A session value is empty, too long or holds control characters."},
  };
  for (const Case& c : cases) {
    Schedule s = Daily();
    c.change(s);
    EXPECT_EQ(Validate(s), c.error);
  }
}

class SchedulesFileTest : public ::testing::Test {
 protected:
  SchedulesFileTest()
      : root_(test_support::FreshTestFolder("fennick_schedules_")), file_(root_ / "reports.xml") {}
  ~SchedulesFileTest() override { fs::remove_all(root_); }

  std::string Save(Schedule s, int64_t now) {
    std::string error;
    std::optional<std::string> id = file_.Save(std::move(s), now, &error);
    EXPECT_TRUE(id) << error;
    return id.value_or("");
  }

  fs::path root_;
  SchedulesFile file_;
};

// 2026-01-05 00:00 UTC.
constexpr int64_t kMonday = 1767571200;

TEST_F(SchedulesFileTest, RoundTripsEveryValueAndIsNeverServed) {
  Schedule s = Daily();
  s.format = "xlsx";
  s.only_with_rows = true;
  s.subject = "Sales & \"returns\" <EU>";
  s.message = "Hello,\r\nthe weekly list.\n";
  s.parameters = {{"Year", "2026"}, {"Region", "Nord-Pas & Calais"}};
  s.session_values = {{"USERID", "o'brien"}};
  s.context.connection_string = "Provider=SQLite;Data Source=/srv/a b.db";
  s.context.hidden_filter_list = "Orders|=|OwnerId='@USERID'|||";
  s.context.sql_name_prefix = "";
  s.timing = *ParseTiming("weekly mon,fri 07:00", "Europe/Paris");
  EXPECT_EQ(Save(s, kMonday), "S1");
  EXPECT_EQ(Save(Daily("R2"), kMonday), "S2");

  LoadedSchedules loaded = file_.Read();
  ASSERT_TRUE(loaded.ok()) << loaded.error;
  ASSERT_EQ(loaded.schedules.size(), 2u);
  const Schedule& back = loaded.schedules[0];
  EXPECT_EQ(back.subject, s.subject);
  EXPECT_EQ(back.message, s.message);
  EXPECT_EQ(back.parameters, s.parameters);
  EXPECT_EQ(back.session_values, s.session_values);
  EXPECT_EQ(back.context.connection_string, s.context.connection_string);
  EXPECT_EQ(back.context.hidden_filter_list, s.context.hidden_filter_list);
  EXPECT_EQ(back.context.sql_name_prefix, "");
  EXPECT_EQ(back.context.sql_name_suffix, "$");
  EXPECT_EQ(TimingText(back.timing), "weekly mon,fri 07:00");
  EXPECT_EQ(back.timing.time_zone, "Europe/Paris");
  EXPECT_EQ(back.next_run, kMonday + 6 * 3600);  // 07:00 in Paris
  EXPECT_TRUE(back.only_with_rows);

  EXPECT_EQ(file_.path(), root_ / "reports.xml.schedules.xml");
  EXPECT_TRUE(IsPrivateFile(file_.path(), test_support::ReadText(file_.path())));

  // A damaged file is never overwritten.
  std::ofstream(file_.path()) << "<quillonSchedules><schedule";
  std::string error;
  EXPECT_FALSE(file_.Save(Daily(), kMonday, &error));
  EXPECT_NE(error.find("does not parse"), std::string::npos) << error;
}

TEST_F(SchedulesFileTest, ClaimsLeasesOutcomesAndBackOff) {
  const std::string id = Save(Daily(), kMonday);  // due 07:00
  const int64_t due = kMonday + 7 * 3600;
  EXPECT_TRUE(file_.ClaimDue(due - 1, "a", 600).empty());
  std::vector<Claim> a = file_.ClaimDue(due, "a", 600);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].run, 1);
  // Held: no one else gets it until the lease runs out (runner a died).
  EXPECT_TRUE(file_.ClaimDue(due + 599, "b", 600).empty());
  std::vector<Claim> b = file_.ClaimDue(due + 600, "b", 600);
  ASSERT_EQ(b.size(), 1u);
  // The dead runner's late outcome is not recorded.
  EXPECT_EQ(file_.Finish(a[0], {RunOutcome::Kind::kSent, "sent"}, due + 601, 60),
            "The run was claimed by another runner.");

  // Failures back off 60, 120, 240 seconds, then the run is given up.
  int64_t now = due + 700;
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    ASSERT_EQ(file_.Finish(b[0], {RunOutcome::Kind::kFailed, "connection refused"}, now, 60), "");
    const Schedule s = file_.Read().schedules[0];
    if (attempt < kMaxAttempts) {
      EXPECT_EQ(s.state.retry_at, now + (60 << (attempt - 1)));
      EXPECT_EQ(s.state.last_result, "Failed (attempt " + std::to_string(attempt) +
                                         " of 4, retrying): connection refused");
      EXPECT_TRUE(file_.ClaimDue(s.state.retry_at - 1, "b", 600).empty());
      now = s.state.retry_at;
      b = file_.ClaimDue(now, "b", 600);
      ASSERT_EQ(b.size(), 1u);
    } else {
      EXPECT_EQ(s.state.last_result, "Failed after 4 attempts: connection refused");
      EXPECT_EQ(s.state.failed, 1);
      EXPECT_EQ(s.state.run, 2);
      EXPECT_EQ(s.next_run, due + 86400);
    }
  }

  // A runner down for three days sends the missed schedule once, and the
  // next run is the next slot after now.
  const int64_t late = due + 3 * 86400 + 3600;
  std::vector<Claim> c = file_.ClaimDue(late, "c", 600);
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(file_.Finish(c[0], {RunOutcome::Kind::kSent, "Sent to 1 recipient"}, late, 60), "");
  Schedule s = file_.Read().schedules[0];
  EXPECT_EQ(s.next_run, due + 4 * 86400);
  EXPECT_EQ(s.state.sent, 1);
  EXPECT_TRUE(file_.ClaimDue(late + 60, "c", 600).empty());

  // Paused schedules and stopped ones are not claimed.
  ASSERT_EQ(file_.Update(id, [](Schedule& x) { x.paused = true; }), "");
  EXPECT_TRUE(file_.ClaimDue(due + 5 * 86400, "c", 600).empty());
  ASSERT_EQ(file_.Update(id, [](Schedule& x) { x.paused = false; }), "");
  c = file_.ClaimDue(due + 5 * 86400, "c", 600);
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(file_.Finish(c[0], {RunOutcome::Kind::kStopped, "The report R1 was deleted."},
                         due + 5 * 86400, 60),
            "");
  s = file_.Read().schedules[0];
  EXPECT_EQ(s.state.stopped, "The report R1 was deleted.");
  EXPECT_TRUE(file_.ClaimDue(due + 9 * 86400, "c", 600).empty());
}

TEST_F(SchedulesFileTest, ConcurrentRunnersClaimEachRunOnce) {
  for (int i = 0; i < 40; ++i) Save(Daily("R" + std::to_string(i)), kMonday);
  const int64_t due = kMonday + 7 * 3600;
  std::vector<std::string> claimed[4];
  std::vector<std::thread> runners;
  for (int r = 0; r < 4; ++r) {
    runners.emplace_back([&, r] {
      // Small batches, so the runners interleave.
      for (int round = 0; round < 20; ++round) {
        for (Claim& c : file_.ClaimDue(due, "runner" + std::to_string(r), 600, 3)) {
          claimed[r].push_back(c.schedule.id);
          file_.Finish(c, {RunOutcome::Kind::kSent, "sent"}, due, 60);
        }
      }
    });
  }
  for (std::thread& t : runners) t.join();
  std::multiset<std::string> all;
  for (auto& list : claimed) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), 40u);
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 40u);
}

}  // namespace
}  // namespace fennick::delivery
