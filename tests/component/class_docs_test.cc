// The reference pages of docs/ against the public classes.
//
// Every public class has a page docs/<Name>.md. A class that can be created
// dispatches through a member table; the rows of its page's member tables
// (header "Member | Kind | Type | ...") must list exactly the table's
// members, with the kind each one is (a method, or a property that can be
// read, written or both) and the declared types of the value or of the
// arguments. A class not in this build has a page that lists no member.
//
// Code blocks of the README and of docs/ that name a site page after their
// language ("```js site/examples/report.asp") must be lines of that page,
// so an example cannot drift from the page that runs it (the demo site
// test in tests/apps serves those pages).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fennick/error.h"
#include "fennick/page.h"
#include "fennick/registry.h"
#include "frame/dispatch.h"
#include "support/markdown.h"

namespace fennick {
namespace {

using test_support::CodeBlock;
using test_support::kSourceDir;
using test_support::ReadText;
using test_support::Table;

const char* TypeName(ArgType type) {
  switch (type) {
    case ArgType::kVariant: return "Variant";
    case ArgType::kBoolean: return "Boolean";
    case ArgType::kInteger: return "Integer";
    case ArgType::kLong: return "Long";
    case ArgType::kDouble: return "Double";
    case ArgType::kString: return "String";
  }
  return "?";
}

std::string KindOf(const MemberInfo& m) {
  if (m.method) return "method";
  if (m.get && m.put) return "property (read/write)";
  if (m.get) return "property (read-only)";
  return "property (write-only)";
}

// A documented argument list "(name: Type, [name: Type])", with the
// optional arguments in brackets.
struct Arguments {
  bool ok = false;
  std::vector<std::string> types;
  std::vector<bool> optional;
};

Arguments ParseArguments(const std::string& text) {
  Arguments args;
  const size_t open = text.find('(');
  const size_t close = text.rfind(')');
  if (open != 0 || close == std::string::npos) return args;
  std::string inner = text.substr(1, close - 1);
  args.ok = true;
  if (inner.find_first_not_of(' ') == std::string::npos) return args;
  size_t start = 0;
  while (start <= inner.size()) {
    size_t comma = inner.find(',', start);
    std::string item = inner.substr(start, comma == std::string::npos ? std::string::npos
                                                                       : comma - start);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    bool optional = item.size() >= 2 && item.front() == '[' && item.back() == ']';
    if (optional) item = item.substr(1, item.size() - 2);
    const size_t colon = item.find(':');
    if (colon == std::string::npos) {
      args.ok = false;
      return args;
    }
    std::string type = item.substr(colon + 1);
    type.erase(0, type.find_first_not_of(' '));
    args.types.push_back(type);
    args.optional.push_back(optional);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return args;
}

// The first word of a documented property type.
std::string FirstWord(const std::string& text) {
  return text.substr(0, text.find_first_of(" (,"));
}

// Compares the member rows of a page with a member listing, both ways.
// Returns one line per disagreement.
std::vector<std::string> ComparePage(const std::string& markdown,
                                     const std::vector<MemberInfo>& members) {
  std::vector<std::string> problems;
  std::map<std::string, const MemberInfo*> by_name;
  for (const MemberInfo& m : members) by_name[m.name] = &m;
  std::set<std::string> documented;

  for (const Table& table : test_support::Tables(markdown)) {
    if (table.header.empty() || table.header[0] != "Member") continue;
    auto column = [&](const char* name) {
      auto it = std::find(table.header.begin(), table.header.end(), name);
      return it == table.header.end() ? -1 : static_cast<int>(it - table.header.begin());
    };
    const int kind_at = column("Kind");
    const int type_at = column("Type");
    if (kind_at < 0 || type_at < 0) {
      problems.push_back("a member table without Kind and Type columns");
      continue;
    }
    for (const auto& row : table.rows) {
      if (row.size() != table.header.size()) {
        problems.push_back("a row with " + std::to_string(row.size()) + " cells: " +
                           (row.empty() ? "" : row[0]));
        continue;
      }
      const std::string& cell = row[0];
      if (cell.size() < 3 || cell.front() != '`' || cell.back() != '`') {
        problems.push_back("member not in backticks: " + cell);
        continue;
      }
      const std::string name = cell.substr(1, cell.size() - 2);
      if (!documented.insert(name).second) problems.push_back("documented twice: " + name);
      auto it = by_name.find(name);
      if (it == by_name.end()) {
        problems.push_back("documented but not a member (or spelt otherwise): " + name);
        continue;
      }
      const MemberInfo& m = *it->second;
      if (row[kind_at] != KindOf(m)) {
        problems.push_back(name + ": kind is '" + KindOf(m) + "', the page says '" +
                           row[kind_at] + "'");
      }
      const std::string& type = row[type_at];
      if (m.method) {
        Arguments args = ParseArguments(type);
        if (!args.ok) {
          problems.push_back(name + ": arguments not written as (name: Type, ...): " + type);
          continue;
        }
        bool same = args.types.size() == m.params.size();
        for (size_t i = 0; same && i < args.types.size(); ++i) {
          same = args.types[i] == TypeName(m.params[i]) && args.optional[i] == (i >= m.required);
        }
        if (!same) {
          std::string declared = "(";
          for (size_t i = 0; i < m.params.size(); ++i) {
            if (i) declared += ", ";
            declared += std::string(i >= m.required ? "[" : "") + TypeName(m.params[i]) +
                        (i >= m.required ? "]" : "");
          }
          problems.push_back(name + ": declared arguments are " + declared + "), the page says " +
                             type);
        }
      } else if (m.put) {
        const std::string word = FirstWord(type);
        const bool same = m.put_type == ArgType::kVariant
                              ? word == "Variant" || word == "Object"
                              : word == TypeName(m.put_type);
        if (!same) {
          problems.push_back(name + ": declared type is " + TypeName(m.put_type) +
                             ", the page says " + type);
        }
      }
    }
  }
  for (const MemberInfo& m : members) {
    if (!documented.count(m.name)) problems.push_back("not documented: " + m.name);
  }
  return problems;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// The member listing of a class, made under a page of its own (a grid
// reads the page's request when it is created). Empty when the class
// cannot be created in this build.
std::optional<std::vector<MemberInfo>> MembersOf(const ClassInfo& info) {
  if (!info.create) return std::nullopt;
  Application app;
  PageContext page(Request(), Session(MakeMemorySessionStore(), "s"), app,
                   Server("/site", "/p.asp", nullptr, "en_US"));
  PageBinding bound(page);
  std::shared_ptr<Object> object = info.create();
  auto* directory = dynamic_cast<MemberDirectory*>(object.get());
  if (!directory) return std::vector<MemberInfo>{};
  return directory->DescribeMembers();
}

TEST(ClassDocsTest, EachPublicClassHasAPageListingExactlyItsMembers) {
  ASSERT_FALSE(PublicClasses().empty());
  for (const ClassInfo& info : PublicClasses()) {
    SCOPED_TRACE(std::string(info.name));
    const auto path = kSourceDir / "docs" / (std::string(info.name) + ".md");
    if (!std::filesystem::exists(path)) {
      ADD_FAILURE() << "write docs/" << info.name << ".md";
      continue;
    }
    const std::string page = ReadText(path);
    EXPECT_EQ(page.rfind("# " + std::string(info.name) + "\n", 0), 0u)
        << "the page starts with its class name as title";
    EXPECT_NE(page.find(std::string(info.prog_id)), std::string::npos);

    auto members = MembersOf(info);
    if (!members) {
      // Not in this build: the page says so and lists nothing, and
      // creating the class fails as the page says.
      EXPECT_EQ(ComparePage(page, {}), std::vector<std::string>{});
      EXPECT_NE(page.find("429"), std::string::npos);
      try {
        CreateComponentObject(info.prog_id);
        ADD_FAILURE() << "the class can be created; give it a member table";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), kErrCannotCreate);
      }
      continue;
    }
    ASSERT_FALSE(members->empty()) << "a creatable class dispatches through a member table";
    EXPECT_EQ(Join(ComparePage(page, *members)), "");
  }
}

// The comparison itself finds each kind of disagreement.
TEST(ClassDocsTest, ComparisonFindsMissingExtraAndWrongMembers) {
  std::vector<MemberInfo> members(4);
  members[0].name = "PageSize";
  members[0].put = true;
  members[0].put_type = ArgType::kInteger;
  members[1].name = "Title";
  members[1].get = members[1].put = true;
  members[1].put_type = ArgType::kString;
  members[2].name = "ColumnCaption";
  members[2].method = true;
  members[2].params = {ArgType::kString, ArgType::kString};
  members[2].required = 2;
  members[3].name = "SetHeaderIconText";
  members[3].method = true;
  members[3].params = {ArgType::kVariant, ArgType::kVariant};
  members[3].required = 0;

  const std::string good =
      "# X\n\n| Member | Kind | Type | Default | Meaning |\n|---|---|---|---|---|\n"
      "| `PageSize` | property (write-only) | Integer | 10 | rows \\| page |\n"
      "| `Title` | property (read/write) | String | \"Quillon\" | title |\n\n"
      "| Member | Kind | Type | Meaning |\n|---|---|---|---|\n"
      "| `ColumnCaption` | method | (column: String, caption: String) | caption |\n"
      "| `SetHeaderIconText` | method | ([refresh: Variant], [asc: Variant]) | icons |\n"
      "\n```js\n| `Hidden` | method | () | inside code |\n```\n"
      "| Key | Default |\n|---|---|\n| `firsttext` | First |\n";
  EXPECT_EQ(ComparePage(good, members), std::vector<std::string>{});

  const std::string bad =
      "| Member | Kind | Type | Default | Meaning |\n|---|---|---|---|---|\n"
      "| `PageSize` | property (read/write) | Long | 10 | rows |\n"
      "| `Pagesize` | property (write-only) | Integer | 10 | rows |\n"
      "| `ColumnCaption` | method | (column: String, [caption: String]) | | caption |\n"
      "| `SetHeaderIconText` | method | (refresh: Variant) | | icons |\n"
      "| `Frobnicate` | method | () | | nothing |\n"
      "| `ColumnCaption` | method | (column: String, caption: String) | | again |\n"
      "| `Short` | method |\n";
  EXPECT_EQ(Join(ComparePage(bad, members)),
            "PageSize: kind is 'property (write-only)', the page says 'property (read/write)'\n"
            "PageSize: declared type is Integer, the page says Long\n"
            "documented but not a member (or spelt otherwise): Pagesize\n"
            "ColumnCaption: declared arguments are (String, String), the page says "
            "(column: String, [caption: String])\n"
            "SetHeaderIconText: declared arguments are ([Variant], [Variant]), the page says "
            "(refresh: Variant)\n"
            "documented but not a member (or spelt otherwise): Frobnicate\n"
            "documented twice: ColumnCaption\n"
            "a row with 2 cells: `Short`\n"
            "not documented: Title\n");
}

// Every Markdown file whose examples the tests keep honest.
std::vector<std::filesystem::path> DocumentFiles() {
  std::vector<std::filesystem::path> files = {kSourceDir / "README.md"};
  for (const auto& entry : std::filesystem::directory_iterator(kSourceDir / "docs")) {
    if (entry.path().extension() == ".md") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ClassDocsTest, ExamplesAreLinesOfTheSitePagesTheyName) {
  int named = 0;
  bool first_report_is_whole_page = false;
  for (const auto& file : DocumentFiles()) {
    const bool is_readme = file.filename() == "README.md";
    for (const CodeBlock& block : test_support::CodeBlocks(ReadText(file))) {
      SCOPED_TRACE(file.filename().string() + ":" + std::to_string(block.line));
      // The reference pages and the README's first report teach with
      // examples that run; every script example there names its page.
      const bool must_name = (!is_readme || block.section == "A first report") &&
                             (block.language == "js" || block.language == "asp");
      if (block.page.empty()) {
        EXPECT_FALSE(must_name) << "name the site page this example is taken from";
        continue;
      }
      ++named;
      ASSERT_EQ(block.page.rfind("site/", 0), 0u) << block.page;
      const auto page = kSourceDir / block.page;
      ASSERT_TRUE(std::filesystem::exists(page)) << block.page;
      const auto page_lines = test_support::Lines(ReadText(page));
      EXPECT_TRUE(test_support::ContainsLines(page_lines, block.lines))
          << "the example differs from " << block.page;
      if (is_readme && block.page == "site/examples/first-report.asp") {
        first_report_is_whole_page = block.lines == page_lines;
      }
    }
  }
  EXPECT_GT(named, 5);
  EXPECT_TRUE(first_report_is_whole_page)
      << "the README's first report is the whole of site/examples/first-report.asp";
}

}  // namespace
}  // namespace fennick
