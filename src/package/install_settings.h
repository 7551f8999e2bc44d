#pragma once
// InstallSettings: the one record of everything the product's package says, plus the
// few fields that the command line and the package reader fill. Filled once and handed
// by reference to whoever needs it. Texts are 8-bit ANSI bytes as the package holds them.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/date_time.h"
#include "package/option_bits.h"

namespace halvard {

// Six signed fields as stored in a package (24 bytes); month 0 means no date.
struct FileDate {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  friend bool operator==(const FileDate&, const FileDate&) = default;
};
// The stored form and the calendar value, both ways; no weekday is stored.
inline DateTime date_time_of(const FileDate& date) {
  DateTime time;
  time.year = date.year;
  time.month = date.month;
  time.day = date.day;
  time.hour = date.hour;
  time.minute = date.minute;
  time.second = date.second;
  return time;
}
inline FileDate file_date_of(const DateTime& time) {
  return {time.year, time.month, time.day, time.hour, time.minute, time.second};
}

// The option words: a low and a high 32-bit word.
struct ProductFlagWords {
  uint32_t low = 0;
  uint32_t high = 0;
  friend bool operator==(const ProductFlagWords&, const ProductFlagWords&) = default;
};

// Run-mode byte of the package.
inline constexpr uint8_t run_mode_automatic = 1;
inline constexpr uint8_t run_mode_interactive = 2;

// One conditional-delete rule (carried to the uninstall data).
struct ConditionalDelete {
  std::string path_pattern;
  uint8_t kind = 0;
  std::string value;
  uint8_t flags = 0;
  friend bool operator==(const ConditionalDelete&, const ConditionalDelete&) = default;
};

struct FileAssociation {
  uint32_t flags = 0;
  std::string extension;
  std::string class_name;
  std::string description;
  std::string verb;
  std::string verb_text;
  std::string command;
  std::string language;
  std::string icon;
  friend bool operator==(const FileAssociation&, const FileAssociation&) = default;
};

struct ShortcutEntry {
  std::string target;
  std::string name;
  std::string icon_file;
  std::string arguments;
  std::string working_directory;
  uint8_t desktop = 0;
  uint8_t start_menu = 0;
  uint8_t startup = 0;
  std::string custom_folder;
  uint8_t show_mode = 0;
  uint8_t keep = 0;
  // Set for entries from the package; the sequence's own entries clear it.
  bool expand_target = true;
  friend bool operator==(const ShortcutEntry&, const ShortcutEntry&) = default;
};

// An extra value written with the uninstall registration.
struct RegistrationValue {
  std::string name;
  uint8_t type = 0;
  std::string value;
  friend bool operator==(const RegistrationValue&, const RegistrationValue&) = default;
};

// One program of the automatic-close list.
struct CloseApplication {
  std::string window_class;
  std::string window_title;
  std::string application_name;
  uint32_t mode = 0;    // stored as a byte
  uint8_t phases = 0;
  friend bool operator==(const CloseApplication&, const CloseApplication&) = default;
};

struct InstallSettings {
  // Filled from the command line before the stream is read (or by the uninstaller).
  bool AutomaticMode = false;       // no questions (/a; the run-mode byte may override)
  bool UninstallMode = false;
  bool StartMinimized = false;      // background window starts minimized
  std::string InstallDir;           // chosen installation folder (/d: or the wizard)
  std::string ProductName;          // /n:, else the package's default name

