// The objects of script pages: component objects driven through their
// member tables, the intrinsic objects, and how a page ends.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "frame/dispatch.h"
#include "frame/host.h"
#include "page_harness.h"

namespace fennick {
namespace {

using testing::PageHarness;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A component class for the tests: properties of each declared type, a
// write-only and a read-only one, methods, a traced failure, and a default
// member.
struct Probe {
  int16_t count = 0;
  std::string title = "untitled";
  bool flag = false;
  int32_t total = 0;
  std::string secret;

  static const MemberTable<Probe>& Members() {
    static const MemberTable<Probe> table = [] {
      MemberTable<Probe> t;
      t.Property(
          "Count", [](Probe& p) { return Variant(p.count); },
          [](Probe& p, const Variant& v) { p.count = static_cast<int16_t>(v.AsInt64()); },
          ArgType::kInteger);
      t.Property(
          "Title", [](Probe& p) { return Variant(p.title); },
          [](Probe& p, const Variant& v) { p.title = v.AsString(); }, ArgType::kString);
      t.Property(
          "Flag", [](Probe& p) { return Variant(p.flag); },
          [](Probe& p, const Variant& v) { p.flag = v.AsBool(); }, ArgType::kBoolean);
      t.Property(
          "Total", [](Probe& p) { return Variant(p.total); },
          [](Probe& p, const Variant& v) { p.total = static_cast<int32_t>(v.AsInt64()); },
          ArgType::kLong);
      t.Property("Secret", nullptr,
                 [](Probe& p, const Variant& v) { p.secret = v.AsString(); }, ArgType::kString);
      t.Property("Version", [](Probe&) { return Variant("1.0"); });
      t.Function("Add", {ArgType::kInteger, ArgType::kLong}, 1,
                 [](Probe&, std::span<const Variant> a) {
                   return Variant(static_cast<int32_t>(a[0].AsInt64() + a[1].AsInt64()));
                 });
      t.Function("Describe", {}, 0, [](Probe& p, std::span<const Variant>) {
        return Variant(p.title + "/" + std::to_string(p.count) + "/" + (p.flag ? "on" : "off") +
                       "/" + std::to_string(p.total) + "/" + p.secret);
      });
      // The VarType and text of whatever arrives.
      t.Function("Stamp", {ArgType::kVariant}, 1, [](Probe&, std::span<const Variant> a) {
        return Variant(std::to_string(static_cast<int>(a[0].type())) + ":" +
                       (a[0].IsObject() ? std::string(a[0].AsObject()->ProgId())
                                        : a[0].AsString()));
      });
      t.Function("Today", {}, 0, [](Probe&, std::span<const Variant>) {
        return Variant::Date(MakeOleDate(DateParts{2004, 3, 5, 14, 7, 9, 0}));
      });
      t.Function("Bytes", {}, 0, [](Probe&, std::span<const Variant>) {
        return Variant::Binary(std::string("\x01\x02\xff", 3));
      });
      t.Function("Nothing", {}, 0, [](Probe&, std::span<const Variant>) { return Variant::Null(); });
      t.Function("Fail", {}, 0, [](Probe&, std::span<const Variant>) -> Variant {
        double step = 2;
        return RunTraced("Display", step, []() -> Variant {
          double inner = 4.1;
          return RunTraced("Bind", inner, []() -> Variant {
            throw Error(kErrInvalidCall, "Invalid procedure call", "Fennick.Probe");
          });
        });
      });
      t.Function("Finish", {}, 0, [](Probe&, std::span<const Variant>) -> Variant {
        WriteToPage("finished");
        RequirePage("Probe").response().End();
      });
      t.Function("Item", {ArgType::kString}, 1, [](Probe&, std::span<const Variant> a) {
        return Variant("item:" + a[0].AsString());
      });
      return t;
    }();
    return table;
  }
};

class ProbeObject : public DispatchObject<Probe> {
 public:
  ProbeObject() : DispatchObject<Probe>("Fennick.Probe", Probe{}) {}
  std::string_view DefaultMember() const override { return "Item"; }
};

class PageObjectsTest : public ::testing::Test {
 protected:
  PageObjectsTest() {
    h.SetFactory([this](std::string_view progid) -> std::shared_ptr<Object> {
      if (progid == "Fennick.Probe") {
        auto probe = std::make_shared<ProbeObject>();
        created.push_back(probe);
        return probe;
      }
      return CreateComponentObject(progid);
    });
  }

  // Runs a page made of `code` in one block, after creating a probe `p`.
  testing::PageResult RunCode(const std::string& code) {
    h.Write("t.asp", "<% var p = Server.CreateObject(\"Fennick.Probe\");\n" + code + "\n%>");
    return h.Get("/t.asp");
  }

