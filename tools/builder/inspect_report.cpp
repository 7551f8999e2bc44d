// The inspection as a tree of named values: header words, every settings field, the
// message table and the file table.

#include <cstdio>

#include "builtin_messages.h"
#include "option_names.h"
#include "package/checksum.h"
#include "package_inspector.h"
#include "text_encoding.h"

namespace halvard::builder {
namespace {

using N = ReportNode;

N num(int64_t v) { return N::of(v); }
N txt(const std::string& ansi) { return N::of(cp1252_to_utf8(ansi)); }

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", unsigned(v));
  return buf;
}

N flags(uint32_t v, std::span<const NamedBit> names) {
  N n = N::object();
  n.add("value", num(v));
  n.add("hex", N::of(hex(v)));
  N list = N::list();
  for (const NamedBit& b : names)
    if ((v & b.mask) == b.mask) list.push(N::of(std::string(b.name)));
  if (uint32_t rest = v & ~[&] { uint32_t m = 0; for (const NamedBit& b : names) m |= b.mask; return m; }())
    list.push(N::of(hex(rest)));
  n.add("names", std::move(list));
  return n;
}

N date(const FileDate& d) {
  if (d.month == 0) return N::of(std::string("none"));
  char buf[64];
  if (d.hour < 0)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
  return N::of(std::string(buf));
}

N bytes(std::span<const uint8_t> b) {
  N n = N::object();
  n.add("size", num(int64_t(b.size())));
  n.add("checksum", N::of(hex(Checksum32(b))));
  return n;
}

N texts(const std::vector<std::string>& list) {
  N n = N::list();
  for (const auto& t : list) n.push(txt(t));
  return n;
}

N header(const PackageHeader& h) {
  N n = N::object();
  n.add("Magic", N::of(hex(h.Magic)));
  n.add("EngineVersion", num(h.EngineVersion));
  n.add("StreamSize", num(h.StreamSize));
  n.add("StreamChecksum", N::of(hex(h.StreamChecksum)));
  n.add("EngineChecksum", N::of(hex(h.EngineChecksum)));
  n.add("DataEnd", num(h.DataEnd));
  n.add("FileCount", num(h.FileCount));
  n.add("DataSize", num(h.DataSize));
  n.add("DataChecksum", N::of(hex(h.DataChecksum)));
  N sizes = N::list();
  for (int32_t s : h.FileDataSizes) sizes.push(num(s));
  n.add("FileDataSizes", std::move(sizes));
  n.add("StreamOffset", num(h.StreamOffset));
  n.add("DataOffset", num(h.DataOffset));
  return n;
}

N settings(const InstallSettings& s) {
  N n = N::object();
  N pf = N::object();
  pf.add("low", flags(s.ProductFlags.low, product_flag_low_names()));
  pf.add("high", flags(s.ProductFlags.high, product_flag_high_names()));
  n.add("ProductFlags", std::move(pf));
  n.add("SetupOptions", flags(s.SetupOptions, setup_option_names()));
  n.add("RunMode", num(s.RunMode));
  n.add("MaximizedBackground", N::of(s.MaximizedBackground));
  n.add("TaskbarText", txt(s.TaskbarText));
  n.add("DisplayTitle", txt(s.DisplayTitle));
  n.add("TitleSize", N::of(s.TitleSize));
  n.add("DialogValue", num(s.DialogValue));
  n.add("StepDelay", num(s.StepDelay));
  n.add("ShortcutMode", num(s.ShortcutMode));
  n.add("UninstallerDate", date(s.UninstallerDate));
  n.add("Publisher", txt(s.Publisher));
  n.add("ProductName", txt(s.ProductName));
  n.add("ProductDescription", txt(s.ProductDescription));
  n.add("SharedBase", num(s.SharedBase));
  n.add("SharedPath", txt(s.SharedPath));
  n.add("ProductStartMenu", txt(s.ProductStartMenu));
  n.add("DisplayVersion", txt(s.DisplayVersion));
  n.add("DefaultInstallDir", txt(s.DefaultInstallDir));
  n.add("ProductRegistry", txt(s.ProductRegistry));
  n.add("RegistryScript", txt(s.RegistryScript));
  n.add("BitmapSize", num(s.BitmapSize));
  n.add("StretchMode", num(s.StretchMode));
  n.add("LicenseTexts", texts(s.LicenseTexts));
  n.add("ReadmeTexts", texts(s.ReadmeTexts));
  n.add("UninstallSubdir", txt(s.UninstallSubdir));
  n.add("UninstallerName", txt(s.UninstallerName));
  n.add("UninstallKeyName", txt(s.UninstallKeyName));
  n.add("InstallDirValue", txt(s.InstallDirValue));
  n.add("InstallingText", txt(s.InstallingText));
  n.add("SidePictureFrame", num(s.SidePictureFrame));
  n.add("TitleColor", N::of(hex(s.TitleColor)));
  n.add("TitleShadow", num(s.TitleShadow));
  n.add("TitlePosition", num(s.TitlePosition));
  n.add("TitleFont", txt(s.TitleFont));
  n.add("TopColor", N::of(hex(s.TopColor)));
  n.add("BottomColor", N::of(hex(s.BottomColor)));
  n.add("MonoColor", N::of(s.MonoColor));
  n.add("BackgroundBitmap", bytes(s.BackgroundBitmap));
  n.add("BitmapTPI", num(s.BitmapTPI));
  n.add("CopyrightPos", num(s.CopyrightPos));
  n.add("CopyrightColor", N::of(hex(s.CopyrightColor)));
  n.add("CopyrightSize", N::of(s.CopyrightSize));
  n.add("CopyrightText", txt(s.CopyrightText));
  n.add("CopyrightFont", txt(s.CopyrightFont));
  n.add("MasterProduct", txt(s.MasterProduct));
  n.add("MasterProductMessage", txt(s.MasterProductMessage));
  n.add("DesktopFolderName", txt(s.DesktopFolderName));
  n.add("DesktopIconData", bytes(std::span(reinterpret_cast<const uint8_t*>(s.DesktopIconData.data()),
                                           s.DesktopIconData.size())));
  n.add("PreInstallBatch", txt(s.PreInstallBatch));
  n.add("PostInstallBatch", txt(s.PostInstallBatch));
  n.add("ExitBatch", txt(s.ExitBatch));
  n.add("UninstallBatch1", txt(s.UninstallBatch1));
  n.add("UninstallBatch2", txt(s.UninstallBatch2));
  n.add("UpgradeBatch", txt(s.UpgradeBatch));
  n.add("ReinstallBatch", txt(s.ReinstallBatch));
  N reserved = N::list();
  for (uint8_t b : s.ReservedBlock) reserved.push(num(b));
  n.add("ReservedBlock", std::move(reserved));
  n.add("ExcludedSystems", flags(s.ExcludedSystems, excluded_system_names()));
  n.add("DataOnDisk", num(s.DataOnDisk));
  n.add("AdminRequirement", num(s.AdminRequirement));
  n.add("ExitViewFile", txt(s.ExitViewFile));
  n.add("ExitLaunchProgram", txt(s.ExitLaunchProgram));
  n.add("ExitOpenFile", txt(s.ExitOpenFile));
  n.add("NotifyURL1", txt(s.NotifyURL1));
  n.add("NotifyURL2", txt(s.NotifyURL2));
  n.add("NotifyURL3", txt(s.NotifyURL3));
  n.add("NotifyURL4", txt(s.NotifyURL4));
  n.add("NotifyURL", txt(s.NotifyURL));
  n.add("MinimumUpgradeVersion", txt(s.MinimumUpgradeVersion));
  n.add("Password", txt(s.Password));
  n.add("MustUninstallBelow", txt(s.MustUninstallBelow));
  n.add("FirewallList", txt(s.FirewallList));
  N dialog = N::list();
  for (int32_t v : s.DialogOptions) dialog.push(num(v));
  n.add("DialogOptions", std::move(dialog));
  n.add("SharedFolderText", txt(s.SharedFolderText));

  N deletes = N::list();
  for (const auto& d : s.ConditionalDeletes) {
    N e = N::object();
    e.add("path_pattern", txt(d.path_pattern));
    e.add("kind", num(d.kind));
    e.add("value", txt(d.value));
    e.add("flags", num(d.flags));
    deletes.push(std::move(e));
  }
  n.add("ConditionalDeletes", std::move(deletes));
  N assoc = N::list();
  for (const auto& a : s.FileAssociations) {
    N e = N::object();
    e.add("flags", num(a.flags));
    e.add("extension", txt(a.extension));
    e.add("class_name", txt(a.class_name));
    e.add("description", txt(a.description));
    e.add("verb", txt(a.verb));
    e.add("verb_text", txt(a.verb_text));
    e.add("command", txt(a.command));
    e.add("language", txt(a.language));
    e.add("icon", txt(a.icon));
    assoc.push(std::move(e));
  }
  n.add("FileAssociations", std::move(assoc));
  N shortcuts = N::list();
  for (const auto& sc : s.ShortcutEntries) {
    N e = N::object();
    e.add("target", txt(sc.target));
    e.add("name", txt(sc.name));
    e.add("icon_file", txt(sc.icon_file));
    e.add("arguments", txt(sc.arguments));
    e.add("working_directory", txt(sc.working_directory));
    e.add("desktop", num(sc.desktop));
    e.add("start_menu", num(sc.start_menu));
    e.add("startup", num(sc.startup));
    e.add("custom_folder", txt(sc.custom_folder));
    e.add("show_mode", num(sc.show_mode));
    e.add("keep", num(sc.keep));
    shortcuts.push(std::move(e));
  }
  n.add("ShortcutEntries", std::move(shortcuts));
  n.add("RootShortcutName", txt(s.RootShortcutName));
  n.add("RootShortcutTarget", txt(s.RootShortcutTarget));
  N values = N::list();
  for (const auto& v : s.RegistrationValues) {
    N e = N::object();
    e.add("name", txt(v.name));
    e.add("type", num(v.type));
    e.add("value", txt(v.value));
    values.push(std::move(e));
  }
  n.add("RegistrationValues", std::move(values));
  N close = N::list();
  for (const auto& c : s.CloseApplications) {
    N e = N::object();
    e.add("window_class", txt(c.window_class));
    e.add("window_title", txt(c.window_title));
    e.add("application_name", txt(c.application_name));
    e.add("mode", num(c.mode));
    e.add("phases", num(c.phases));
    close.push(std::move(e));
  }
  n.add("CloseApplications", std::move(close));
  n.add("LanguageNames", texts(s.LanguageNames));
  n.add("LanguageIndex", num(s.LanguageIndex));
  return n;
}

N messages(const InstallSettings& s) {
  N table = N::list();
  for (size_t row = 0; row < s.Messages.size(); ++row) {
    N r = N::object();
    r.add("number", num(int64_t(row)));
    // A package may carry rows the engine never shows: those have no name.
    const BuiltinMessage* name = find_builtin_message(int(row));
    r.add("name", name ? N::of(std::string(name->name)) : N());
    for (size_t c = 0; c < s.Messages[row].size() && c < s.LanguageNames.size(); ++c)
      r.add(cp1252_to_utf8(s.LanguageNames[c]), txt(s.Messages[row][c]));
    table.push(std::move(r));
  }
  return table;
}

// What the kind makes of the record's fields, in the project's words: a font's and an
// applet's name (carried in VersionText), an MSI package's user-interface level
// (MsiValue) and removal record (Flags bit 7), and whether the file is kept at removal.
N component(const FileRecord& r) {
  const bool keep = (r.Flags & file_flag::keep_at_uninstall) != 0;
  N c = N::object();
  switch (r.Kind) {
    case file_kind::font:
      c.add("font_name", txt(r.VersionText));
      c.add("keep", N::of(keep));
      break;
    case file_kind::control_panel: {
      const std::string file_name = r.Name.substr(r.Name.find_last_of('\\') + 1);
      c.add("applet_name", r.VersionText.empty() ? N::of(cp1252_to_utf8(file_name) + " (the file's name)")
                                                 : txt(r.VersionText));
      c.add("keep", N::of(keep));
      break;
    }
    case file_kind::msi_package:
      c.add("msi_ui_level", N::of(describe_value(msi_ui_level_names(), r.MsiValue & 0xF) +
                                  ((r.MsiValue & ~0xFu) ? " + " + hex(r.MsiValue & ~0xFu) : "") + " (" +
                                  std::to_string(r.MsiValue) + ")"));
      c.add("msi_remove_at_uninstall", N::of((r.Flags & file_flag::msi_list) != 0));
      c.add("keep", N::of(keep));
      break;
    default:
      return N();
  }
  return c;
}

N file_table(const std::vector<InspectedFile>& files) {
  N list = N::list();
  for (const InspectedFile& f : files) {
    const FileRecord& r = f.record;
    N e = N::object();
    e.add("Name", txt(r.Name));
    e.add("Kind", N::of(describe_value(file_kind_names(), r.Kind)));
    e.add("Flags", flags(r.Flags, file_flag_names()));
    e.add("Overwrite", N::of(describe_value(overwrite_mode_names(), r.Flags & file_flag::overwrite_mask)));
    e.add("Attributes", r.Attributes == file_attributes_unchanged ? N::of(std::string("unchanged"))
                                                                  : flags(r.Attributes, file_attribute_names()));
    e.add("FileDate", date(r.FileDate));
    e.add("VersionText", txt(r.VersionText));
    if (r.has_shortcut_text()) e.add("ShortcutText", txt(r.ShortcutText));
    e.add("ShortcutText2", txt(r.ShortcutText2));
    e.add("Destination", txt(r.Destination));
    e.add("ShortcutText3", txt(r.ShortcutText3));
    if (r.has_msi_value()) e.add("MsiValue", num(r.MsiValue));
    if (N c = component(r); c.type != N::Type::null) e.add("component", std::move(c));
    e.add("size", num(f.data_size));
    e.add("data_checksum", N::of(hex(f.data_checksum)));
    e.add("installs_to", txt(f.destination));
    list.push(std::move(e));
  }
  return list;
}

}  // namespace

