#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "installer/earlier_installation.h"
#include "installer/folder_checks.h"
#include "installer/version_compare.h"
#include "variables/batch_file.h"

// Version texts and folders come from the registry an earlier installation left, which
// other programs can change; the input is split at its first zero byte into two texts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  std::string_view a = input.substr(0, split);
  std::string_view b = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  int forward = halvard::compare_versions(a, b);
  int backward = halvard::compare_versions(b, a);
  if ((forward < 0) != (backward > 0) || (forward == 0) != (backward == 0)) __builtin_trap();
  if (halvard::compare_versions(a, a) != 0) __builtin_trap();
  halvard::earlier_installation_question(a, b, true);
  halvard::must_uninstall_first(a, b);

  halvard::FolderRules rules{.refuse_network = true, .program_files = {std::string(b)}};
  halvard::check_folder(a, {}, rules);
  if (halvard::folder_volume_root(a).size() > a.size() + 1) __builtin_trap();
  halvard::matching_folder(a, rules.program_files);

  std::string line = halvard::batch_command_text(a);
  if (line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
  return 0;
}
