// Delivery end to end: schedules over a real reports file and SQLite
// database, mailed to the SMTP test server (scripts/services/smtp-start.sh)
// and read back with Python's own mail and CSV parsers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "delivery/schedules_file.h"
#include "designer/report_definition.h"
#include "designer/reports_file.h"
#include "fennick/data.h"
#include "fennick/delivery.h"
#include "support/fold-designer_site.h"
#include "support/fold-designer_text.h"
#include "support/fold-designer_files.h"

namespace fennick::delivery {
namespace {

namespace fs = std::filesystem;
using test_support::SaveReport;

// Prints a stored message as "key=value" lines: its decoded subject, the
// envelope's recipients, the HTML body's text, the attachment's name and
// each CSV record of it as fields joined by "|".
constexpr char kReadMail[] = R"PY(
import csv, email, io, re, subprocess, sys, tempfile, zipfile
from email import policy
m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=policy.default)
print('subject=' + str(m['subject']))
print('rcpt=' + str(m['X-RcptTo']))
print('from=' + str(m['From']))
for part in m.walk():
    if part.get_content_type() == 'text/html':
        print('html=' + part.get_content().replace('\n', ' '))
    elif part.get_filename():
        name, data = part.get_filename(), part.get_payload(decode=True)
        print('file=' + name)
        if name.endswith('.xlsx'):
            sheet = zipfile.ZipFile(io.BytesIO(data)).read('xl/worksheets/sheet1.xml').decode()
            for row in re.findall(r'<row[^>]*>(.*?)</row>', sheet):
                print('row=' + '|'.join(re.findall(r'<(?:t|v)[^>]*>([^<]*)</(?:t|v)>', row)))
        elif name.endswith('.pdf'):
            with tempfile.NamedTemporaryFile(suffix='.pdf') as f:
                f.write(data)
                f.flush()
                text = subprocess.run(['pdftotext', '-layout', f.name, '-'], capture_output=True,
                                      text=True).stdout
            print('pdf=' + ' '.join(text.split()))
        else:
            for row in csv.reader(io.StringIO(data.decode('utf-8-sig'))):
                print('row=' + '|'.join(row))
)PY";

std::map<std::string, std::string> ServiceEnv() {
  std::map<std::string, std::string> env;
  std::ifstream in(std::string(FENNICK_SOURCE_DIR) + "/.services/smtp.env");
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return env;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

class DeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = ServiceEnv();
    ASSERT_FALSE(env_["FENNICK_SMTP_TEST_PORT"].empty())
        << "No SMTP test server: run scripts/services/smtp-start.sh";
    root_ = test_support::FreshTestFolder("fennick_delivery_");
    fs::create_directories(root_ / "data");
    setenv("FENNICK_SMTP_URL", ("smtp://127.0.0.1:" + env_["FENNICK_SMTP_TEST_PORT"]).c_str(), 1);
    setenv("FENNICK_SMTP_TLS", "none", 1);
    setenv("FENNICK_SMTP_FROM", "reports@example.com", 1);
    Connection db;
    db.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + Database());
    db.Execute("CREATE TABLE Orders (OrderId INTEGER, Customer VARCHAR(40), OwnerId INTEGER)");
    db.Execute(
        "INSERT INTO Orders VALUES (1, 'Alpha', 1), (2, 'O''Brien', 1), "
        "(3, 'Hidden Corp', 2), (4, 'Beta, \"Inc\"', 1), (5, '=1+1', 1)");
    db.Close();
    designer::ReportsFile reports(root_ / "data" / "reports.xml");
    ASSERT_TRUE(reports.Create().ok());
    SaveReport(reports, "R-ORDERS",
               ";tables:Orders;fields:OrderId, Customer;schema:,Customer~cCustomer~f~t200~;"
               "rtitle:Orders list;pagesize:10;");
    SaveReport(reports, "R-PARAM",
               ";tables:Orders;fields:OrderId, Customer;filters:Customer__2__?Name;"
               "schema:,Customer~cCustomer~f~t200~;rtitle:One customer;pagesize:10;");
    options_.site_root = root_;
    options_.log = [this](const std::string& line) { log_ += line + "\n"; };
    options_.retry_seconds = 1;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Database() const { return (root_ / "data" / "shop.db").string(); }

  // A schedule due now (its slot was yesterday), to a recipient no other
  // test run uses.
  Schedule Due(const std::string& report, const std::string& tag) {
    Schedule s;
    s.report_id = report;
    s.recipients = {Recipient(tag)};
    s.timing = *ParseTiming("daily 00:00", "UTC");
    s.subject = "Report " + tag;
    s.context.connection_string = "Provider=SQLite;Data Source=" + Database();
    return s;
  }
  std::string Recipient(const std::string& tag) const {
    return tag + "." + std::to_string(::getpid()) + "." +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000) +
           "@example.com";
  }
  std::string Save(const Schedule& s) {
    std::string error;
    std::optional<std::string> id =
        SchedulesFile(root_ / "data" / "reports.xml").Save(s, std::time(nullptr) - 2 * 86400,
                                                           &error);
    EXPECT_TRUE(id) << error;
    return id.value_or("");
  }
  Schedule Stored(const std::string& id) {
    for (Schedule& s : SchedulesFile(root_ / "data" / "reports.xml").Read().schedules) {
      if (s.id == id) return s;
    }
    ADD_FAILURE() << "no schedule " << id;
    return {};
  }

  // The messages the server stored for `recipient`, parsed.
  std::vector<std::string> Mails(const std::string& recipient) {
    std::vector<std::string> found;
    const fs::path box = fs::path(env_["FENNICK_SMTP_TEST_MAILDIR"]) / "new";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(box, ec)) {
      if (test_support::ReadText(entry.path()).find(recipient) == std::string::npos) continue;
      std::ofstream(root_ / "read.py") << kReadMail;
      found.push_back(
          RunCommand("/usr/bin/python3 " + (root_ / "read.py").string() + " " + entry.path().string()));
    }
    return found;
  }

  std::map<std::string, std::string> env_;
  fs::path root_;
  DeliveryOptions options_;
  std::string log_;
};