ReportNode inspection_report(const Inspection& in, const std::filesystem::path& file) {
  N root = N::object();
  root.add("file", N::of(file.string()));
  root.add("size", num(int64_t(in.file_size)));
  root.add("sound", N::of(in.sound()));
  if (!in.failure.empty()) root.add("failure", N::of(in.failure));
  if (in.package_error) root.add("package_error", num(in.package_error));
  if (in.engine_arch) {
    root.add("engine", N::of(arch_description(*in.engine_arch)));
    root.add("engine_arch", N::of(std::string(arch_name(*in.engine_arch))));
  } else {
    root.add("engine", N::of("unknown: " + in.engine_unknown));
    root.add("engine_arch", N());
  }
  if (in.section.outcome == SetupSectionLocation::Outcome::found) {
    N sec = N::object();
    sec.add("index", num(in.section.section_index));
    sec.add("VirtualAddress", N::of(hex(in.section.VirtualAddress)));
    sec.add("PointerToRawData", num(in.section.PointerToRawData));
    sec.add("SizeOfRawData", num(in.section.SizeOfRawData));
    root.add("section", std::move(sec));
  }
  if (in.section.outcome == SetupSectionLocation::Outcome::found) {
    N sig = N::object();
    sig.add("signed", N::of(in.signature.is_signed));
    if (in.signature.is_signed) {
      sig.add("covers_file", in.signature.note.empty() ? N::of(in.signature.covers_file) : N());
      if (!in.signature.digest_name.empty()) sig.add("digest", N::of(in.signature.digest_name));
      sig.add("CertificateTable", num(in.section.CertificateTable));
      sig.add("CertificateSize", num(in.section.CertificateSize));
      if (!in.signature.note.empty()) sig.add("note", N::of(in.signature.note));
    }
    root.add("signature", std::move(sig));
  }
  if (in.header_read) root.add("header", header(in.header));
  if (in.settings_read) {
    root.add("settings", settings(in.settings));
    root.add("engine_copy_size", num(int64_t(in.engine_copy_size)));
    root.add("messages", messages(in.settings));
  }
  if (in.files_read) root.add("files", file_table(in.files));
  return root;
}

}  // namespace halvard::builder