  PageHarness h;
  std::vector<std::weak_ptr<Object>> created;
};

TEST_F(PageObjectsTest, PropertiesAndMethodsThroughTheMemberTable) {
  auto r = RunCode(
      "p.Count = '12'; p.title = 42; p.FLAG = 'True'; p.Total = 70000.4; p.Secret = 's';\n"
      "Response.Write([p.count, p.Title, p.Flag, p.total, p.Version].join('|') + '\\n');\n"
      "Response.Write(p.Describe() + '\\n');\n"
      "p.Count = 2.5; Response.Write(p.Count + ' ' + p.Add(40, 2) + ' ' + p.add(1) + '\\n');\n"
      "var describe = p.Describe; Response.Write(typeof describe + ' ' + describe() + '\\n');\n"
      "Response.Write(('Count' in p) + ' ' + ('Nope' in p) + ' ' + p('x') + ' ' + String(p) + '\\n');\n"
      "var sb = Server.CreateObject('fennick.stringbuffer'); sb.Append('a'); sb.append('b');\n"
      "Response.Write(sb.ToString() + ' ' + typeof sb + '\\n');");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body,
            "12|42|true|70000|1.0\n"
            "42/12/on/70000/s\n"
            "2 42 1\n"
            "function 42/2/on/70000/s\n"
            "true false item:x [object Fennick.Probe]\n"
            "ab object\n");
}

TEST_F(PageObjectsTest, ValuesConvertBothWays) {
  auto r = RunCode(
      "var out = [p.Stamp(undefined), p.Stamp(null), p.Stamp(true), p.Stamp(7), p.Stamp(-0),\n"
      "  p.Stamp(1.5), p.Stamp('s'), p.Stamp(new String('w')), p.Stamp(new Date(2004, 2, 5, 14, 7, 9)),\n"
      "  p.Stamp(new Uint8Array([104, 105])), p.Stamp(p), p.Stamp(Server.CreateObject('Fennick.Probe'))];\n"
      "Response.Write(out.join('|') + '\\n');\n"
      "var d = p.Today();\n"
      "Response.Write([d instanceof Date, d.getFullYear(), d.getMonth() + 1, d.getDate(),\n"
      "  d.getHours(), d.getMinutes(), d.getSeconds()].join(' ') + '\\n');\n"
      "var b = p.Bytes(); Response.Write(b.length + ':' + b[2] + ' ' + (p.Nothing() === null));");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body,
            "0:|1:|11:True|3:7|5:0|5:1.5|8:s|8:w|7:3/5/2004 2:07:09 PM|8209:hi|"
            "9:Fennick.Probe|9:Fennick.Probe\n"
            "true 2004 3 5 14 7 9\n"
            "3:255 true");
}

TEST_F(PageObjectsTest, CallErrorsNameTheClassAndTheMember) {
  struct Case {
    const char* code;
    const char* number;
    const char* description;
  } cases[] = {
      {"p.Count = 40000;", "(6)", "Overflow in the value of 'Probe.Count'"},
      {"p.Add(1, 3e9);", "(6)", "Overflow in argument 2 of 'Probe.Add'"},
      {"p.Total = 'abc';", "(13)", "Type mismatch in the value of 'Probe.Total'"},
      {"var x = p.Nope;", "(438)",
       "Object doesn't support this property or method: 'Probe.Nope'"},
      {"p.Nope = 1;", "(438)",
       "Object doesn't support this property or method: 'Probe.Nope'"},
      {"var s = p.Secret;", "(451)", "Property 'Probe.Secret' is write-only"},
      {"p.Version = '2';", "(438)", "Property 'Probe.Version' is read-only"},
      {"p.Add();", "(450)",
       "Wrong number of arguments or invalid property assignment: 'Probe.Add'"},
      {"p.Add(1, 2, 3);", "(450)", "'Probe.Add'"},
      {"p.Stamp([1, 2]);", "(13)",
       "a JavaScript array cannot be passed as argument 1 of 'Probe.Stamp'"},
      {"p.Title = function () {};", "(13)",
       "a JavaScript function cannot be passed as the value of 'Probe.Title'"},
      {"Server.CreateObject('No.Such');", "(429)", "no class is registered as 'No.Such'"},
  };
  for (const Case& c : cases) {
    auto r = RunCode(std::string("Response.Write('before');\n\n") + c.code);
    EXPECT_EQ(r.status, 500) << c.code;
    EXPECT_EQ(r.body.find("before"), std::string::npos) << r.body;
    EXPECT_TRUE(Has(r.body, "in /t.asp, line 4<br>")) << c.code << "\n" << r.body;
    EXPECT_TRUE(Has(r.body, c.number)) << c.code << "\n" << r.body;
    EXPECT_TRUE(Has(r.body, c.description)) << c.code << "\n" << r.body;
  }
}