TEST_F(DeliveryTest, DueReportArrivesWithSubjectBodyAndCsvThatParses) {
  Schedule s = Due("R-ORDERS", "orders");
  s.recipients.push_back(Recipient("second"));
  s.subject = "Commandes de la semaine — été";
  s.message = "Hello team,\nthe <weekly> list.";
  // The hidden filter reads the creator's recorded session value.
  s.context.hidden_sql_filter = "OwnerId='@USERID'";
  s.session_values = {{"USERID", "1"}};
  const std::string id = Save(s);

  DeliveryTotals totals = RunDueDeliveries(options_);
  EXPECT_EQ(totals.sent, 1) << log_;
  std::vector<std::string> mails = Mails(s.recipients[0]);
  ASSERT_EQ(mails.size(), 1u) << log_;
  const std::string& mail = mails[0];
  EXPECT_HAS_ALL(mail,
                 {"subject=Commandes de la semaine — été\n",
                  "rcpt=" + s.recipients[0] + ", " + s.recipients[1] + "\n",
                  "from=reports@example.com\n", "<h2>Orders list</h2>",
                  "Hello team,<br>the &lt;weekly&gt; list.", "4 rows.", "file=Orders_list.csv\n"});
  // The hidden filter held: owner 2's order is not there. Quotes, commas
  // and a formula-like value survive the CSV round trip.
  EXPECT_LACKS(mail, "Hidden Corp");
  EXPECT_HAS_ALL(mail, {"row=2|O'Brien\n", "row=4|Beta, \"Inc\"\n", "row=5|'=1+1\n"});

  const Schedule after = Stored(id);
  EXPECT_EQ(after.state.last_result, "Sent to 2 recipients, 4 rows.");
  EXPECT_GT(after.next_run, std::time(nullptr));
  // Sent once: a second pass finds nothing due.
  totals = RunDueDeliveries(options_);
  EXPECT_EQ(totals.sent, 0);
  EXPECT_EQ(Mails(s.recipients[0]).size(), 1u);
}

