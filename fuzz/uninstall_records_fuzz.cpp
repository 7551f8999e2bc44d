// The uninstaller's readers of stored registration values and "Uninstall.DAT" lines on
// arbitrary bytes: the whole input and each piece of it cut at 0x1E go through every
// reader, which must stay inside them; what a reader returns must survive its writer
// and be read back the same. The pieces are also a folder list to order and a folder
// to delete with the others as protected folders, which the guard must respect.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "records/uninstall_registration.h"
#include "records/uninstall_data.h"
#include "records/uninstall_records.h"

namespace {

using namespace halvard;

void check_readers(std::string_view text) {
  const std::vector<InstalledFont> fonts = parse_product_fonts(text);
  const std::vector<InstalledFont> fonts_again = parse_product_fonts(product_fonts_text(fonts));
  if (fonts_again.size() != fonts.size()) std::abort();
  for (size_t i = 0; i < fonts.size(); ++i)
    if (fonts_again[i].name != fonts[i].name || fonts_again[i].file_name != fonts[i].file_name) std::abort();

  const std::vector<SharedFileEntry> shared = parse_shared_files(text);
  std::string list;
  for (const SharedFileEntry& entry : shared) add_shared_file(list, entry.path, shared_file_mark(entry.kind));
  if (parse_shared_files(list) != shared) std::abort();

  const std::string backup = association_backup_name(text);
  if (backup.find_first_of("\\\r\n\t") != std::string::npos || !std::string_view(backup).ends_with(" Backup"))
    std::abort();

  if (const auto msi = parse_msi_line(text)) {
    if (msi->package.empty()) std::abort();
    // A path holding a double quote is not one that msi_line can write back.
    if (msi->package.find('"') == std::string::npos) {
      const auto again = parse_msi_line(msi_line(msi->package, msi->ui_level));
      if (!again || again->package != msi->package || again->ui_level != msi->ui_level) std::abort();
    }
  }

  if (const auto firewall = parse_firewall_line(text)) {
    if (firewall->port ? firewall->number == 0 || !firewall->program.empty() : firewall->program.empty())
      std::abort();
    if (!firewall->port && !text.starts_with(firewall->program + ";")) std::abort();
  }

  for (const RegistryScriptRemoval& removal : parse_registry_script_removals(text)) {
    if (removal.is_key && std::count(removal.key_path.begin(), removal.key_path.end(), '\\') < 2) std::abort();
    if (removal.is_key && (removal.keep || !removal.value_name.empty())) std::abort();
  }

  if (const auto flags = parse_product_flags(text)) {
    if (parse_product_flags(product_flags_text(*flags)) != flags) std::abort();
  }

  if (const auto colour = parse_colour_text(text)) {
    if (*colour > 0xFFFFFF || parse_colour_text(colour_text(*colour)) != colour) std::abort();
  }

  if (const auto real = parse_real_text(text)) {
    // So short a text has at most 16 digits and, with a point, at most 15: read exactly.
    if (text.size() <= 16 && *real != std::strtod(std::string(text).c_str(), nullptr)) std::abort();
  }

  const std::string parent = parent_folder(text);
  if (!parent.empty() && (parent.size() >= text.size() || !text.starts_with(parent) || text[parent.size()] != '\\'))
    std::abort();
  if (!same_folder(text, text)) std::abort();
  if (whole_directory_deletion_allowed(text, {std::string(text)})) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_readers(text);

  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == '\x1e')
      pieces.emplace_back();
    else
      pieces.back().push_back(c);
  }
  for (const std::string& piece : pieces) check_readers(piece);

  const std::vector<std::string> ordered = folder_removal_order(pieces);
  if (!std::is_permutation(ordered.begin(), ordered.end(), pieces.begin(), pieces.end())) std::abort();
  for (size_t i = 1; i < ordered.size(); ++i)
    if (ordered[i - 1].size() < ordered[i].size()) std::abort();

  const std::vector<std::string> protected_folders(pieces.begin() + 1, pieces.end());
  if (whole_directory_deletion_allowed(pieces[0], protected_folders)) {
    for (const std::string& folder : protected_folders)
      if (!folder.empty() && same_folder(pieces[0], folder)) std::abort();
  }
  return 0;
}