TEST_F(PageObjectsTest, ComponentErrorsCarryNumberDescriptionAndTrace) {
  auto r = RunCode("Response.Write('a');\np.Fail();");
  EXPECT_EQ(r.status, 500);
  EXPECT_TRUE(Has(r.body, "in /t.asp, line 3<br>Fennick error '00000005' (5)<br>"
                          "Invalid procedure call<br><i>Fennick.Probe<br> Bind Line: 4.1"
                          "<br> Display Line: 2</i>"))
      << r.body;

  // A script can catch them and read the parts.
  r = RunCode(
      "try { p.Fail(); } catch (e) {\n"
      "  Response.Write([e instanceof Error, e.number, e.description, e.source, e.message].join('|'));\n"
      "}");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "true|5|Invalid procedure call|Fennick.Probe<br> Bind Line: 4.1<br> Display "
                    "Line: 2|Invalid procedure call");
}

TEST_F(PageObjectsTest, ResponseEndDeepInACallStackEndsThePage) {
  auto r = RunCode(
      "Response.Write('start ');\n"
      "function deep(n) {\n"
      "  try { if (n == 0) Response.End(); else deep(n - 1); }\n"
      "  catch (e) { Response.Write('caught at ' + n); }\n"
      "  finally { Response.Write('finally at ' + n); }\n"
      "}\n"
      "try { deep(20); } catch (e) { Session.Set('after', 'ran'); }\n"
      "Response.Write('after the call');");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body, "start ");
  h.Write("check.asp", "[<%= Session('after') %>]");
  EXPECT_EQ(h.Get("/check.asp").body, "[]");

  // A component may end the page too.
  r = RunCode("Response.Write('x'); p.Finish(); Response.Write('never');");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "xfinished");
}

TEST_F(PageObjectsTest, RedirectStopsThePage) {
  auto r = RunCode(
      "Response.Write('before');\n"
      "try { Response.Redirect('/next.asp?a=1'); } catch (e) { Response.Write('caught'); }\n"
      "Response.Write('never');");
  EXPECT_EQ(r.status, 302);
  EXPECT_EQ(r.Header("Location"), "/next.asp?a=1");
  EXPECT_FALSE(Has(r.body, "never") || Has(r.body, "caught") || Has(r.body, "before"));
}

