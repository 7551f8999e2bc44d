#include "records/installed_product.h"

#include "foundation/text.h"
#include "records/uninstall_records.h"

namespace halvard {
namespace {


}  // namespace

bool read_installed_product(const RegistrationSource& source, std::string_view name,
                            const RegistrationDefaults& defaults, InstallSettings& s, InstalledProduct& product) {
  auto text = [&](std::string_view value) { return source.text(value).value_or(std::string()); };
  auto number = [&](std::string_view value, uint32_t fallback) { return source.number(value).value_or(fallback); };
  auto real = [&](std::string_view value, double fallback) {
    std::optional<std::string> stored = source.text(value);
    std::optional<double> parsed = stored ? parse_real_text(*stored) : std::nullopt;
    return parsed.value_or(fallback);
  };

  s.ProductName = text("DisplayName");
  if (is_blank_text(s.ProductName)) s.ProductName = std::string(name);
  s.InstallDir = text("InstallLocation");
  if (is_blank_text(s.InstallDir)) return false;
  s.ProductFlags = parse_product_flags(text("ProductFlags")).value_or(ProductFlagWords{});
  if (s.ProductFlags.low & product_flag::low_silent_uninstall) s.AutomaticMode = true;

  s.DisplayTitle = text("DisplayTitle");
  s.TitleSize = real("TitleSize", 1.0);
  s.TitleColor = number("TitleColor", defaults.window_text_colour);
  s.TitleShadow = static_cast<uint8_t>(number("TitleShadow", 1));
  s.TopColor = number("TopColor", defaults.window_colour);
  s.BottomColor = number("BottomColor", 0);
  s.MonoColor = number("MonoColor", 1) != 0;
  s.TitlePosition = static_cast<uint8_t>(number("TitlePosition", 0));
  s.TitleFont = text("TitleFont");
  s.TaskbarText = text("TaskbarText");
  s.CopyrightText = text("CopyrightText");
  s.CopyrightFont = text("CopyrightFont");
  s.CopyrightSize = real("CopyrightSize", 0.0);
  s.CopyrightColor = parse_colour_text(text("CopyrightColor")).value_or(0);
  s.CopyrightPos = static_cast<uint8_t>(number("CopyrightPos", 0));

  s.DisplayVersion = text("DisplayVersion");
  s.UninstallSubdir = text("UninstallSubdir");
  product.product_fonts = text("ProductFonts");
  s.ShortcutMode = static_cast<uint8_t>(number("ShortcutMode", 0));
  s.NotifyURL = text("NotifyURL");
  if (s.ProductFlags.low & product_flag::low_keep_background_bitmap) {
    s.BitmapTPI = static_cast<int32_t>(number("BitmapTPI", uint32_t(-1)));
    s.StretchMode = static_cast<int32_t>(number("StretchMode", 0));
    s.BitmapSize = static_cast<int32_t>(number("BitmapSize", 0));
  }
  s.UninstallBatch1 = text("UninstallBatch1");
  s.UninstallBatch2 = text("UninstallBatch2");
  product.shared_files = text("SharedFiles");
  product.start_menu = text("ProductStartMenu");
  s.ProductRegistry = text("ProductRegistry");
  product.install_dir_held_files = number("InstallDirHeldFiles", 0) != 0;
  return true;
}

std::string no_product_text(std::string_view name) {
  return "No product named '" + std::string(name) + "' is installed.";
}

std::string inaccessible_registration_text(std::string_view product) {
  return "Unable to access the uninstall information for:\r\n" + std::string(product) +
         "\r\n\r\nThe uninstallation cannot be performed.";
}

std::string corrupt_registration_text(std::string_view product) {
  return "The uninstall information for " + std::string(product) +
         " is corrupt.\r\n\r\nThe uninstallation cannot be performed.";
}

}  // namespace halvard
