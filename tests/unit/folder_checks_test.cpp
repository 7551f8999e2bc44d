#include "installer/folder_checks.h"

#include <gtest/gtest.h>

#include <string>

namespace halvard {
namespace {

TEST(FolderChecks, FirstFailedCheckInOrder) {
  const FolderRules open{.program_files = {"C:\\Program Files", "C:\\Program Files (x86)\\"}};
  const FolderRules strict{.refuse_network = true, .refuse_removable = true, .program_files = open.program_files};
  const FolderVolume fine, missing{.exists = false}, remote{.remote = true}, removable{.removable = true},
      cd{.unusable = true};
  struct Case {
    const char* folder;
    FolderVolume volume;
    const FolderRules& rules;
    FolderProblem problem;
  };
  const Case cases[] = {
      {"C:\\Apps\\Tool", fine, open, FolderProblem::none},
      {"\\\\server\\share\\Tool", fine, open, FolderProblem::none},
      {"Apps\\Tool", fine, open, FolderProblem::invalid},  // relative
      {"C:Tool", fine, open, FolderProblem::invalid},
      {"C:\\Apps\\To?l", fine, open, FolderProblem::invalid},
      {"C:\\Apps\\\\Tool", fine, open, FolderProblem::invalid},  // doubled backslash
      {"C:\\Apps\\..\\Windows", fine, open, FolderProblem::invalid},
      {"C:\\Apps\\...\\x", fine, open, FolderProblem::invalid},
      {"C:\\Apps\\.config", fine, open, FolderProblem::none},  // a name that starts with a dot
      {"\"C:\\Apps\"", fine, open, FolderProblem::invalid},
      {"Q:\\Tool", missing, open, FolderProblem::drive_missing},
      {"Q:\\", missing, open, FolderProblem::drive_missing},  // before the root check
      {"\\\\server\\share\\Tool", fine, strict, FolderProblem::network},
      {"N:\\Tool", remote, strict, FolderProblem::network},
      {"N:\\Tool", remote, open, FolderProblem::none},
      {"C:\\", fine, open, FolderProblem::too_short},
      {"C:\\", remote, strict, FolderProblem::network},  // network before root
      {"c:\\program files\\", fine, open, FolderProblem::program_files},
      {"C:\\Program Files (x86)", fine, open, FolderProblem::program_files},
      {"C:\\Program Files\\Tool", fine, open, FolderProblem::none},
      {"D:\\Tool", cd, open, FolderProblem::unsuitable_drive},
      {"E:\\Tool", removable, strict, FolderProblem::unsuitable_drive},
      {"E:\\Tool", removable, open, FolderProblem::none},
  };
  for (const Case& c : cases) EXPECT_EQ(check_folder(c.folder, c.volume, c.rules), c.problem) << c.folder;
}

TEST(FolderChecks, DriveLetterAndVolumeRoot) {
  EXPECT_EQ(folder_drive_letter("d:\\x"), 'D');
  EXPECT_EQ(folder_drive_letter("1:\\x"), std::nullopt);
  EXPECT_EQ(folder_drive_letter("\\\\s\\x"), std::nullopt);
  EXPECT_EQ(folder_volume_root("d:\\x\\y"), "D:\\");
  EXPECT_EQ(folder_volume_root("\\\\server\\share\\x"), "\\\\server\\share\\");
  EXPECT_EQ(folder_volume_root("\\\\server\\share"), "\\\\server\\share\\");
  EXPECT_EQ(folder_volume_root("\\\\server"), "");
  EXPECT_EQ(folder_volume_root("x\\y"), "");
  EXPECT_EQ(matching_folder("C:\\PROGRAM FILES\\\\", {"D:\\x", "C:\\Program Files"}), "C:\\Program Files");
  EXPECT_EQ(matching_folder("C:\\Program Files\\x", {"C:\\Program Files"}), "");
}

}  // namespace
}  // namespace halvard