TEST_F(PageObjectsTest, SessionAndApplicationValues) {
  h.Write("set.asp",
          "<% Session.Set('UserName', 'ann'); Session.Contents.visits = 3;\n"
          "   Session.Contents['Started'] = new Date(2020, 0, 2, 3, 4, 5);\n"
          "   Session.Set('gone', 1); delete Session.Contents.gone;\n"
          "   Application.Lock(); Application.Set('hits', (Application('hits') || 0) + 1);\n"
          "   Application.Unlock(); %>set");
  h.Write("get.asp",
          "<%= Session('username') %>|<%= Session.Contents.VISITS + 1 %>|"
          "<%= Session.Item('started').getHours() %>|<%= typeof Session('gone') %>|"
          "<%= 'visits' in Session.Contents %>|<%= Application.Contents.Hits %>|"
          "<%= Session.SessionID %>");
  EXPECT_EQ(h.Get("/set.asp").body, "set");
  EXPECT_EQ(h.Get("/get.asp").body, "ann|4|3|undefined|true|1|session-one");
  h.Write("other.asp", "[<%= Session('UserName') %>]");
  EXPECT_EQ(h.Get("/other.asp", "", "session-two").body, "[]");

  // Component objects do not outlive their page, so they cannot be kept.
  h.Write("keep.asp", "<% Session.Set('grid', Server.CreateObject('Fennick.StringBuffer')); %>");
  auto r = h.Get("/keep.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_TRUE(Has(r.body, "component objects cannot be kept in Session")) << r.body;

  // A page that forgets to unlock Application does not keep it locked.
  h.Write("lock.asp", "<% Application.Lock(); Application.Lock(); %>locked");
  EXPECT_EQ(h.Get("/lock.asp").body, "locked");
  auto other = std::async(std::launch::async, [this] {
    h.application().Lock();
    h.application().Unlock();
  });
  EXPECT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST_F(PageObjectsTest, RequestFieldsAndTheirIteration) {
  h.Write("req.asp",
          "<%= Request.QueryString('a') %>|<%= Request.Form('color') %>|<%= Request('a') %>|"
          "<%= Request('b') %>|<%= Request.Form.Count %>|<%= Request.Form.Key(2) %>|"
          "<%= Request.Form(2) %>|<%= Request.Form.Values('color').length %>|"
          "<%= Request.QueryString() %>|<%= Request.ServerVariables('URL') %>|"
          "<%= Request.QueryString('missing') === '' %>|<%= Request.TotalBytes %>\n"
          "<% for (var e = new Enumerator(Request.Form); !e.atEnd(); e.moveNext()) {\n"
          "     var k = e.item(); %><%= k %>=<%= Request.Form(k) %>;<% } %>\n"
          "<%= Request.QueryString.Keys().join(',') %>");
  auto r = h.Get("/req.asp?a=1&b=q%20b", "color=red&b=form&color=blue");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body,
            "1|red, blue|1|q b|2|b|form|2|a=1&b=q%20b|/req.asp|true|27\n"
            "color=red, blue;b=form;\n"
            "a,b");
}

TEST_F(PageObjectsTest, ServerUtilitiesFromAPage) {
  h.Write("reports/map.asp",
          "<%= Server.MapPath('data/x.db') %>|<%= Server.MapPath('/img/a.png') %>|"
          "<%= Server.URLEncode('a b&c') %>|<%= Server.HTMLEncode('<b>') %>");
  auto r = h.Get("/reports/map.asp");
  EXPECT_EQ(r.body, (h.root() / "reports/data/x.db").string() + "|" +
                        (h.root() / "img/a.png").string() + "|a+b%26c|&lt;b&gt;");

  h.Write("escape.asp", "<%= Server.MapPath('../../etc/passwd') %>");
  r = h.Get("/escape.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_TRUE(Has(r.body, "leaves the site folder")) << r.body;
}

TEST_F(PageObjectsTest, ResponsePropertiesReachTheResponse) {
  h.Write("resp.asp",
          "<% Response.ContentType = 'text/plain'; Response.Status = '404 Gone Fishing';\n"
          "   Response.AddHeader('X-Page', 'yes'); Response.Write('dropped'); Response.Clear();\n"
          "   Response.Expires = 0; %><%= Response.ContentType %>|<%= Response.Status %>|"
          "<%= Response.Buffer %>|<%= Response.Expires %>");
  auto r = h.Get("/resp.asp");
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.body, "text/plain|404 Gone Fishing|true|0");
  EXPECT_EQ(r.Header("X-Page"), "yes");
}

TEST_F(PageObjectsTest, NothingOfAPageOutlivesIt) {
  h.Write("one.asp",
          "<% var a = Server.CreateObject('Fennick.Probe'); a.Count = 5;\n"
          "   Object.prototype.kept = Server.CreateObject('Fennick.Probe');\n"
          "   leaked = 'secret'; Math = null; this.also = 1; %>one");
  h.Write("two.asp",
          "<%= typeof leaked %>|<%= typeof also %>|<%= Math.max(1, 2) %>|"
          "<%= typeof ({}).kept %>");
  EXPECT_EQ(h.Get("/one.asp").body, "one");
  ASSERT_EQ(created.size(), 2u);
  for (const auto& weak : created) EXPECT_TRUE(weak.expired());
  // The object hung on a built-in prototype went with the page, and so did
  // the property.
  EXPECT_EQ(h.Get("/two.asp").body, "undefined|undefined|2|undefined");
}

TEST_F(PageObjectsTest, GlobalsOfThePageCannotBeReplaced) {
  auto r = RunCode(
      "Response = null; Request = 1; Server.CreateObject = null;\n"
      "Response.Write.extra = 1; Request.Form.extra = 1; Fennick.Version = 'x';\n"
      "Response.Write(typeof Response.Write + ' ' + typeof Request + ' ' + "
      "typeof Server.CreateObject + ' ' + Response.Write.extra + ' ' + Request.Form.extra + ' ' +"
      " Fennick.Version + ' ' + typeof Duktape);");
  EXPECT_EQ(r.body, "function function function undefined undefined 2.0.643 undefined");
}

}  // namespace
}  // namespace fennick

namespace fennick {
namespace {

TEST(PageLimitsTest, APageOverItsMemoryCapFailsAndTheNextPageRuns) {
  ScriptPageOptions options;
  options.heap_memory_limit = size_t{16} << 20;
  testing::PageHarness h(options);
  h.Write("greedy.asp",
          "<% var s = 'x', kept = [];\n"
          "   while (true) { s = s + s; kept.push(s); } %>");
  h.Write("small.asp", "<%= new Array(1000).join('y').length %>");
  auto r = h.Get("/greedy.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("in /greedy.asp, line 2<br>Out of memory: the page used more than the "
                        "16 MiB a page may hold (its script and the objects it made)"),
            std::string::npos)
      << r.body;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(h.Get("/small.asp").body, "999");
}

}  // namespace
}  // namespace fennick
