#pragma once
// The run state of one installation: what the sequence learns and gathers on the way,
// owned by the sequence and handed to each phase.

#include <string>
#include <unordered_set>
#include <vector>

#include "records/install_log.h"
#include "records/uninstall_data.h"
#include "records/uninstall_data_win.h"
#include "records/uninstall_records.h"
#include "records/uninstall_registration.h"

namespace halvard {

struct RunState {
  // The earlier installation, from its uninstall registration. Previously installed
  // only when its folder exists; the version flags only when the user was asked.
  bool previously_installed = false;
  bool same_version = false;
  bool upgrade = false;
  bool downgrade = false;
  std::string previous_dir;
  std::string installed_version;
  std::string previous_uninstall_command;  // QuietUninstallString, else UninstallString
  std::string previous_start_menu;
  // "SharedFiles": the earlier installation's value, then with this run's entries.
  std::string shared_files_value;
  std::string start_menu_folder;

  // The package's own options as this run carries them out: uninstall support can be
  // withdrawn (a removable drive), a restart can become necessary (a file in use).
  bool uninstall_support = false;
  bool reboot_wanted = false;

  std::string failure_summary;  // only grows
  InstallLog log;
  RemovalList removal;
  // The removal list on disk from the folders on, until Uninstall.DAT is written.
  RemovalJournal journal;
  UninstallData uninstall_data;

  // Filled by the file phase for the later phases.
  bool fonts_installed = false;
  std::vector<InstalledFont> product_fonts;  // "ProductFonts": the fonts the uninstaller removes
  std::vector<SharedFileEntry> shared_files;  // in installation order
  std::vector<std::string> com_servers;
  std::vector<std::string> type_libraries;
  std::vector<std::string> inf_files;
  // Lower-case paths of the files this run wrote directly (not at reboot).
  std::unordered_set<std::string> written_files;
  // The files this run brought where none was, in order: what a cancel takes away.
  std::vector<std::string> created_files;

  // Registry keys the script made where there were none ("\HKLM\..."), outermost
  // first: the uninstaller removes them again once empty.
  std::vector<std::string> created_registry_keys;

  // The installation folder held files that are not this product's before it came.
  bool install_dir_held_files = false;
};

}  // namespace halvard
