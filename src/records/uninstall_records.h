// The uninstaller's readers of what the installation stored: the registration values
// ("ProductFonts", "SharedFiles", "ProductFlags", colours and sizes), the lines of
// "Uninstall.DAT" sections, and the folder rules of the removal. Each reader is the
// inverse of its writer in uninstall_registration.h or uninstall_data.h; all of them
// accept any bytes and never read outside the given text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "package/install_settings.h"
#include "records/uninstall_registration.h"

namespace halvard {

// "ProductFonts": a run of double-quoted name and file texts, as product_fonts_text
// writes it. What lies between the quoted texts is skipped; an unpaired trailing name
// and an unclosed quote are dropped.
std::vector<InstalledFont> parse_product_fonts(std::string_view text);

enum class SharedFileKind { plain, never_delete, com_server, type_library };

struct SharedFileEntry {
  std::string path;
  SharedFileKind kind = SharedFileKind::plain;
  friend bool operator==(const SharedFileEntry&, const SharedFileEntry&) = default;
};

// The mark that add_shared_file writes after the path for a kind (see shared_mark).
std::string_view shared_file_mark(SharedFileKind kind);

// "SharedFiles": each entry is the text between a double quote and the next one (so a
// ";" inside a path stays in it); entries are separated by ";", and whatever else lies
// outside the quotes is skipped, as is an unclosed last quote. One kind mark at the
// end of the path is stripped: "^" com_server, a blank never_delete, the byte 0xA9
// type_library. Reading stops at the first entry whose path is empty after stripping.
// An entry that add_shared_file would not append again (a repeat) is skipped, so that
// no file's count is taken down twice and the entries build the list back.
std::vector<SharedFileEntry> parse_shared_files(std::string_view list);

// The association backup value's name: product name + " Backup" with every backslash,
// CR, LF and TAB removed.
std::string association_backup_name(std::string_view product_name);

// An "[MSI]" line: a record (split_csv_record) of exactly two fields, a non-empty
// package path and a decimal int with an optional sign. Reads what msi_line() writes.
struct MsiRemoval {
  std::string package;
  int ui_level = 0;
};
std::optional<MsiRemoval> parse_msi_line(std::string_view line);

// A "[Firewall]" line split at ";" into exactly four fields (else nullopt). A first
// field of digits only is a port, 1 to 65535 (other numbers give nullopt); the third
// field, a decimal number (blanks around allowed, else nullopt), gives the protocols:
// value 1 TCP, value 2 UDP. Otherwise the first field is a program path, kept as text
// (empty gives nullopt); the third field is not read.
struct FirewallRemoval {
  bool port = false;
  uint16_t number = 0;
  bool tcp = false;
  bool udp = false;
  std::string program;
};
std::optional<FirewallRemoval> parse_firewall_line(std::string_view line);

// The registry script ("[Registry2]" text, CR LF or LF lines, each a record by
// split_csv_record). One field with at least two backslashes: a key to delete when
// empty. Six fields: a value (key path = field 1, value name = field 2), `keep` when
// field 6 is exactly "1". Other records are skipped.
struct RegistryScriptRemoval {
  bool is_key = false;
  std::string key_path;
  std::string value_name;
  bool keep = false;
  friend bool operator==(const RegistryScriptRemoval&, const RegistryScriptRemoval&) = default;
};
std::vector<RegistryScriptRemoval> parse_registry_script_removals(std::string_view script);

// Inverse of product_flags_text: a signed decimal 64-bit number, blanks around it
// allowed, to the two words; nullopt for anything else (overflow included).
std::optional<ProductFlagWords> parse_product_flags(std::string_view text);

// Inverse of colour_text: "RRGGBB" in either letter case to the Windows colour value
// (red in the low byte); nullopt unless exactly six hexadecimal digits.
std::optional<uint32_t> parse_colour_text(std::string_view text);

// Inverse of real_text for plain notation: optional sign, digits, optionally "." and
// digits; nullopt otherwise (also for a number too large for a double). Independent of
// the locale and without the library's converters, whose tables would swell the
// engine. Correctly rounded when the digits without leading zeros fit in 2^53 and at
// most 22 follow the point, which covers what real_text writes for sizes; close
// otherwise.
std::optional<double> parse_real_text(std::string_view text);

// Folder removal order: longest path first; equal lengths keep their order.
std::vector<std::string> folder_removal_order(std::vector<std::string> folders);

// The folder a path sits in, trailing backslashes of the path ignored: "C:\a\b" ->
// "C:\a". Empty when there is no folder above to remove: when the parent would be a
// drive root ("C:\a") or a share root ("\\server\share\a"), for a root itself ("C:\",
// "C:", "\\server\share"), for "" and for a path without a backslash.
std::string parent_folder(std::string_view path);

// Folder names to look up as same_folder compares them, a UTF-8 name's "|" ignored; the
// removal asks for every file, so a list searched each time would make it quadratic.
class FolderSet {
 public:
  FolderSet() = default;
  explicit FolderSet(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) insert(folder);
  }
  void insert(std::string_view folder) { keys_.insert(key(folder)); }
  bool contains(std::string_view folder) const { return keys_.count(key(folder)) != 0; }

 private:
  static std::string key(std::string_view folder);
  std::unordered_set<std::string> keys_;
};

// The folders on the way to `path` (not `path` itself) through which a link planted
// after the installation must not lead the removal: those inside `install_dir` and
// those the installation recorded as its own (`recorded_folders`), nearest first. Other
// folders above may be links the machine's owner set up (a relocated profile), which
// the removal follows. A "|" in front of `path` (a UTF-8 name) is kept on the folders.
std::vector<std::string> product_folders_on_the_way(std::string_view path, std::string_view install_dir,
                                                    const FolderSet& recorded_folders);

// Same folder: ASCII letter case ignored, one trailing backslash ignored on either side.
bool same_folder(std::string_view a, std::string_view b);

// Whether deleting `dir` with everything in it is allowed. Refused:
// - anything but a full path "X:\..." or "\\server\share\..." below its root;
// - a component that is empty or ends in "." or a blank ("." and ".." among them:
//   Windows drops or resolves these, so the path would name another folder), or that
//   holds a character no folder name can hold (/ : * ? " < > | or a control byte);
// - a folder equal to one of `protected_folders`, or one that contains one of them
//   ("C:\Users" when "C:\Users\me\Desktop" is protected).
// Comparison ignores ASCII case and trailing backslashes; an empty protected entry is
// ignored. The caller passes full long paths: a short (8.3) name is not recognised.
bool whole_directory_deletion_allowed(std::string_view dir, const std::vector<std::string>& protected_folders);

}  // namespace halvard
