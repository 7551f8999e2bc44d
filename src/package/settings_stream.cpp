#include "package/settings_stream.h"

#include <algorithm>
#include <cstring>

#include "foundation/text.h"
#include "package/byte_reader.h"
#include "package/checksum.h"
#include "package/package_error_codes.h"

namespace halvard {

namespace code = package_error_code;

namespace {

// The stream's own readers. A read that finds too few bytes yields zeros or an empty
// text and leaves the stream at its end, so that whatever follows reads as empty and
// the later checks (the counts, the end marker) end the reading.
class Stream {
 public:
  explicit Stream(std::span<const uint8_t> bytes) : reader_(bytes) {}

  bool read(void* out, size_t n) {
    if (reader_.raw(out, n)) return true;
    std::memset(out, 0, n);
    reader_.skip(reader_.remaining());
    return false;
  }
  uint8_t u8() {
    uint8_t v = 0;
    if (!reader_.u8(v)) to_end();
    return v;
  }
  uint16_t u16() {
    uint16_t v = 0;
    if (!reader_.u16(v)) to_end();
    return v;
  }
  uint32_t u32() {
    uint32_t v = 0;
    if (!reader_.u32(v)) to_end();
    return v;
  }
  int32_t i32() { return int32_t(u32()); }
  double f64() {
    double v = 0;
    if (!reader_.f64(v)) to_end();
    return v;
  }
  std::string read_ztext() {
    std::string text;
    reader_.ztext(text);
    return text;
  }
  // A negative length gives an empty text; a length beyond the stream ends it.
  std::string read_ltext() {
    int32_t n = i32();
    if (n <= 0) return {};
    std::span<const uint8_t> bytes;
    if (!reader_.take(size_t(n), bytes)) {
      to_end();
      return {};
    }
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::vector<uint8_t> read_block(int32_t n) {
    std::span<const uint8_t> bytes;
    if (n <= 0) return {};
    if (!reader_.take(size_t(n), bytes)) {
      to_end();
      return {};
    }
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }

  bool at_end() const { return reader_.at_end(); }
  size_t position() const { return reader_.position(); }

 private:
  void to_end() { reader_.skip(reader_.remaining()); }
  ByteReader reader_;
};

// Does `text` hold the lower-case ASCII tag at `at`, letter case ignored?
template <class Char>
bool tag_at(std::basic_string_view<Char> text, size_t at, std::string_view tag) {
  if (text.size() - at < tag.size()) return false;
  for (size_t i = 0; i < tag.size(); ++i) {
    Char c = text[at + i];
    if (c >= Char('A') && c <= Char('Z')) c = Char(c - Char('A') + Char('a'));
    if (c != Char(static_cast<unsigned char>(tag[i]))) return false;
  }
  return true;
}

template <class Char>
std::basic_string<Char> replace_tags(std::basic_string_view<Char> text,
                                     std::basic_string_view<Char> product,
                                     std::basic_string_view<Char> description,
                                     std::basic_string_view<Char> os) {
  static constexpr std::string_view tags[] = {"<product>", "<description>", "<os>"};
  const std::basic_string_view<Char> values[] = {product, description, os};
  std::basic_string<Char> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == Char('<')) {
      for (size_t t = 0; t < 3; ++t) {
        if (tag_at(text, i, tags[t])) {
          out += values[t];
          i += tags[t].size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

std::string replace_os_tag(std::string_view text, std::string_view os) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '<' && tag_at(text, i, "<os>")) {
      out += os;
      i += 4;
    } else {
      out += text[i++];
    }
  }
  return out;
}

bool is_absolute(std::string_view path) {
  return (path.size() >= 2 && path[1] == ':') ||
         (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// A relative path is taken inside `base`; an absolute one stays as it is.
std::string resolve(std::string_view base, std::string_view path) {
  if (is_absolute(path) || base.empty()) return std::string(path);
  std::string out(base);
  if (path.empty()) return out;
  if (out.back() != '\\' && out.back() != '/') out += '\\';
  out += path;
  return out;
}

constexpr std::string_view x86_suffix = " (x86)";

std::string without_first_x86(std::string folder) {
  size_t at = folder.find(x86_suffix);
  if (at != std::string::npos) folder.erase(at, x86_suffix.size());
  return folder;
}

std::string without_trailing_x86(std::string folder) {
  if (folder.ends_with(x86_suffix)) folder.resize(folder.size() - x86_suffix.size());
  return folder;
}

}  // namespace

std::string normalize_line_ends(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\r' && c != '\n') {
      out += c;
      continue;
    }
    // CR+LF and LF+CR are one line end each; a lone CR or LF is one too.
    char pair = c == '\r' ? '\n' : '\r';
    if (i + 1 < text.size() && text[i + 1] == pair) ++i;
    out += "\r\n";
  }
  return out;
}

std::string expand_tags(std::string_view text, const InstallSettings& settings,
                        std::string_view os_description) {
  return replace_tags<char>(text, settings.ProductName, settings.ProductDescription,
                            os_description);
}

std::u16string expand_tags(std::u16string_view text, std::u16string_view product,
                           std::u16string_view description, std::u16string_view os) {
  return replace_tags<char16_t>(text, product, description, os);
}

bool firewall_list_well_formed(std::string_view list) {
  while (!list.empty()) {
    size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    if (is_blank_text(line)) continue;
    if (std::count(line.begin(), line.end(), ';') != 3) return false;
  }
  return true;
}

const std::string& message(const InstallSettings& settings, int n) {
  static const std::string empty;
  if (n < 0 || size_t(n) >= settings.Messages.size()) return empty;
  const auto& row = settings.Messages[size_t(n)];
  if (settings.LanguageIndex < 0 || size_t(settings.LanguageIndex) >= row.size()) return empty;
  return row[size_t(settings.LanguageIndex)];
}

SettingsReadResult read_settings(std::span<const uint8_t> bytes, uint32_t stream_checksum,
                                 InstallSettings& s, const SettingsEnvironment& env) {
  Stream in(bytes);
  SettingsReadResult result;
  auto stop = [&](int code) {
    result.package_error = code;
    result.position = in.position();
    return result;
  };
  const auto at = [&](int item) { result.item = item; };

  at(1);
  s.ProductFlags.low = in.u32();
  s.ProductFlags.high = in.u32();
  const bool product_64bit = (s.ProductFlags.high & product_flag::high_product_64bit) != 0;
  at(2);
  s.SetupOptions = in.u32();
  at(3);
  s.RunMode = in.u8();
  if (s.RunMode == run_mode_automatic) s.AutomaticMode = true;
  if (s.RunMode == run_mode_interactive) s.AutomaticMode = false;
  s.MaximizedBackground = (s.ProductFlags.high & product_flag::high_maximized_background) != 0;
  at(4);
  s.TaskbarText = in.read_ztext();
  at(5);
  s.DisplayTitle = in.read_ztext();
  at(6);
  s.TitleSize = in.f64();
  at(7);
  s.DialogValue = in.u32();

  result.display_settings_read = true;
  if (Checksum32(bytes) != stream_checksum) return stop(code::stream_checksum);

  at(8);
  s.StepDelay = in.u16();
  if (s.StepDelay > max_step_delay) return stop(code::step_delay_too_long);
  at(9);
  s.ShortcutMode = in.u8();
  at(10);
  int32_t date[6];
  for (int32_t& field : date) field = in.i32();
  s.UninstallerDate = {date[0], date[1], date[2], date[3], date[4], date[5]};
  at(11);
  s.Publisher = in.read_ztext();
  at(12);
  std::string default_name = in.read_ztext();
  if (s.ProductName.empty()) s.ProductName = std::move(default_name);
  at(13);
  s.ProductDescription = in.read_ztext();
  if (s.ProductDescription.empty()) s.ProductDescription = s.ProductName;

  result.product_names_read = true;

  at(14);
  s.SharedBase = in.u8();
  at(15);
  s.SharedPath = in.read_ztext();
  if (s.SharedPath.empty()) s.SharedPath = s.Publisher.empty() ? s.ProductName : s.Publisher;
  if (s.ProductFlags.low & product_flag::low_uninstall_support) {
    std::string base = s.SharedBase == 1 ? env.common_app_data : env.common_files;
    if (product_64bit) base = without_first_x86(std::move(base));
    s.SharedPath = resolve(base, s.SharedPath);
  }
  at(16);
  s.ProductStartMenu = in.read_ztext();
  if (s.ProductStartMenu.empty())
    s.ProductStartMenu = s.Publisher.empty() ? s.ProductName : s.Publisher + "\\" + s.ProductName;
  at(17);
  s.DisplayVersion = in.read_ztext();
  at(18);
  std::string dir = in.read_ztext();
  if (dir.empty()) {
    dir = s.ProductName;
  } else {
    dir = replace_os_tag(dir, env.os_description);
    if (env.expand_variables) dir = env.expand_variables(dir);
  }
  if (!equal_ignoring_case(dir, "<master>") && !dir.starts_with("HKLM\\") && !dir.starts_with("HKCU\\")) {
    std::string base = env.program_files;
    if (product_64bit) base = without_trailing_x86(std::move(base));
    dir = resolve(base, dir);
  }
  s.DefaultInstallDir = std::move(dir);
  at(19);
  s.ProductRegistry = in.read_ztext();
  at(20);
  s.RegistryScript = in.read_ztext();
  at(21);
  s.BitmapSize = in.i32();
  if (s.BitmapSize < 0 || s.BitmapSize > 100) return stop(code::bad_bitmap_size);
  at(22);
  s.StretchMode = in.i32();

  at(23);
  int32_t count = in.i32();
  if (count < 0 || count > max_license_texts) return stop(code::too_many_license_texts);
  s.LicenseTexts.clear();
  for (int32_t i = 0; i < count; ++i) s.LicenseTexts.push_back(in.read_ltext());
  at(24);
  count = in.i32();
  if (count < 0 || count > max_license_texts) return stop(code::too_many_readme_texts);
  s.ReadmeTexts.clear();
  for (int32_t i = 0; i < count; ++i) s.ReadmeTexts.push_back(in.read_ltext());

  at(25);
  s.UninstallSubdir = in.read_ztext();
  at(26);
  s.UninstallerName = in.read_ztext();
  at(27);
  s.UninstallKeyName = in.read_ztext();
  if (s.UninstallKeyName.empty()) s.UninstallKeyName = s.ProductName;
  at(28);
  s.InstallDirValue = in.read_ztext();
  at(29);
  s.InstallingText = in.read_ztext();
  at(30);
  s.SidePictureFrame = in.u8();
  at(31);
  s.TitleColor = in.u32();
  at(32);
  s.TitleShadow = in.u8();
  at(33);
  s.TitlePosition = in.u8();
  at(34);
  s.TitleFont = in.read_ztext();
  at(35);
  s.TopColor = in.u32();
  at(36);
  s.BottomColor = in.u32();
  s.MonoColor = s.TopColor == s.BottomColor;

  at(37);
  int32_t bitmap_length = in.i32();
  s.BackgroundBitmap.clear();
  s.BitmapTPI = 0;
  if (bitmap_length >= 1) {
    s.BackgroundBitmap = in.read_block(bitmap_length);
    s.BitmapTPI = in.i32();
  }
  at(38);
  s.CopyrightPos = in.u8();
  s.CopyrightColor = 0;
  s.CopyrightSize = 0;
  s.CopyrightText.clear();
  s.CopyrightFont.clear();
  if (s.CopyrightPos != 0) {
    s.CopyrightColor = in.u32();
    s.CopyrightSize = in.f64();
    s.CopyrightText = in.read_ztext();
    s.CopyrightFont = in.read_ztext();
  }
  at(39);
  s.MasterProduct.clear();
  s.MasterProductMessage.clear();
  if (s.ProductFlags.low & product_flag::low_master_product) {
    s.MasterProduct = in.read_ztext();
    if (s.MasterProduct.empty()) s.MasterProduct = s.ProductName;
    s.MasterProductMessage = in.read_ztext();
    if (s.MasterProductMessage.empty()) s.MasterProductMessage = s.ProductName;
  }
  at(40);
  s.DesktopFolderName = in.read_ztext();
  at(41);
  s.DesktopIconData = in.read_ltext();
  at(42);
  for (std::string* batch : {&s.PreInstallBatch, &s.PostInstallBatch, &s.ExitBatch,
                             &s.UninstallBatch1, &s.UninstallBatch2, &s.UpgradeBatch,
                             &s.ReinstallBatch})
    *batch = in.read_ztext();
  at(43);
  in.read(s.ReservedBlock.data(), s.ReservedBlock.size());
  at(44);
  s.ExcludedSystems = in.u32();
  at(45);
  s.DataOnDisk = in.u8();
  at(46);
  s.AdminRequirement = in.u8();
  at(47);
  for (std::string* text : {&s.ExitViewFile, &s.ExitLaunchProgram, &s.ExitOpenFile,
                            &s.NotifyURL1, &s.NotifyURL2, &s.NotifyURL3, &s.NotifyURL4,
                            &s.NotifyURL})
    *text = in.read_ztext();
  at(48);
  s.MinimumUpgradeVersion = in.read_ztext();
  at(49);
  s.Password = in.read_ztext();
  at(50);
  s.MustUninstallBelow = in.read_ztext();
  at(51);
  s.FirewallList = in.read_ztext();
  // Checked here, before anything is installed, rather than when the firewall phase
  // meets the line after the files.
  if (!firewall_list_well_formed(s.FirewallList)) return stop(code::bad_firewall_entry);
  at(52);
  for (int32_t& option : s.DialogOptions) option = in.i32();
  at(53);
  s.SharedFolderText.clear();
  if (s.ProductFlags.low & product_flag::low_uninstall_support) s.SharedFolderText = in.read_ltext();

  // The terminated lists also end where the stream ends: without their terminator the
  // end marker cannot follow either, so that is the code raised.
  at(54);
  s.ConditionalDeletes.clear();
  for (;;) {
    if (in.at_end()) return stop(code::bad_end_marker);
    std::string pattern = in.read_ztext();
    if (pattern == conditional_deletes_end) break;
    if (s.ConditionalDeletes.size() >= size_t(max_conditional_deletes)) return stop(code::too_many_conditional_deletes);
    ConditionalDelete entry;
    entry.path_pattern = std::move(pattern);
    entry.kind = in.u8();
    entry.value = in.read_ztext();
    entry.flags = in.u8();
    s.ConditionalDeletes.push_back(std::move(entry));
  }

  at(55);
  count = in.i32();
  if (count < 0 || count > max_list_entries) return stop(code::too_many_associations);
  s.FileAssociations.clear();
  for (int32_t i = 0; i < count; ++i) {
    FileAssociation entry;
    entry.flags = in.u32();
    for (std::string* text : {&entry.extension, &entry.class_name, &entry.description,
                              &entry.verb, &entry.verb_text, &entry.command, &entry.language,
                              &entry.icon})
      *text = in.read_ztext();
    s.FileAssociations.push_back(std::move(entry));
  }

  at(56);
  count = in.i32();
  if (count < 0 || count > max_list_entries) return stop(code::too_many_shortcuts);
  s.ShortcutEntries.clear();
  for (int32_t i = 0; i < count; ++i) {
    ShortcutEntry entry;
    for (std::string* text : {&entry.target, &entry.name, &entry.icon_file, &entry.arguments,
                              &entry.working_directory})
      *text = in.read_ztext();
    entry.desktop = in.u8();
    entry.start_menu = in.u8();
    entry.startup = in.u8();
    entry.custom_folder = in.read_ztext();
    entry.show_mode = in.u8();
    entry.keep = in.u8();
    entry.expand_target = true;
    s.ShortcutEntries.push_back(std::move(entry));
  }

  at(57);
  s.RootShortcutName = in.read_ztext();
  s.RootShortcutTarget = in.read_ztext();

  at(58);
  count = in.i32();
  if (count < 0 || count > max_list_entries) return stop(code::too_many_registration_values);
  s.RegistrationValues.clear();
  for (int32_t i = 0; i < count; ++i) {
    RegistrationValue entry;
    entry.name = in.read_ztext();
    entry.type = in.u8();
    entry.value = in.read_ztext();
    s.RegistrationValues.push_back(std::move(entry));
  }

  at(59);
  s.CloseApplications.clear();
  for (;;) {
    if (in.at_end()) return stop(code::bad_end_marker);
    std::string window_class = in.read_ztext();
    if (window_class == close_applications_end) break;
    if (s.CloseApplications.size() >= size_t(max_list_entries)) return stop(code::too_many_close_applications);
    CloseApplication entry;
    entry.window_class = std::move(window_class);
    entry.window_title = in.read_ztext();
    entry.application_name = in.read_ztext();
    entry.mode = in.u8();
    entry.phases = in.u8();
    s.CloseApplications.push_back(std::move(entry));
  }

  at(60);
  const int languages = in.u8();
  if (languages == 0 || languages > max_languages) return stop(code::bad_language_count);
  at(61);
  const int32_t messages = in.i32();
  if (messages < 1 || messages > max_messages) return stop(code::bad_message_count);
  at(62);
  s.LanguageNames.clear();
  s.LanguageIndex = 0;
  for (int i = 0; i < languages; ++i) {
    s.LanguageNames.push_back(in.read_ztext());
    if (s.LanguageNames.back() == "English") s.LanguageIndex = i;
  }
  at(63);
  s.Messages.clear();
  for (int32_t row = 0; row < messages; ++row) {
    // Past the end every text would be empty and the end marker is missing: stop here
    // rather than fill up to 10000 x 200 empty texts.
    if (in.at_end()) return stop(code::bad_end_marker);
    auto& texts = s.Messages.emplace_back();
    texts.reserve(size_t(languages));
    for (int i = 0; i < languages; ++i) texts.push_back(normalize_line_ends(in.read_ztext()));
  }
  at(64);
  if (in.u32() != settings_end_marker) return stop(code::bad_end_marker);

  s.InstallingText = expand_tags(s.InstallingText, s, env.os_description);
  result.position = in.position();
  return result;
}

}  // namespace halvard