  // Stream items, in stream order.
  ProductFlagWords ProductFlags;
  uint32_t SetupOptions = 0;
  uint8_t RunMode = 0;              // 1 forces AutomaticMode on, 2 off
  bool MaximizedBackground = false; // from ProductFlags high bit 8
  std::string TaskbarText;          // taskbar caption of the background window
  std::string DisplayTitle;         // title drawn on the background window
  double TitleSize = 0;             // title size factor
  uint32_t DialogValue = 0;         // handed to every wizard dialog
  uint16_t StepDelay = 0;           // minimum ms between progress steps
  uint8_t ShortcutMode = 0;         // 1: shortcuts for all users
  FileDate UninstallerDate;         // date given to the uninstaller file
  std::string Publisher;
  std::string ProductDescription;   // "<description>"; defaults to ProductName
  uint8_t SharedBase = 0;           // 1: common app-data folder, else common files
  std::string SharedPath;           // shared folder
  std::string ProductStartMenu;     // start-menu folder
  std::string DisplayVersion;       // "%Version%"
  std::string DefaultInstallDir;    // folder offered when /d: gave none
  std::string ProductRegistry;      // registry key of the product's own settings
  std::string RegistryScript;       // comma-separated keys and values
  int32_t BitmapSize = 0;           // background bitmap size in percent, 0..100
  int32_t StretchMode = 0;          // how the background bitmap is stretched
  std::vector<std::string> LicenseTexts;  // one per language, at most 20
  std::vector<std::string> ReadmeTexts;   // one per language, at most 20
  std::string UninstallSubdir;      // uninstall data folder under InstallDir
  std::string UninstallerName;      // file name of the uninstaller
  std::string UninstallKeyName;     // name of the uninstall registration; defaults to ProductName
  std::string InstallDirValue;      // registry value path for the installation folder
  std::string InstallingText;       // progress text, tags expanded after the stream
  uint8_t SidePictureFrame = 0;
  uint32_t TitleColor = 0;
  uint8_t TitleShadow = 0;          // title shadow offset in pixels, 0 none
  uint8_t TitlePosition = 0;        // 0: no title
  std::string TitleFont;            // comma-separated font names
  uint32_t TopColor = 0;            // background gradient, top
  uint32_t BottomColor = 0;         // background gradient, bottom
  bool MonoColor = false;           // TopColor == BottomColor
  std::vector<uint8_t> BackgroundBitmap;  // device-independent bitmap, no file header; empty: none
  int32_t BitmapTPI = 0;            // present only with a bitmap
  uint8_t CopyrightPos = 0;         // 0: no copyright line (and none of the four below)
  uint32_t CopyrightColor = 0;
  double CopyrightSize = 0;
  std::string CopyrightText;
  std::string CopyrightFont;
  std::string MasterProduct;        // with ProductFlags low bit 16; defaults to ProductName
  std::string MasterProductMessage; // with ProductFlags low bit 16; defaults to ProductName
  std::string DesktopFolderName;    // desktop shortcut folder
  std::string DesktopIconData;      // its icon file's bytes
  std::string PreInstallBatch;
  std::string PostInstallBatch;
  std::string ExitBatch;
  std::string UninstallBatch1;
  std::string UninstallBatch2;
  std::string UpgradeBatch;
  std::string ReinstallBatch;
  std::array<uint8_t, 20> ReservedBlock{};  // carried, unused
  uint32_t ExcludedSystems = 0;     // OS mask on which installation is refused
  uint8_t DataOnDisk = 0;           // 0: file data from the mapped section, else from disk
  uint8_t AdminRequirement = 0;     // 0 none, 1 required, 2/3 ask
  std::string ExitViewFile;
  std::string ExitLaunchProgram;
  std::string ExitOpenFile;
  std::string NotifyURL1;           // plain installation
  std::string NotifyURL2;           // special outcomes, in the sequence's order
  std::string NotifyURL3;
  std::string NotifyURL4;
  std::string NotifyURL;            // uninstallation
  std::string MinimumUpgradeVersion;
  std::string Password;             // empty: none
  std::string MustUninstallBelow;
  std::string FirewallList;         // one exception per line, four ";" fields
  // [0] extra bytes of space requirement; [1..8] page styles: greeting, language,
  // licence, read-me, directory, start menu, progress, summary.
  std::array<int32_t, 9> DialogOptions{};
  std::string SharedFolderText;     // with ProductFlags low bit 2 (shared folder); read past, unused
  std::vector<ConditionalDelete> ConditionalDeletes;  // at most 1001
  std::vector<FileAssociation> FileAssociations;      // at most 1000
  std::vector<ShortcutEntry> ShortcutEntries;         // at most 1000 from the package
  std::string RootShortcutName;
  std::string RootShortcutTarget;
  std::vector<RegistrationValue> RegistrationValues;  // at most 1000
  std::vector<CloseApplication> CloseApplications;    // at most 1000
  std::vector<std::string> LanguageNames;             // 1..200
  // Rows of message texts, each row one text per language in LanguageNames order.
  std::vector<std::vector<std::string>> Messages;
  int LanguageIndex = 0;            // current language: "English" after reading; the language page changes it

  // Filled after the stream.
  uint64_t EngineCopySize = 0;      // size of the engine copy written as the uninstaller
  std::string UninstallDir;         // InstallDir + UninstallSubdir
  std::string WindowTitle;          // message 0 of the chosen language

  friend bool operator==(const InstallSettings&, const InstallSettings&) = default;
};

}  // namespace halvard