TEST_F(DeliveryTest, NoRowsFormatsDeletedReportsAndMailFailuresAreRecorded) {
  Schedule none = Due("R-PARAM", "none");
  none.parameters = {{"Name", "Nobody"}};
  none.only_with_rows = true;
  Schedule one = Due("R-PARAM", "one");
  one.parameters = {{"Name", "Alpha"}};
  Schedule missing_parameter = Due("R-PARAM", "noparam");
  Schedule gone = Due("R-GONE", "gone");
  Schedule pdf = Due("R-ORDERS", "pdf");
  pdf.format = "pdf";
  Schedule xlsx = Due("R-ORDERS", "xlsx");
  xlsx.format = "xlsx";
  const std::string none_id = Save(none), one_id = Save(one), param_id = Save(missing_parameter),
                    gone_id = Save(gone), pdf_id = Save(pdf), xlsx_id = Save(xlsx);

  const DeliveryTotals totals = RunDueDeliveries(options_);
  EXPECT_EQ(Stored(none_id).state.last_result, "No rows: nothing was sent.");
  EXPECT_TRUE(Mails(none.recipients[0]).empty());
  EXPECT_EQ(Stored(one_id).state.last_result, "Sent to 1 recipient, 1 row.");
  EXPECT_EQ(Stored(param_id).state.last_result,
            "Failed (attempt 1 of 4, retrying): Required parameter(s) missing: Name");
  EXPECT_EQ(Stored(gone_id).state.stopped, "The report R-GONE no longer exists.");
  // The workbook and the PDF open in their readers, rows and all.
  EXPECT_EQ(Stored(pdf_id).state.last_result, "Sent to 1 recipient, 5 rows.") << log_;
  EXPECT_EQ(Stored(xlsx_id).state.last_result, "Sent to 1 recipient, 5 rows.") << log_;
  const std::vector<std::string> pdf_mail = Mails(pdf.recipients[0]);
  const std::vector<std::string> xlsx_mail = Mails(xlsx.recipients[0]);
  ASSERT_EQ(pdf_mail.size(), 1u);
  ASSERT_EQ(xlsx_mail.size(), 1u);
  EXPECT_HAS_ALL(pdf_mail[0], {"file=Orders_list.pdf\n", "O'Brien", "Page 1"});
  EXPECT_HAS_ALL(xlsx_mail[0], {"file=Orders_list.xlsx\n", "|O'Brien", "|=1+1"});
  EXPECT_EQ(totals.skipped, 1);
  EXPECT_EQ(totals.stopped, 1);
  EXPECT_EQ(totals.sent, 3) << log_;
  EXPECT_EQ(totals.retried, 1) << log_;

  // A mail server that does not answer: the run waits and is tried again.
  Schedule refused = Due("R-ORDERS", "refused");
  const std::string refused_id = Save(refused);
  setenv("FENNICK_SMTP_URL", "smtp://127.0.0.1:1", 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // the back-offs above
  RunDueDeliveries(options_);
  const Schedule after = Stored(refused_id);
  EXPECT_EQ(after.state.attempts, 1);
  EXPECT_EQ(after.state.last_result.rfind("Failed (attempt 1 of 4, retrying): ", 0), 0u)
      << after.state.last_result;
  EXPECT_GT(DeliveryCounters().retried, 0);

  // A login the mail server refuses: the password is in no log line, no
  // recorded result and nowhere in the schedules file.
  const std::string secret = "pw-" + std::to_string(::getpid()) + "-Zq";
  setenv("FENNICK_SMTP_URL", ("smtp://127.0.0.1:" + env_["FENNICK_SMTP_TEST_PORT"]).c_str(), 1);
  setenv("FENNICK_SMTP_USER", "reports", 1);
  setenv("FENNICK_SMTP_PASSWORD", secret.c_str(), 1);
  const std::string login_id = Save(Due("R-ORDERS", "login"));
  RunDueDeliveries(options_);
  unsetenv("FENNICK_SMTP_USER");
  unsetenv("FENNICK_SMTP_PASSWORD");
  EXPECT_LACKS(log_, secret);
  EXPECT_LACKS(Stored(login_id).state.last_result, secret);
  const std::string text = test_support::ReadText(root_ / "data" / "reports.xml.schedules.xml");
  EXPECT_FALSE(text.empty());
  EXPECT_LACKS(text, secret);

  // Settings never come from a schedule: without a sender nothing runs.
  unsetenv("FENNICK_SMTP_FROM");
  std::string error;
  RunDueDeliveries(options_, &error);
  EXPECT_EQ(error, "The sender's address is missing or malformed (FENNICK_SMTP_FROM).");
}

TEST_F(DeliveryTest, TwoRunnersAtOnceSendEachRunOnce) {
  std::vector<std::string> recipients;
  for (int i = 0; i < 10; ++i) {
    Schedule s = Due("R-ORDERS", "twice" + std::to_string(i));
    recipients.push_back(s.recipients[0]);
    Save(s);
  }
  const std::string command = std::string(FENNICK_BINARY) + " deliver --site " + root_.string() +
                              " --runner ";
  pid_t runners[2];
  for (int r = 0; r < 2; ++r) {
    runners[r] = fork();
    if (runners[r] == 0) {
      execl("/bin/sh", "sh", "-c", (command + "r" + std::to_string(r) + " >/dev/null 2>&1").c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  for (pid_t pid : runners) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const std::string& to : recipients) EXPECT_EQ(Mails(to).size(), 1u) << to;
}

TEST_F(DeliveryTest, ServerDeliversOnItsThreadCountsAndStopsOnSigterm) {
  Schedule s = Due("R-ORDERS", "served");
  Save(s);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t server = fork();
  if (server == 0) {
    dup2(out[1], 1);
    close(out[0]);
    execl(FENNICK_BINARY, FENNICK_BINARY, "serve", "--site", root_.c_str(), "--port", "0",
          "--metrics", "127.0.0.1:0", "--deliver", "--quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* lines = fdopen(out[0], "r");
  std::string metrics_url;
  char line[512];
  while (metrics_url.empty() && fgets(line, sizeof line, lines)) {
    const std::string text = line;
    if (text.rfind("Metrics on ", 0) == 0) metrics_url = text.substr(11, text.size() - 12);
  }
  ASSERT_FALSE(metrics_url.empty());
  std::string metrics;
  for (int i = 0; i < 100 && Mails(s.recipients[0]).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(Mails(s.recipients[0]).size(), 1u);
  metrics = RunCommand("curl -s " + metrics_url);
  EXPECT_HAS(metrics, "fennick_delivery_sent_total 1\n");
  EXPECT_HAS(metrics, "fennick_delivery_failed_total 0\n");
  kill(server, SIGTERM);
  int status = 0;
  waitpid(server, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  fclose(lines);
}

}  // namespace
}  // namespace fennick::delivery
