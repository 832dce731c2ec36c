// The reports file: its exact shape, group and report changes, refusals,
// damaged files, and saves that race from threads and processes.
#include "designer/reports_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "designer/reports_upload.h"
#include "support/fold-designer_text.h"
#include "support/fold-designer_files.h"

namespace fennick::designer {
namespace {

namespace fs = std::filesystem;

class ReportsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test_support::FreshTestFolder("fennick_reports_");
    path_ = folder_ / "reports.xml";
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Text() const { return test_support::ReadText(path_); }
  void WriteText(std::string_view text) const {
    std::ofstream(path_, std::ios::binary) << text;
  }
  ReportSave Report(std::string id, std::string title) const {
    ReportSave r;
    r.id = std::move(id);
    r.group = "hr";
    r.args = "O2E6MTsg";
    r.title = std::move(title);
    r.description = "About <it> & \"more\"";
    r.ip = "127.0.0.1";
    r.user = "ann";
    return r;
  }
  size_t CountReports() const {
    LoadedReports loaded = ReportsFile(path_).Read();
    EXPECT_TRUE(loaded.ok()) << loaded.error;
    return loaded.ok() ? loaded.reports->reports().size() : 0;
  }
  // The first report element of the file as it is on disk.
  XmlNode FirstReport(XmlDocument& holder) const {
    holder = XmlDocument::Parse(Text()).document;
    return holder.SelectFirst("/quillon/reports/report");
  }

  fs::path folder_;
  fs::path path_;
};

TEST_F(ReportsFileTest, CreatesTheEmptyFileAndKeepsAttributeOrder) {
  ReportsFile file(path_);
  ASSERT_TRUE(file.Create().ok());
  EXPECT_EQ(Text(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillon version=\"2\"><groups><group "
            "id=\"\" title=\"General Reports\"/></groups><reports/></quillon>\n");

  std::string error;
  ASSERT_EQ(file.SaveReport(Report(" r1 ", "First"), &error), "R1") << error;
  XmlDocument doc;
  XmlNode node = FirstReport(doc);
  std::vector<std::string> names;
  for (const auto& [name, value] : node.Attributes()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"args", "id", "group", "title", "added", "modified",
                                             "query", "ip", "createdby"}));
  EXPECT_EQ(node.Attribute("group"), "HR");
  EXPECT_EQ(node.Text(), "About <it> & \"more\"");
  const std::string added = *node.Attribute("added");

  // A second save updates in place: added and createdby stay, modifiedby
  // comes last.
  ReportSave again = Report("R1", "Renamed");
  again.user = "bob";
  again.group = "mktg";
  ASSERT_TRUE(file.SaveReport(again, &error)) << error;
  node = FirstReport(doc);
  names.clear();
  for (const auto& [name, value] : node.Attributes()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"args", "id", "group", "title", "added", "modified",
                                             "query", "ip", "createdby", "modifiedby"}));
  EXPECT_EQ(node.Attribute("title"), "Renamed");
  EXPECT_EQ(node.Attribute("group"), "MKTG");
  EXPECT_EQ(node.Attribute("added"), added);
  EXPECT_EQ(node.Attribute("createdby"), "ann");
  EXPECT_EQ(node.Attribute("modifiedby"), "bob");
  EXPECT_EQ(CountReports(), 1u);
  EXPECT_EQ(file.GetReportArgs(" r1"), "O2E6MTsg");
  EXPECT_EQ(file.GetReportArgs("R2"), "");

  // Creating again leaves a healthy file alone.
  ASSERT_TRUE(file.Create().ok());
  EXPECT_EQ(CountReports(), 1u);
}

