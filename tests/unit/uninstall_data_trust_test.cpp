#include "records/uninstall_data_trust.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

TEST(UninstallDataTrust, OnlyFilesInsideTheProductsFoldersStay) {
  UninstallData data;
  const std::pair<const char*, bool> paths[] = {
      {"C:\\Program Files\\Demo\\demo.exe", true},
      {"c:\\program files\\demo\\Sub\\x.txt", true},  // case ignored
      {"C:\\Program Files\\Demo Data\\x.txt", true},  // the second folder
      {"C:\\Program Files\\Demo2\\x.txt", false},     // a neighbour that only starts alike
      {"C:\\Program Files\\Demo\\..\\Other\\x.txt", false},
      {"C:\\Program Files\\Demo\\.\\x.txt", false},
      {"C:\\Windows\\System32\\important.dll", false},
      {"C:\\sentinel.txt", false},
      {"\\\\server\\share\\x.txt", false},
  };
  for (const auto& [path, kept] : paths) data.removal.record(path, RemovalKind::File);
  data.removal.record("C:\\Program Files\\Demo", RemovalKind::Folder);
  data.removal.record("C:\\Program Files", RemovalKind::Folder);
  data.msi.push_back("\"C:\\x.msi\",2");
  data.inf.push_back("C:\\Windows\\inf\\oem1.inf");
  data.registry.push_back("\\HKLM\\Software\\X\\Y");
  data.registry_script = "\\HKLM\\Software\\Victim\r\n";
  data.firewall.push_back("80;Web;1;");
  data.associations.push_back({".txt", "txtfile", "open"});
  data.conditional_deletes.push_back({});
  data.texts[10] = "Removing";
  data.installing_text = "Installing";

  UninstallData kept =
      restricted_to_folders(data, {"C:\\Program Files\\Demo\\", "C:\\Program Files\\Demo Data", "C:\\"});
  std::vector<std::string> kept_paths;
  for (const RemovalEntry& entry : kept.removal.entries()) kept_paths.push_back(entry.path);
  std::vector<std::string> expected;
  for (const auto& [path, stays] : paths)
    if (stays) expected.push_back(path);
  expected.push_back("C:\\Program Files\\Demo");
  EXPECT_EQ(kept_paths, expected);
  EXPECT_TRUE(kept.msi.empty() && kept.inf.empty() && kept.registry.empty() && kept.registry_script.empty());
  EXPECT_TRUE(kept.firewall.empty() && kept.associations.empty() && kept.conditional_deletes.empty());
  EXPECT_EQ(kept.texts, data.texts);
  EXPECT_EQ(kept.installing_text, "Installing");
}

}  // namespace
}  // namespace halvard
