#include "installer/overwrite_rules.h"

#include <tuple>

#include "installer/version_compare.h"

namespace halvard {

namespace {

bool installs_into_install_dir(uint32_t kind) {
  return kind == file_kind::plain || kind == file_kind::shortcut ||
         (kind >= file_kind::versioned && kind <= file_kind::control_panel);
}

bool dated_kind(uint32_t kind) { return kind == file_kind::shared || kind == file_kind::font; }

bool versioned_kind(uint32_t kind) { return kind >= file_kind::system && kind <= file_kind::versioned; }

bool kept_at_uninstall(const FileRecord& record) { return (record.Flags & file_flag::keep_at_uninstall) != 0; }

OverwritePlan skip(std::string_view destination, std::string_view text) {
  OverwritePlan plan;
  if (!text.empty()) plan.log.append(destination).append(text);
  return plan;
}

}  // namespace

int compare_file_dates(const FileDate& a, const FileDate& b) {
  auto order = [](auto left, auto right) { return left < right ? -1 : (right < left ? 1 : 0); };
  if (has_date(a) != has_date(b)) return has_date(a) ? -1 : 1;
  if (has_date(a)) {
    int by_date = order(std::tie(a.year, a.month, a.day), std::tie(b.year, b.month, b.day));
    if (by_date != 0) return by_date;
  }
  if (has_time(a) != has_time(b)) return has_time(a) ? -1 : 1;
  if (!has_time(a)) return 0;
  return order(std::tie(a.hour, a.minute, a.second), std::tie(b.hour, b.minute, b.second));
}

NeededFacts needed_facts(const FileRecord& record) {
  NeededFacts needs;
  uint32_t mode = record.Flags & file_flag::overwrite_mask;
  if (mode == overwrite_mode::never) return needs;
  bool kind_rules = dated_kind(record.Kind) || versioned_kind(record.Kind);
  needs.existence = kind_rules || mode == overwrite_mode::only_existing || mode == overwrite_mode::keep_existing ||
                    mode == overwrite_mode::keep_newer;
  needs.date = kind_rules || mode == overwrite_mode::keep_newer;
  needs.version = versioned_kind(record.Kind) && !record.VersionText.empty();
  return needs;
}

OverwritePlan plan_overwrite(const FileRecord& record, std::string_view destination, const ExistingFile& existing) {
  const uint32_t kind = record.Kind;
  switch (record.Flags & file_flag::overwrite_mask) {
    case overwrite_mode::never:
      return skip(destination, {});
    case overwrite_mode::only_existing:
      if (!existing.exists) return skip(destination, {});
      break;
    case overwrite_mode::keep_existing:
      if (existing.exists) {
        OverwritePlan plan = skip(destination, log_already_exists);
        plan.record_existing = records_file_for_removal(record);
        return plan;
      }
      break;
    case overwrite_mode::keep_newer:
      if (existing.exists && existing.date_known && is_complete(existing.date) && is_complete(record.FileDate) &&
          compare_file_dates(existing.date, record.FileDate) > 0)
        return skip(destination, log_existing_newer);
      break;
    default:
      break;
  }

  OverwritePlan plan;
  plan.write = true;
  if (!existing.exists) return plan;
  if (dated_kind(kind)) {
    plan.existed = true;
    bool up_to_date = is_complete(record.FileDate) && existing.date_known &&
                      compare_file_dates(existing.date, record.FileDate) >= 0;
    if (up_to_date) {
      OverwritePlan skipped = skip(destination, log_up_to_date);
      skipped.existed = true;
      return skipped;
    }
    plan.log.append(destination).append(log_out_of_date);
  } else if (versioned_kind(kind)) {
    plan.existed = true;
    const bool record_skipped = kind == file_kind::versioned && !kept_at_uninstall(record);
    if (!record.VersionText.empty() && !existing.version.empty() &&
        compare_versions(record.VersionText, existing.version) <= 0) {
      OverwritePlan skipped = skip(destination, log_version_not_newer);
      skipped.record_existing = record_skipped;
      skipped.existed = true;
      return skipped;
    }
    if (existing.date_known && compare_file_dates(existing.date, record.FileDate) >= 0) {
      OverwritePlan skipped = skip(destination, log_date_not_newer);
      skipped.record_existing = record_skipped;
      skipped.existed = true;
      return skipped;
    }
    plan.log.append(destination).append(log_out_of_date);
  }
  return plan;
}

bool records_file_for_removal(const FileRecord& record) {
  return installs_into_install_dir(record.Kind) && !kept_at_uninstall(record);
}

bool records_folder_for_removal(const FileRecord& record) {
  return (installs_into_install_dir(record.Kind) || record.Kind == file_kind::shared) && !kept_at_uninstall(record);
}

std::string clean_version_text(std::string_view raw) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t first = 0, last = raw.size();
  while (first < last && blank(raw[first])) ++first;
  while (last > first && blank(raw[last - 1])) --last;
  std::string text(raw.substr(first, last - first));
  for (char& c : text)
    if (c == ',') c = '.';
  return text;
}