TEST_F(ReportsFileTest, GroupsAreSavedRenamedAndDeleted) {
  ReportsFile file(path_);
  // A missing file is created on first use.
  ASSERT_TRUE(file.SaveGroup("hr", "People", true, true).ok());
  ASSERT_TRUE(file.SaveGroup("HR", "Human resources", true, true).ok());
  std::vector<GroupEntry> groups = file.Groups();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[1].id, "HR");
  EXPECT_EQ(groups[1].title, "Human resources");

  // Refusals are checked against the file: adding needs may_add, renaming
  // may_edit.
  EXPECT_EQ(file.SaveGroup("NEW", "x", false, true).error,
            "You are not allowed to add report groups");
  EXPECT_EQ(file.SaveGroup("HR", "x", true, false).error,
            "You are not allowed to change report groups");
  EXPECT_EQ(file.Groups()[1].title, "Human resources");

  // The default group (empty id) cannot be deleted.
  bool default_found = true;
  ASSERT_TRUE(file.Delete("  ", true, &default_found).ok());
  EXPECT_FALSE(default_found);
  EXPECT_EQ(file.Groups().size(), 2u);

  // Deleting a group leaves its reports.
  std::string error;
  ASSERT_TRUE(file.SaveReport(Report("R1", "One"), &error)) << error;
  bool found = false;
  ASSERT_TRUE(file.Delete("hr", true, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(file.Groups().size(), 1u);
  EXPECT_EQ(CountReports(), 1u);
  ASSERT_TRUE(file.Delete("hr", true, &found).ok());
  EXPECT_FALSE(found);
  ASSERT_TRUE(file.Delete(" r1 ", false, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(CountReports(), 0u);

  // The file replaced by a save keeps the mode the site gave it.
  std::filesystem::permissions(path_, std::filesystem::perms(0640));
  ASSERT_TRUE(file.SaveGroup("HR", "Staff", true, true).ok());
  EXPECT_EQ(std::filesystem::status(path_).permissions(), std::filesystem::perms(0640));
}

TEST_F(ReportsFileTest, DamagedFileIsReportedAndLeftUntouched) {
  const std::string damaged = "<quillon version=\"2\"><groups><group id=\"HR\" title=\"x\">";
  WriteText(damaged);
  ReportsFile file(path_);
  std::string error;
  EXPECT_FALSE(file.SaveReport(Report("R1", "One"), &error));
  EXPECT_HAS(error, "not well-formed");
  EXPECT_FALSE(file.SaveGroup("A", "a", true, true).ok());
  bool found = true;
  EXPECT_FALSE(file.Delete("HR", true, &found).ok());
  EXPECT_FALSE(file.Open().ok());
  EXPECT_EQ(Text(), damaged);

  // Well-formed but not a reports file: refused as well.
  WriteText("<Locale version=\"1.0\"/>");
  EXPECT_FALSE(file.SaveGroup("A", "a", true, true).ok());
  EXPECT_EQ(Text(), "<Locale version=\"1.0\"/>");

  // Creating over a damaged file keeps it as a backup.
  WriteText(damaged);
  ASSERT_TRUE(file.Create().ok());
  EXPECT_TRUE(file.Open().ok());
  int backups = 0;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    if (entry.path().filename().string().rfind("reports.xml.damaged-", 0) == 0) {
      ++backups;
      EXPECT_EQ(test_support::ReadText(entry.path()), damaged);
    }
  }
  EXPECT_EQ(backups, 1);
}

// More quick saves than a minute has ten-digit ids: all saved, all apart.
TEST_F(ReportsFileTest, NewIdsNeverCollideNorRunOut) {
  ReportsFile file(path_);
  std::set<std::string> ids;
  for (int i = 0; i < 70; ++i) {
    std::string error;
    std::optional<std::string> id = file.SaveReport(Report("", "R" + std::to_string(i)), &error);
    ASSERT_TRUE(id) << error;
    EXPECT_TRUE(ids.insert(*id).second) << *id;
  }
  EXPECT_EQ(CountReports(), 70u);

  // A typed new id is limited to letters, digits, "-" and "_"; a stored id
  // of another shape is still updated.
  std::string error;
  ReportSave typed = Report("a b<c>", "Typed");
  typed.typed_id = true;
  EXPECT_FALSE(file.SaveReport(typed, &error));
  EXPECT_EQ(error, "A report id may hold only letters, digits, \"-\" and \"_\"");
  EXPECT_TRUE(file.SaveReport(Report("a b<c>", "Stored"), &error)) << error;
  typed.title = "Updated";
  EXPECT_EQ(file.SaveReport(typed, &error), "A B<C>") << error;
  typed.id = "sales-2026_q1";
  EXPECT_EQ(file.SaveReport(typed, &error), "SALES-2026_Q1") << error;
  EXPECT_EQ(CountReports(), 72u);
}

TEST_F(ReportsFileTest, ConcurrentSavesLoseNothing) {
  ReportsFile file(path_);
  ASSERT_TRUE(file.Create().ok());
  constexpr int kThreads = 16, kProcesses = 4, kEach = 10;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kEach; ++i) {
        std::string error;
        if (!file.SaveReport(Report("P" + std::to_string(p) + "_" + std::to_string(i), "x"),
                             &error)) {
          ++failures;
        }
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        std::string error;
        // One new id per thread (a minute has room for sixty), the rest
        // given.
        const std::string id = i == 0 ? "" : "T" + std::to_string(t) + "_" + std::to_string(i);
        EXPECT_TRUE(file.SaveReport(Report(id, "x"), &error)) << error;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(CountReports(), static_cast<size_t>((kThreads + kProcesses) * kEach));
}

// Readers share a copy of the file kept per process. It never hides a
// save: another process's is seen by the next read here, even after two
// quick saves of equal size (the second may be given the inode the first
// freed), and this process's own save at once.
TEST_F(ReportsFileTest, KeptCopyFollowsTheSavesOfEveryProcess) {
  ReportsFile file(path_);
  ASSERT_TRUE(file.SaveGroup("C", "c00", true, true).ok());
  auto title = [&](const std::string& id) {
    for (const GroupEntry& group : file.Groups()) {
      if (group.id == id) return group.title;
    }
    return std::string("(none)");
  };
  auto numbered = [](char letter, int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%c%02d", letter, n);
    return std::string(text);
  };
  int go[2], done[2];
  ASSERT_EQ(::pipe(go), 0);
  ASSERT_EQ(::pipe(done), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(go[1]);  // so that the parent's close ends the loop
    char round = 0;
    while (::read(go[0], &round, 1) == 1) {
      const bool ok = file.SaveGroup("C", numbered('x', round), true, true).ok() &&
                      file.SaveGroup("C", numbered('c', round), true, true).ok();
      if (::write(done[1], ok ? "1" : "0", 1) != 1) break;
    }
    ::_exit(0);
  }
  for (char round = 1; round <= 20; ++round) {
    char ok = 0;
    ASSERT_EQ(::write(go[1], &round, 1), 1);
    ASSERT_EQ(::read(done[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    EXPECT_EQ(title("C"), numbered('c', round));
    ASSERT_TRUE(file.SaveGroup("P", numbered('p', round), true, true).ok());
    EXPECT_EQ(title("P"), numbered('p', round));
  }
  ::close(go[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(ReportsFileTest, KilledSaveLeavesAFileThatLoads) {
  ReportsFile file(path_);
  ASSERT_TRUE(file.Create().ok());
  for (int round = 0; round < 5; ++round) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Saves as fast as it can until killed; big descriptions make each
      // write take long enough to be cut.
      ReportSave report = Report("", "x");
      report.description.assign(200000, 'd');
      for (;;) {
        std::string error;
        file.SaveReport(report, &error);
      }
    }
    ::usleep(20000 + round * 15000);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    LoadedReports loaded = file.Read();
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    // The lock died with the process: this process can save at once.
    std::string error;
    EXPECT_TRUE(file.SaveReport(Report("AFTER" + std::to_string(round), "x"), &error)) << error;
  }
  // What the killed saves left: a temporary file older than any save goes
  // at the next change, a young one (a save may be writing it) stays.
  const fs::path old_temp = folder_ / ".reports.xml.AbC123";
  const fs::path young_temp = folder_ / ".reports.xml.XyZ789";
  std::ofstream(old_temp) << "left";
  std::ofstream(young_temp) << "writing";
  fs::last_write_time(old_temp, fs::file_time_type::clock::now() - std::chrono::minutes(11));
  std::string error;
  EXPECT_TRUE(file.SaveReport(Report("LAST", "x"), &error)) << error;
  EXPECT_FALSE(fs::exists(old_temp));
  EXPECT_TRUE(fs::exists(young_temp));
}

TEST_F(ReportsFileTest, ImportTakesKnownValuesAndSkipsExistingIds) {
  ReportsFile file(path_);
  std::string error;
  ASSERT_TRUE(file.SaveGroup("HR", "People", true, true).ok());
  ASSERT_TRUE(file.SaveReport(Report("R1", "Mine"), &error)) << error;
  UploadedReports upload = ReadUploadedReports(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><quillon version=\"2\"><groups>"
      "<group id=\"\" title=\"General Reports\"/><group id=\"hr\" title=\"Theirs\"/>"
      "<group id=\"FIN\" title=\"Finance\" onclick=\"x\"/><script/></groups><reports>"
      "<report args=\"QQ==\" id=\"R1\" group=\"HR\" title=\"Theirs\">t</report>"
      "<report args=\"QQ==\" id=\"r2\" group=\"fin\" title=\"Budget\" query=\"U0VMRUNU\" "
      "evil=\"x\">b<b>old</b></report></reports></quillon>");
  ASSERT_TRUE(upload.ok()) << upload.error;
  ImportResult result = file.Import(upload);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.added_groups, std::vector<std::string>{"FIN"});
  EXPECT_EQ(result.skipped_groups, (std::vector<std::string>{"", "HR"}));
  EXPECT_EQ(result.added_reports, std::vector<std::string>{"R2"});
  EXPECT_EQ(result.skipped_reports, std::vector<std::string>{"R1"});
  EXPECT_EQ(file.GetReportArgs("R2"), "QQ==");
  EXPECT_EQ(file.Groups()[1].title, "People");
  // Each element built again from its known values: no stored statement,
  // no other attribute or element.
  EXPECT_HAS(Text(), "<group id=\"FIN\" title=\"Finance\"/>");
  EXPECT_HAS(Text(),
             "<report args=\"QQ==\" id=\"R2\" group=\"FIN\" title=\"Budget\" "
             "added=\"\" modified=\"\" query=\"\" ip=\"\" createdby=\"\">bold</report>");
  for (const char* gone : {"evil", "onclick", "script", "U0VMRUNU"}) {
    EXPECT_LACKS(Text(), gone) << gone;
  }

  // Uploads that are not plain data are refused whole.
  const std::string reports = "<quillon version=\"2\"><groups/><reports>";
  const std::string closing = "</reports></quillon>";
  const std::pair<std::string, std::string> refused[] = {
      {"<!DOCTYPE quillon [<!ENTITY e \"x\">]>" + reports +
           "<report args=\"QQ==\" id=\"E\" title=\"t &e; t\"/>" + closing,
       "A reports file holds no document type declaration (<!DOCTYPE>)"},
      {std::string("\xFF\xFE<\0q\0", 6), "The upload is not UTF-8 text"},
      {"<?xml version='1.0' encoding='UTF-7'?>" + reports + closing,
       "The upload's encoding must be UTF-8 or ISO-8859-1"},
      {reports + "<report args=\"QQ==\" id=\"BIG\" title=\"" + std::string(1025, 't') + "\"/>" +
           closing,
       "The report \"BIG\" has a title longer than 1024 bytes"},
      {reports + "<report id=\"D\">" + std::string(16385, 'd') + "</report>" + closing,
       "The report \"D\" has a description longer than 16384 bytes"},
      {"<quillon version=\"1\"><groups/><reports/></quillon>",
       "The uploaded reports file is not of version 2"},
      {std::string(kMaxUploadBytes + 1, ' '), "The upload is larger than 4096 KB"},
  };
  for (const auto& [text, why] : refused) EXPECT_EQ(ReadUploadedReports(text).error, why);
  EXPECT_TRUE(ReadUploadedReports("not xml").error.find("not a reports file") != std::string::npos);
  EXPECT_EQ(CountReports(), 2u);
}

}  // namespace
}  // namespace fennick::designer
