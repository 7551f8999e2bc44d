// The uninstall data file ("Uninstall.DAT"): the removal list that an installation
// collects while it works, the file's content as one value, its writer and the
// uninstaller's reader. Text is 8-bit ANSI with CR LF line ends; nothing here touches
// the disk (the Windows layer is uninstall_data_win.h).
//
// The reader's contract: it never reads outside the given text, whatever the bytes,
// and what it returns writes back to a text that reads to the same value.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_error.h"
#include "package/install_settings.h"

namespace halvard {

inline constexpr std::string_view uninstall_data_file_name = "Uninstall.DAT";
inline constexpr std::string_view install_log_file_name = "Install.LOG";
// The removal list as an installation collects it, on disk until "Uninstall.DAT" holds it.
inline constexpr std::string_view removal_journal_file_name = "Uninstall.JNL";

// `name` in the uninstall data folder, with exactly one backslash between; an empty
// folder gives the name alone.
std::string uninstall_folder_file(std::string_view folder, std::string_view name);

enum class RemovalKind { File, Folder };

struct RemovalEntry {
  RemovalKind kind = RemovalKind::File;
  std::string path;
  friend bool operator==(const RemovalEntry&, const RemovalEntry&) = default;
};

// What the uninstaller removes, in the order recorded. Files are kept as given, repeats
// included; a folder is kept once (letter case of ASCII letters ignored). Paths of three
// characters or fewer (a drive root) are refused, and so is a path that could not be
// read back as written: one holding a line break, or a file path beginning with "~".
class RemovalList {
 public:
  // True when the path was added. A kind outside the enumeration is a program error.
  bool record(std::string_view path, RemovalKind kind);
  void clear();

  const std::vector<RemovalEntry>& entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }

  friend bool operator==(const RemovalList&, const RemovalList&) = default;

 private:
  std::vector<RemovalEntry> entries_;
  std::set<std::string> folders_;  // lower-cased
};

// One association that the installation made.
struct AssociationRecord {
  std::string extension;  // ".txt"
  std::string type_key;   // file type key name
  std::string verb;       // shell verb name
  friend bool operator==(const AssociationRecord&, const AssociationRecord&) = default;
};

// Everything the file holds, section by section.
struct UninstallData {
  RemovalList removal;
  // Language strings shown by the uninstaller, by message number (1..1000, not 999).
  std::map<int, std::string> texts;
  std::string installing_text;  // written as text 999
  std::vector<CloseApplication> auto_close;
  std::vector<AssociationRecord> associations;
  std::vector<std::string> firewall;  // package firewall lines, unchanged
  std::vector<std::string> inf;       // final paths of copied driver INF files
  std::vector<std::string> msi;       // msi_line()
  std::vector<std::string> registry;  // registry value paths (control-panel applets)
  std::string registry_script;        // lines each ended by CR LF once read back
  std::vector<ConditionalDelete> conditional_deletes;

  friend bool operator==(const UninstallData&, const UninstallData&) = default;
};

// The language strings that the uninstaller shows, in the order written.
inline constexpr std::array<int, 25> uninstaller_message_numbers = {
    10, 15, 20, 30, 34, 35, 49, 53, 55, 56, 57,  58, 59,
    65, 67, 68, 69, 70, 71, 74, 79, 80, 99, 100, 101};
inline constexpr int installing_text_number = 999;

// Conditional-delete flag: the entry applies during the uninstallation.
inline constexpr uint8_t conditional_delete_on_uninstall = 0x8;

// Fills the sections that come from the package: the uninstaller's texts in the run's
// language, InstallingText, the automatic-close list, the registry script and the
// conditional deletions that apply during the uninstallation.
void add_package_sections(UninstallData& data, const InstallSettings& settings);

// True when the firewall line's keep field (the fourth ";" field) contains "1": the
// exception stays after the uninstallation and is not recorded.
bool firewall_line_kept(std::string_view line);
// "\"" + package path + "\"," + number.
std::string msi_line(std::string_view package_path, int ui_level);
// The registry value path of a registered control-panel applet.
std::string control_panel_value_path(std::string_view value_name);

// The file's text in its fixed layout. An entry that cannot be written on one line
// (a field or line holding CR or LF) is left out rather than spill into the next
// line, where it would read back as something else.
std::string write_uninstall_data(const UninstallData& data);

// The lines of the list's entries from `first` on, as "Uninstall.DAT" begins with them.
std::string removal_lines(const RemovalList& list, std::size_t first = 0);

// The entries of a removal journal: removal lines, as removal_lines writes them. A last
// line without its line end was cut short by a stopped run and is left out.
RemovalList read_removal_journal(std::string_view text);

// The uninstaller's reader. Any bytes are accepted; what cannot be understood is
// skipped. Blank lines carry nothing outside a text.
UninstallData parse_uninstall_data(std::string_view text);

// Puts the texts read back into the settings: 999 into InstallingText, the others into
// the messages of the current language (rows and columns added as needed).
void apply_texts(const UninstallData& data, InstallSettings& settings);

// "The uninstall information for %s could not be loaded.\r\n\r\nFilepath: %s\r\nCode
// %d: %s" with the product name, the path, the code's number and its text.
std::string uninstall_data_load_failure(std::string_view product, std::string_view path,
                                        FileError error);

}  // namespace halvard
