#pragma once
// Reads the decoded package stream into InstallSettings: every item in its fixed order,
// each default applied when its item is read, every count checked. Pure: what Windows
// supplies comes in through SettingsEnvironment, and a corrupt stream comes back as its
// PackageError code, never as a read outside the stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "package/install_settings.h"
#include "package/message_numbers.h"

namespace halvard {

inline constexpr uint32_t settings_end_marker = 0xD3E82B97;
inline constexpr char conditional_deletes_end[] = "~~THE END~~";
inline constexpr char close_applications_end[] = "~~THE~END~~";
inline constexpr char wow64_failure_text[] = "Wow64DisableWow64FsRedirection() failed";

// Limits of the stream's counts.
inline constexpr int max_license_texts = 20;
inline constexpr int max_conditional_deletes = 1001;
inline constexpr int max_list_entries = 1000;  // associations, shortcuts, values, close list
inline constexpr int max_languages = 200;
inline constexpr int max_messages = 10000;
inline constexpr uint16_t max_step_delay = 9999;

// What the system supplies while the stream is read.
struct SettingsEnvironment {
  std::string program_files;        // the program-files folder
  std::string common_app_data;      // the common application-data folder
  std::string common_files;         // the common-files folder
  std::string os_description;       // replaces "<os>"
  // Directory-variable expansion; none given: the text stays as it is.
  std::function<std::string(std::string_view)> expand_variables;
};

struct SettingsReadResult {
  int package_error = 0;   // 0: read completely
  int item = 0;            // the stream item being read when reading stopped
  size_t position = 0;     // bytes of the stream consumed
  // The caller acts on these even when reading stopped later: the background window
  // belongs after item 7 (before the checksum is compared), a 64-bit product's
  // redirection switch after item 13.
  bool display_settings_read = false;
  bool product_names_read = false;
  bool ok() const { return package_error == 0; }
};

// The caller has copied the command line's fields into `settings` first.
SettingsReadResult read_settings(std::span<const uint8_t> stream, uint32_t stream_checksum,
                                 InstallSettings& settings, const SettingsEnvironment& env);

// Message n in the current language; empty outside the table.
const std::string& message(const InstallSettings& settings, int n);

// Replaces "<product>", "<description>" and "<os>" (letter case ignored) in every place.
std::string expand_tags(std::string_view text, const InstallSettings& settings,
                        std::string_view os_description);
// The same for a wide text, with the replacements already widened by the caller.
std::u16string expand_tags(std::u16string_view text, std::u16string_view product,
                           std::u16string_view description, std::u16string_view os);

// A lone LF, a lone CR and LF+CR each become CR+LF; CR+LF stays.
std::string normalize_line_ends(std::string_view text);

// Every line of a firewall list that is not blank splits into four ";" fields.
bool firewall_list_well_formed(std::string_view list);

}  // namespace halvard
