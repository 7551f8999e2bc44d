#include "settings_writer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "package/settings_stream.h"

namespace halvard {
namespace {

class StreamWriter {
 public:
  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v) {
    u8(uint8_t(v));
    u8(uint8_t(v >> 8));
  }
  void u32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) u8(uint8_t(v >> shift));
  }
  void i32(int32_t v) { u32(uint32_t(v)); }
  void f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int shift = 0; shift < 64; shift += 8) u8(uint8_t(bits >> shift));
  }
  void raw(const void* data, size_t n) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), bytes, bytes + n);
  }
  void ztext(std::string_view text) {
    raw(text.data(), std::min(text.find('\0'), text.size()));
    u8(0);
  }
  void ltext(std::string_view text) {
    i32(int32_t(text.size()));
    raw(text.data(), text.size());
  }
  std::vector<uint8_t> take() { return std::move(out_); }

 private:
  std::vector<uint8_t> out_;
};

}  // namespace

std::vector<uint8_t> write_settings(const InstallSettings& s) {
  StreamWriter w;
  w.u32(s.ProductFlags.low);
  w.u32(s.ProductFlags.high);
  w.u32(s.SetupOptions);
  w.u8(s.RunMode);
  w.ztext(s.TaskbarText);
  w.ztext(s.DisplayTitle);
  w.f64(s.TitleSize);
  w.u32(s.DialogValue);
  w.u16(s.StepDelay);
  w.u8(s.ShortcutMode);
  for (int32_t field : {s.UninstallerDate.year, s.UninstallerDate.month, s.UninstallerDate.day,
                        s.UninstallerDate.hour, s.UninstallerDate.minute,
                        s.UninstallerDate.second})
    w.i32(field);
  w.ztext(s.Publisher);
  w.ztext(s.ProductName);
  w.ztext(s.ProductDescription);
  w.u8(s.SharedBase);
  w.ztext(s.SharedPath);
  w.ztext(s.ProductStartMenu);
  w.ztext(s.DisplayVersion);
  w.ztext(s.DefaultInstallDir);
  w.ztext(s.ProductRegistry);
  w.ztext(s.RegistryScript);
  w.i32(s.BitmapSize);
  w.i32(s.StretchMode);
  w.i32(int32_t(s.LicenseTexts.size()));
  for (const auto& text : s.LicenseTexts) w.ltext(text);
  w.i32(int32_t(s.ReadmeTexts.size()));
  for (const auto& text : s.ReadmeTexts) w.ltext(text);
  w.ztext(s.UninstallSubdir);
  w.ztext(s.UninstallerName);
  w.ztext(s.UninstallKeyName);
  w.ztext(s.InstallDirValue);
  w.ztext(s.InstallingText);
  w.u8(s.SidePictureFrame);
  w.u32(s.TitleColor);
  w.u8(s.TitleShadow);
  w.u8(s.TitlePosition);
  w.ztext(s.TitleFont);
  w.u32(s.TopColor);
  w.u32(s.BottomColor);
  w.i32(int32_t(s.BackgroundBitmap.size()));
  if (!s.BackgroundBitmap.empty()) {
    w.raw(s.BackgroundBitmap.data(), s.BackgroundBitmap.size());
    w.i32(s.BitmapTPI);
  }
  w.u8(s.CopyrightPos);
  if (s.CopyrightPos != 0) {
    w.u32(s.CopyrightColor);
    w.f64(s.CopyrightSize);
    w.ztext(s.CopyrightText);
    w.ztext(s.CopyrightFont);
  }
  if (s.ProductFlags.low & product_flag::low_master_product) {
    w.ztext(s.MasterProduct);
    w.ztext(s.MasterProductMessage);
  }
  w.ztext(s.DesktopFolderName);
  w.ltext(s.DesktopIconData);
  for (const std::string* batch : {&s.PreInstallBatch, &s.PostInstallBatch, &s.ExitBatch,
                                   &s.UninstallBatch1, &s.UninstallBatch2, &s.UpgradeBatch,
                                   &s.ReinstallBatch})
    w.ztext(*batch);
  w.raw(s.ReservedBlock.data(), s.ReservedBlock.size());
  w.u32(s.ExcludedSystems);
  w.u8(s.DataOnDisk);
  w.u8(s.AdminRequirement);
  for (const std::string* text : {&s.ExitViewFile, &s.ExitLaunchProgram, &s.ExitOpenFile,
                                  &s.NotifyURL1, &s.NotifyURL2, &s.NotifyURL3, &s.NotifyURL4,
                                  &s.NotifyURL})
    w.ztext(*text);
  w.ztext(s.MinimumUpgradeVersion);
  w.ztext(s.Password);
  w.ztext(s.MustUninstallBelow);
  w.ztext(s.FirewallList);
  for (int32_t option : s.DialogOptions) w.i32(option);
  if (s.ProductFlags.low & product_flag::low_uninstall_support) w.ltext(s.SharedFolderText);

  for (const auto& entry : s.ConditionalDeletes) {
    w.ztext(entry.path_pattern);
    w.u8(entry.kind);
    w.ztext(entry.value);
    w.u8(entry.flags);
  }
  w.ztext(conditional_deletes_end);

  w.i32(int32_t(s.FileAssociations.size()));
  for (const auto& entry : s.FileAssociations) {
    w.u32(entry.flags);
    for (const std::string* text : {&entry.extension, &entry.class_name, &entry.description,
                                    &entry.verb, &entry.verb_text, &entry.command,
                                    &entry.language, &entry.icon})
      w.ztext(*text);
  }

  w.i32(int32_t(s.ShortcutEntries.size()));
  for (const auto& entry : s.ShortcutEntries) {
    for (const std::string* text : {&entry.target, &entry.name, &entry.icon_file,
                                    &entry.arguments, &entry.working_directory})
      w.ztext(*text);
    w.u8(entry.desktop);
    w.u8(entry.start_menu);
    w.u8(entry.startup);
    w.ztext(entry.custom_folder);
    w.u8(entry.show_mode);
    w.u8(entry.keep);
  }

  w.ztext(s.RootShortcutName);
  w.ztext(s.RootShortcutTarget);

  w.i32(int32_t(s.RegistrationValues.size()));
  for (const auto& entry : s.RegistrationValues) {
    w.ztext(entry.name);
    w.u8(entry.type);
    w.ztext(entry.value);
  }

  for (const auto& entry : s.CloseApplications) {
    w.ztext(entry.window_class);
    w.ztext(entry.window_title);
    w.ztext(entry.application_name);
    w.u8(uint8_t(entry.mode));
    w.u8(entry.phases);
  }
  w.ztext(close_applications_end);

  const size_t languages = s.LanguageNames.size();
  w.u8(uint8_t(languages));
  w.i32(int32_t(s.Messages.size()));
  for (const auto& name : s.LanguageNames) w.ztext(name);
  for (const auto& row : s.Messages)
    for (size_t i = 0; i < languages; ++i) w.ztext(i < row.size() ? row[i] : std::string());
  w.u32(settings_end_marker);
  return w.take();
}

}  // namespace halvard