uint32_t applied_attributes(uint32_t current, uint32_t wanted) {
  uint32_t result = (current & ~file_attribute_mask) | (wanted & file_attribute_mask);
  const uint32_t normal = 0x80;
  if (result != normal) result &= ~normal;
  return result == 0 ? normal : result;
}

std::optional<char> drive_letter(std::string_view path) {
  if (!path.empty() && path[0] == '|') path.remove_prefix(1);
  if (path.size() < 2 || path[1] != ':') return std::nullopt;
  char c = path[0];
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return c;
  return std::nullopt;
}

std::string file_failure_line(std::string_view file_not_created_text, std::string_view path, std::string_view reason) {
  std::string line(file_not_created_text);
  line.append(" ").append(path).append("\r\n").append(reason).append("\r\n\r\n");
  return line;
}

std::string folder_failure_text(std::string_view folder_not_created_text, std::string_view folder,
                                std::string_view reason, std::string_view destination) {
  std::string text(folder_not_created_text);
  text.append(" ").append(folder).append("\r\n").append(reason).append("\r\n\r\nNot installed: ");
  text.append(destination).append("\r\n\r\n");
  return text;
}

InUsePlan plan_in_use(std::string_view file_not_created_text, std::string_view destination, const InUseFacts& facts) {
  InUsePlan plan;
  plan.report.append("\r\n").append(file_not_created_text).append(" ").append(destination).append("\r\n");
  plan.replace = (facts.existed || facts.replace_new_files) && facts.windows_error != windows_error_invalid_name;
  std::optional<char> drive = drive_letter(destination);
  if (!facts.drive_present && drive) {
    plan.report.append("Drive ").append(1, *drive).append(": is not present.\r\n");
    plan.replace = false;
  } else if (!facts.error_text.empty()) {
    plan.report.append(facts.error_text).append("\r\n\r\n");
  }
  return plan;
}

std::string replacement_registered_text(std::string_view destination, std::string_view temporary) {
  std::string text("\"");
  text.append(destination).append("\" was successfully registered for replacement.\r\nTemporary file is \"");
  text.append(temporary).append("\"\r\nReboot will be required.\r\n\r\n");
  return text;
}

std::string no_temporary_file_text(std::string_view destination, std::string_view error_text) {
  std::string text("Failed to register '");
  text.append(destination).append("' for replacement because no temporary file could be created.\r\n");
  text.append(error_text).append("\r\n\r\n");
  return text;
}

std::string replacement_failed_text(std::string_view destination, std::string_view temporary,
                                    std::string_view error_text) {
  std::string text("Failed to register '");
  text.append(destination).append("' for replacement with temporary file '").append(temporary).append("'\r\n");
  text.append(error_text).append("\r\n\r\n");
  return text;
}

}  // namespace halvard
