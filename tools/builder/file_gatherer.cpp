#include "file_gatherer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <map>
#include <system_error>
#include <tuple>

#include "glob.h"
#include "text_encoding.h"

namespace halvard::builder {
namespace fs = std::filesystem;
namespace {

std::string slashes(std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

std::string backslashes(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

bool same_file(const fs::path& a, const std::vector<fs::path>& skip) {
  std::error_code ec;
  for (const fs::path& s : skip)
    if (fs::equivalent(a, s, ec)) return true;
  return false;
}

// The rule's matches as paths relative to the project folder ('/' separated), sorted.
// `unreadable` is set when a folder could not be listed (already reported).
std::vector<std::string> matches(const Project& project, const FileRule& rule, const std::string& pattern,
                                 std::vector<std::string>& errors, bool& unreadable) {
  std::vector<std::string> found;
  if (!has_wildcards(pattern)) {
    // One file named outright: when it is not there, say so and why, not "no match".
    struct stat info {};
    if (::stat((project.folder / pattern).string().c_str(), &info) != 0) {
      const int error = errno;
      if (rule.optional && (error == ENOENT || error == ENOTDIR)) return found;
      errors.push_back(rule.where.text() + ": the file \"" + rule.source + "\" " +
                       (error == ENOENT || error == ENOTDIR ? "does not exist" : "cannot be reached") +
                       " (relative to the project folder): " + std::strerror(error));
      unreadable = true;
    } else if (S_ISDIR(info.st_mode)) {
      errors.push_back(rule.where.text() + ": \"" + rule.source + "\" is a folder, not a file; \"" + pattern +
                       "/**\" takes every file in it");
      unreadable = true;
    } else if (!S_ISREG(info.st_mode)) {
      errors.push_back(rule.where.text() + ": \"" + rule.source + "\" is not a regular file");
      unreadable = true;
    } else {
      found.push_back(pattern);
    }
    return found;
  }
  const std::string fixed = glob_fixed_folder(pattern);
  const fs::path root = project.folder / fixed;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return found;
  // A folder that cannot be read ends the build: skipping it would ship an installer
  // without its files and say nothing.
  fs::path listing = root;
  fs::recursive_directory_iterator it(root, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    listing = it->path();
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    std::string rel = it->path().lexically_relative(root).generic_string();
    if (!fixed.empty()) rel = fixed + "/" + rel;
    if (glob_match(pattern, rel)) found.push_back(std::move(rel));
  }
  if (ec) {
    errors.push_back(rule.where.text() + ": cannot list the folder \"" +
                     listing.lexically_relative(project.folder).generic_string() + "\": " + ec.message());
    unreadable = true;
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Letters folded the way Windows compares file names (ASCII and the Windows-1252 letters).
std::string folded(std::string text) {
  for (char& c : text) {
    const auto b = uint8_t(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) c = char(b + 0x20);
    if (b == 0x8A || b == 0x8C || b == 0x8E) c = char(b + 0x10);  // Š Œ Ž
    if (b == 0x9F) c = char(0xFF);                                // Ÿ
  }
  return text;
}

// Where a kind puts a file that has no Destination of its own.
std::string folder_of_kind(uint32_t kind) {
  switch (kind) {
    case file_kind::shared: return "<shared>";
    case file_kind::font: return "<fonts>";
    case file_kind::system:
    case file_kind::com_server:
    case file_kind::type_library: return "<system>";
    default: return "<install>";
  }
}

}  // namespace

FileDate file_date_of(const fs::path& file, Environment environment) {
  std::error_code ec;
  const auto written = fs::last_write_time(file, ec);
  if (ec) return {};
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::file_clock::to_sys(written).time_since_epoch())
                     .count();
  const std::string epoch = environment("SOURCE_DATE_EPOCH");
  if (!epoch.empty()) {
    char* end = nullptr;
    const long long limit = std::strtoll(epoch.c_str(), &end, 10);
    if (!*end && limit >= 0 && seconds > limit) seconds = limit;
  }
  const std::time_t t = std::time_t(seconds);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

GatherResult gather_files(const Project& project, const std::vector<fs::path>& skip, Environment environment) {
  GatherResult result;
  auto& errors = result.errors;
  // Where each stored file lands, to refuse two files for one place.
  std::map<std::tuple<uint32_t, bool, std::string, std::string>, std::string> placed;
  // The same, as Windows will see it: names in any case, the kind's own folder.
  std::map<std::tuple<bool, std::string, std::string>, std::pair<std::string, std::string>> named;
  // Each source file taken so far, by the entry that took it first.
  std::map<std::string, std::string> taken;

  for (const FileRule& rule : project.files) {
    const std::string pattern = slashes(rule.source);
    if (pattern.empty()) continue;  // already reported by the loader
    if (fs::path(pattern).is_absolute()) {
      errors.push_back(rule.where.text() + ": 'source' must be relative to the project folder");
      continue;
    }
    bool unreadable = false;
    std::vector<std::string> found = matches(project, rule, pattern, errors, unreadable);
    if (unreadable) continue;
    std::erase_if(found, [&](const std::string& rel) {
      for (const std::string& ex : rule.exclude)
        if (glob_match(slashes(ex), rel)) return true;
      return same_file(project.folder / rel, skip);
    });
    if (found.empty()) {
      if (!rule.optional)
        errors.push_back(rule.where.text() + ": no file matches \"" + rule.source +
                         "\" (relative to the project folder; add optional = true to allow that)");
      continue;
    }
    if (!rule.name.empty() && found.size() != 1) {
      errors.push_back(rule.where.text() + ": 'name' needs a 'source' that matches exactly one file; \"" +
                       rule.source + "\" matches " + std::to_string(found.size()));
      continue;
    }
    // Said once the entry's files are placed, and only when they raised no error: a
    // file bound for a place already taken is the message then.
    std::string all_taken;
    if (has_wildcards(pattern) &&
        std::all_of(found.begin(), found.end(), [&](const std::string& rel) { return taken.count(rel) != 0; }))
      all_taken = rule.where.text() + ": every file \"" + rule.source +
                  "\" matches is already stored by an earlier [[files]] entry (" + taken[found[0]] +
                  "); this entry stores them a second time";
    for (const std::string& rel : found) taken.emplace(rel, rule.where.text());
    const size_t errors_before = errors.size();
    std::string base = slashes(rule.base);
    while (!base.empty() && base.back() == '/') base.pop_back();
    const bool explicit_base = !rule.base.empty();
    if (!explicit_base) base = has_wildcards(pattern) ? glob_fixed_folder(pattern) : fs::path(pattern).parent_path().generic_string();

    for (const std::string& rel : found) {
      std::string stored;
      if (!rule.name.empty()) {
        stored = slashes(rule.name);
      } else if (base.empty()) {
        stored = rel;
      } else if (rel.size() > base.size() && rel.compare(0, base.size(), base) == 0 && rel[base.size()] == '/') {
        stored = rel.substr(base.size() + 1);
      } else {
        errors.push_back(rule.where.text() + ": \"" + rel + "\" does not lie under 'base' \"" + rule.base + "\"");
        continue;
      }
      std::string into = slashes(rule.into);
      while (!into.empty() && into.back() == '/') into.pop_back();
      if (!into.empty()) stored = into + "/" + stored;

      GatheredFile file;
      file.source = project.folder / rel;
      file.where = rule.where.text() + " (\"" + rel + "\")";
      file.record = rule.record;
      auto name = utf8_to_cp1252(backslashes(stored));
      std::string composed;
      const std::string why =
          name ? std::string() : cp1252_refusal(stored, &composed);
      // A name Windows-1252 cannot hold travels as "|" + UTF-8, which the
      // engine writes through the wide calls. A decomposed accent that composes
      // into Windows-1252 is still refused: stored as it is, it would be a
      // second, look-alike name.
      if (!name && composed.empty() && is_utf8(stored))
        name = "|" + backslashes(stored);
      if (!name) {
        std::string text = rule.where.text() + ": the name \"" + escape_for_cp1252(stored) + "\"";
        if (rel != stored) text += " (of \"" + escape_for_cp1252(rel) + "\")";
        text += " holds a character that Windows-1252 cannot show: " + why;
        if (!composed.empty())
          text += "; composed, the name is \"" + composed + "\", which it can show: rename the file" +
                  (found.size() == 1 ? " or store it with name = \"" + composed + "\"" : "");
        errors.push_back(text);
        continue;
      }
      file.record.Name = std::move(*name);
      std::error_code ec;
      (void)fs::last_write_time(file.source, ec);
      if (!ec) file.size = fs::file_size(file.source, ec);
      if (ec) {
        errors.push_back(file.where + ": cannot read the file's size and date: " + ec.message());
        continue;
      }
      if (rule.date_source == DateSource::modified_time) file.record.FileDate = file_date_of(file.source, environment);
      if (file.size > uint64_t(max_file_record_data)) {
        errors.push_back(file.where + ": the file is larger than the 1 GiB a package can hold per file");
        continue;
      }
      const auto key = std::make_tuple(file.record.Kind, (file.record.Flags & file_flag::uninstall_dir) != 0,
                                       file.record.Destination, file.record.Name);
      const std::string& here = file.where;
      if (auto [it, fresh] = placed.emplace(key, here); !fresh) {
        errors.push_back(here + ": installs to the same place as " + it->second + ": \"" + stored + "\"");
        continue;
      }
      const auto windows_key = std::make_tuple(
          (file.record.Flags & file_flag::uninstall_dir) != 0,
          file.record.Destination.empty() ? folder_of_kind(file.record.Kind) : folded(file.record.Destination),
          folded(file.record.Name));
      if (auto [it, fresh] = named.emplace(windows_key, std::make_pair(here, stored)); !fresh) {
        result.warnings.push_back(here + ": \"" + stored + "\" is stored under the same name as " + it->second.first +
                                  " (\"" + it->second.second + "\"); " +
                                  (it->second.second == stored
                                       ? "both install to one file, and the later replaces the earlier"
                                       : "Windows ignores the case of names, so the later file replaces the earlier"));
      }
      result.files.push_back(std::move(file));
    }
    if (!all_taken.empty() && errors.size() == errors_before) result.warnings.push_back(std::move(all_taken));
  }
  if (result.files.size() > 0x7FFFFFFF) errors.push_back("too many files for one package");
  result.ok = errors.empty();
  return result;
}

}  // namespace halvard::builder
