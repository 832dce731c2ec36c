// Saving built reports: the id and group rules, the sealed ticket and
// password, and builders saving into one file at the same time.
#include "designer/builder/report_save.h"
#include "designer/report_password.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/crypto/seal.h"
#include "support/fold-designer_files.h"

namespace fennick::designer {
namespace {

class ReportSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallSealer(Sealer::KeyFromSecret("report save tests"));
    dir_ = test_support::FreshTestFolder("fennick-save-");
    file_ = std::make_unique<ReportsFile>(dir_ / "reports.xml");
    ASSERT_TRUE(file_->SaveGroup("HR", "People", true, true).ok());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  BuiltReport Built(std::string rid, std::string group, BuilderTicket ticket = {}) {
    BuiltReport b;
    b.report.tables = "Orders,Customers";
    b.report.fields = "Orders.Amount";
    b.report.rid = std::move(rid);
    b.report.rgroup = std::move(group);
    b.ticket = std::move(ticket);
    return b;
  }
  ReportDefinition Stored(const std::string& id) {
    ReportDefinition d;
    ReadDefinition(DecodeDefinition(file_->GetReportArgs(id)), d);
    return d;
  }

  std::filesystem::path dir_;
  std::unique_ptr<ReportsFile> file_;
};

TEST_F(ReportSaveTest, NewReportsGetFreshIdsAndEditsKeepTheirs) {
  BuiltReport first = Built("", "");
  first.report.rdesc = "say _Q_hi_Q_";
  first.new_password = "s3cret";
  SaveOutcome saved = SaveReportDefinition(*file_, first);
  ASSERT_TRUE(saved.ok()) << saved.error;
  EXPECT_EQ(saved.id.size(), 10u);
  ReportDefinition stored = Stored(saved.id);
  EXPECT_EQ(stored.rid, saved.id);
  EXPECT_EQ(stored.rtitle, "Orders Customers Report");
  // A typed password is stored as its hash.
  const std::string hash = stored.rpwd;
  EXPECT_TRUE(hash != "s3cret" && MatchPassword(hash, "s3cret").right) << hash;

  // Without CanEditReportId a posted id for a new report is not used.
  BuiltReport planted = Built(saved.id, "");
  planted.permissions.edit_report_id = false;
  SaveOutcome other = SaveReportDefinition(*file_, planted);
  ASSERT_TRUE(other.ok()) << other.error;
  EXPECT_NE(other.id, saved.id);
  EXPECT_EQ(Stored(saved.id).rpwd, hash);

  // An edit that gives no new password keeps the stored one.
  BuiltReport edit = Built(saved.id, "", {saved.id, ""});
  edit.report.rtitle = "Renamed";
  edit.report.rpwd = "posted plain text is never used";
  SaveOutcome edited = SaveReportDefinition(*file_, edit);
  ASSERT_TRUE(edited.ok()) << edited.error;
  EXPECT_EQ(edited.id, saved.id);
  EXPECT_EQ(Stored(saved.id).rtitle, "Renamed");
  EXPECT_EQ(Stored(saved.id).rpwd, hash);
  // Saved under a new id (CanEditReportId), it keeps the password too.
  BuiltReport renamed = Built("COPY", "", {saved.id, ""});
  ASSERT_TRUE(SaveReportDefinition(*file_, renamed).ok());
  EXPECT_EQ(Stored("COPY").rpwd, hash);
  edit.new_password = "";
  ASSERT_TRUE(SaveReportDefinition(*file_, edit).ok());
  EXPECT_EQ(Stored(saved.id).rpwd, "");
}

TEST_F(ReportSaveTest, IdsAndGroupsCannotBeOverwrittenOrMoved) {
  BuiltReport a = Built("SALES", "HR");
  SaveOutcome saved = SaveReportDefinition(*file_, a);
  ASSERT_TRUE(saved.ok()) << saved.error;
  EXPECT_EQ(saved.id, "SALES");

  // A typed new id that exists already.
  EXPECT_EQ(SaveReportDefinition(*file_, Built("sales", "HR")).error,
            "A report with the id SALES exists already");
  // An edit of another report whose hidden id was changed to SALES.
  ASSERT_TRUE(SaveReportDefinition(*file_, Built("OTHER", "")).ok());
  BuiltReport moved = Built("SALES", "", {"OTHER", ""});
  moved.permissions.edit_report_id = false;
  EXPECT_EQ(SaveReportDefinition(*file_, moved).error, "The report id cannot be changed");
  moved.permissions.edit_report_id = true;
  EXPECT_EQ(SaveReportDefinition(*file_, moved).error, "A report with the id SALES exists already");

  // The group of an edited report under CanChangeReportGroup off.
  BuiltReport regroup = Built("SALES", "", {"SALES", "HR"});
  regroup.permissions.change_report_group = false;
  EXPECT_EQ(SaveReportDefinition(*file_, regroup).error, "The report group cannot be changed");
  regroup.permissions.change_report_group = true;
  EXPECT_TRUE(SaveReportDefinition(*file_, regroup).ok());
  EXPECT_EQ(SaveReportDefinition(*file_, Built("", "NOPE")).error,
            "The report group NOPE does not exist");
  EXPECT_EQ(SaveReportDefinition(*file_, Built("a b", "")).error,
            "A report id may hold only letters, digits, \"-\" and \"_\"");

  BuiltReport no_add = Built("", "");
  no_add.permissions.add_report = false;
  EXPECT_EQ(SaveReportDefinition(*file_, no_add).error, "You are not allowed to add reports");
  BuiltReport no_edit = Built("SALES", "", {"SALES", ""});
  no_edit.permissions.edit_report = false;
  EXPECT_EQ(SaveReportDefinition(*file_, no_edit).error, "You are not allowed to edit reports");
}

TEST_F(ReportSaveTest, TicketsAndPasswordsOpenOnlyForTheirSession) {
  const std::string token = MakeBuilderToken("session-1", {"R1", "HR"});
  ASSERT_TRUE(OpenBuilderToken(token, "session-1"));
  EXPECT_EQ(*OpenBuilderToken(token, "session-1"), (BuilderTicket{"R1", "HR"}));
  EXPECT_FALSE(OpenBuilderToken(token, "session-2"));
  EXPECT_FALSE(OpenBuilderToken(token, ""));
  EXPECT_EQ(*OpenBuilderToken(MakeBuilderToken("s", {}), "s"), BuilderTicket{});
  const std::string pwd = SealBuilderPassword("session-1", "pw");
  EXPECT_EQ(OpenBuilderPassword(pwd, "session-1"), "pw");
  EXPECT_FALSE(OpenBuilderPassword(pwd, "session-2"));
  // A sealed password is no ticket and the other way round.
  EXPECT_FALSE(OpenBuilderToken(pwd, "session-1"));
  EXPECT_FALSE(OpenBuilderPassword(token, "session-1"));
}

TEST_F(ReportSaveTest, BuildersSavingAtOnceAllFindTheirReports) {
  constexpr int kBuilders = 8;
  std::vector<std::string> ids(kBuilders);
  std::vector<std::thread> threads;
  for (int i = 0; i < kBuilders; ++i) {
    threads.emplace_back([&, i] {
      BuiltReport b = Built("", "");
      b.report.rtitle = "Report " + std::to_string(i);
      SaveOutcome out = SaveReportDefinition(*file_, b);
      ids[i] = out.ok() ? out.id : "error: " + out.error;
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kBuilders; ++i) {
    EXPECT_EQ(Stored(ids[i]).rtitle, "Report " + std::to_string(i)) << ids[i];
  }
}

}  // namespace
}  // namespace fennick::designer
