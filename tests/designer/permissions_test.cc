// Permission switches, the server-side action check and action tokens.
#include "designer/permissions.h"

#include <gtest/gtest.h>

#include "designer/action_token.h"
#include "platform/crypto/seal.h"

namespace fennick::designer {
namespace {

TEST(PermissionsTest, GroupSwitchesSetTheirMembers) {
  Permissions p;
  p.SetAdmin(false);
  EXPECT_FALSE(p.add_report || p.edit_report || p.delete_report || p.edit_report_id ||
               p.filter || p.view_tables || p.add_group || p.edit_group || p.delete_group ||
               p.edit_group_id);
  EXPECT_TRUE(p.change_report_group);  // IsAdmin leaves it alone
  p.SetAdd(true);
  EXPECT_TRUE(p.add_report && p.add_group);
  EXPECT_FALSE(p.edit_report);
  p.SetEdit(true);
  EXPECT_TRUE(p.edit_report && p.edit_report_id && p.edit_group && p.edit_group_id);
  p.SetDelete(true);
  EXPECT_TRUE(p.delete_report && p.delete_group);
}

TEST(PermissionsTest, EachActionNeedsItsSwitch) {
  Permissions none;
  none.SetAdmin(false);
  for (const char* action : {"d", "d2", "c", "b"}) {
    EXPECT_FALSE(ActionAllowed(none, action, false)) << action;
    EXPECT_TRUE(ActionChangesFile(action)) << action;
  }
  EXPECT_FALSE(ActionAllowed(none, "g", false));
  EXPECT_FALSE(ActionAllowed(none, "g", true));
  // Viewing pages are not refused here.
  for (const char* action : {"n", "p", "i", "zz"}) {
    EXPECT_TRUE(ActionAllowed(none, action, false)) << action;
    EXPECT_FALSE(ActionChangesFile(action)) << action;
  }

  Permissions p;
  p.SetAdmin(false);
  p.delete_report = true;
  EXPECT_TRUE(ActionAllowed(p, "d", false));
  EXPECT_FALSE(ActionAllowed(p, "d2", false));
  p.add_group = true;
  EXPECT_TRUE(ActionAllowed(p, "g", false));
  EXPECT_FALSE(ActionAllowed(p, "g", true));  // renaming is editing
  EXPECT_FALSE(ActionAllowed(p, "b", false));  // import needs both adds
  p.add_report = true;
  EXPECT_TRUE(ActionAllowed(p, "b", false));
  EXPECT_TRUE(ActionAllowed(p, "c", false));
  p.add_report = false;
  p.edit_report = true;
  EXPECT_TRUE(ActionAllowed(p, "c", false));
}

TEST(ActionTokenTest, BoundToSessionAndAction) {
  InstallSealer(Sealer::KeyFromSecret("designer tokens"));
  const std::string token = MakeActionToken("S1", "d");
  EXPECT_TRUE(CheckActionToken(token, "S1", "d"));
  EXPECT_FALSE(CheckActionToken(token, "S2", "d"));   // another session
  EXPECT_FALSE(CheckActionToken(token, "S1", "d2"));  // another action
  EXPECT_FALSE(CheckActionToken("", "S1", "d"));
  EXPECT_FALSE(CheckActionToken(token, "", "d"));
  std::string tampered = token;
  tampered[tampered.size() / 2] = tampered[tampered.size() / 2] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(CheckActionToken(tampered, "S1", "d"));
  // A token sealed for another purpose does not open as an action token.
  EXPECT_FALSE(CheckActionToken(SealParts(SealPurpose::kFieldDownload, {"S1", "d"}), "S1", "d"));
  // Another server secret: refused.
  InstallSealer(Sealer::KeyFromSecret("another server"));
  EXPECT_FALSE(CheckActionToken(token, "S1", "d"));
}

}  // namespace
}  // namespace fennick::designer
