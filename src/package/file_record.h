#pragma once
// FileRecord: one file of the package's file table, with the record's own fields in
// their stored order. The file's data and its checksum follow the fields in the record;
// they are handed out beside the record, not kept in it.

#include <cstdint>
#include <string>

#include "package/install_settings.h"

namespace halvard {

// Destination kinds. 2, 3 and everything above 12 are not kinds.
namespace file_kind {
inline constexpr uint32_t plain = 0;          // InstallDir; a shortcut with flag bit 0 or 1
inline constexpr uint32_t shared = 1;         // SharedPath, counted in the shared-DLL counts
inline constexpr uint32_t font = 4;           // Fonts folder, registered with the system
inline constexpr uint32_t shortcut = 5;       // InstallDir, with a shortcut
inline constexpr uint32_t system = 6;         // system folder
inline constexpr uint32_t com_server = 7;     // system folder, self-registered
inline constexpr uint32_t type_library = 8;   // system folder
inline constexpr uint32_t versioned = 9;      // InstallDir, under version rules
inline constexpr uint32_t inf_driver = 10;    // InstallDir
inline constexpr uint32_t msi_package = 11;   // InstallDir; the record carries MsiValue
inline constexpr uint32_t control_panel = 12; // InstallDir
}  // namespace file_kind

inline constexpr bool is_file_kind(uint32_t kind) { return kind == 0 || kind == 1 || (kind >= 4 && kind <= 12); }

namespace file_flag {
inline constexpr uint32_t shortcut_desktop = 0x1;
inline constexpr uint32_t shortcut_start_menu = 0x2;
inline constexpr uint32_t shortcut_any = 0x3;         // ShortcutText is stored when either is set
inline constexpr uint32_t overwrite_mask = 0x1C;      // overwrite mode: 0x04, 0x08, 0x0C, 0x10 or none
inline constexpr uint32_t keep_at_uninstall = 0x20;   // not recorded for removal
inline constexpr uint32_t uninstall_dir = 0x40;       // destination folder is UninstallDir
inline constexpr uint32_t msi_list = 0x80;            // MSI package joins the installed-MSI list
}  // namespace file_flag

// Only these attribute bits (read-only, hidden, system, archive, temporary, offline)
// are given to a written file; all bits set means "leave the attributes alone".
inline constexpr uint32_t file_attribute_mask = 0x1127;
inline constexpr uint32_t file_attributes_unchanged = 0xFFFFFFFF;

// The largest stored data of one file.
inline constexpr int32_t max_file_record_data = 0x40000000;

struct FileRecord {
  std::string Name;           // may hold a relative path; never empty
  uint32_t Kind = 0;
  uint32_t Flags = 0;
  uint32_t Attributes = file_attributes_unchanged;
  ::halvard::FileDate FileDate;  // month 0: no date; negative hour: no time
  std::string VersionText;    // dotted numbers; also the name of a file shortcut
  std::string ShortcutText;   // stored only with Flags bit 0 or 1
  std::string ShortcutText2;
  std::string Destination;    // empty: by Kind; "...\": folder; otherwise a full target name
  std::string ShortcutText3;
  uint32_t MsiValue = 0;      // stored only for Kind 11

  bool has_shortcut_text() const { return (Flags & file_flag::shortcut_any) != 0; }
  bool has_msi_value() const { return Kind == file_kind::msi_package; }

  friend bool operator==(const FileRecord&, const FileRecord&) = default;
};

}  // namespace halvard
