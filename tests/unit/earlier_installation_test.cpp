#include "installer/earlier_installation.h"

#include <gtest/gtest.h>

#include <string>

namespace halvard {
namespace {

TEST(EarlierInstallation, QuestionAndKindFollowTheVersions) {
  struct Case {
    const char* installed;
    const char* package;
    bool compare;
    int message;
    InstallKind kind;
  };
  const Case cases[] = {
      {"2.1", "2.1", true, 4, InstallKind::same_version},
      {"2.0", "2.1", true, 5, InstallKind::upgrade},
      {"2.1", "2.0", true, 6, InstallKind::downgrade},
      {"2.1", "2.1a", true, 5, InstallKind::upgrade},     // no letter is the lowest
      {"2.1.0", "2.1", true, 6, InstallKind::downgrade},  // more numbers are higher
      {".9", "0.10", true, 5, InstallKind::upgrade},      // a leading "." stands for 0
      {"99999999999999999999", "4294967296", true, 6, InstallKind::downgrade},
      {"2.0", "2.1", false, 3, InstallKind::plain},  // versions not compared
      {"", "2.1", true, 3, InstallKind::plain},
      {"2.0", "", true, 3, InstallKind::plain},
      {"beta", "rc", true, 5, InstallKind::upgrade},  // letters only: the last one decides
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " / " + c.package);
    EarlierQuestion question = earlier_installation_question(c.installed, c.package, c.compare);
    EXPECT_EQ(question.message, c.message);
    EXPECT_EQ(question.kind, c.kind);
  }
  EXPECT_EQ(earlier_installation_text("Older:", "C:\\App", "Over it?"), "Older:\r\nC:\\App\r\n\r\nOver it?");
}

TEST(EarlierInstallation, MustUninstallAndMinimumVersionRules) {
  EXPECT_TRUE(must_uninstall_first("3.0", ""));  // no version named: always
  EXPECT_TRUE(must_uninstall_first("1.9", "2.0"));
  EXPECT_FALSE(must_uninstall_first("2.0", "2.0"));
  EXPECT_FALSE(must_uninstall_first("2.0.1", "2.0"));
  EXPECT_TRUE(must_uninstall_first("", "2.0"));

  EXPECT_TRUE(below_minimum_upgrade_version("1.0", ""));
  EXPECT_TRUE(below_minimum_upgrade_version("1.4", "1.5"));
  EXPECT_FALSE(below_minimum_upgrade_version("1.5", "1.5"));
  EXPECT_FALSE(below_minimum_upgrade_version("1.5a", "1.5"));
}

}  // namespace
}  // namespace halvard
