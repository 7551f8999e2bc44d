#include "records/uninstall_data_trust.h"

#include "foundation/text.h"

namespace halvard {
namespace {

bool climbs(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    std::string_view element = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (element == "." || element == "..") return true;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool inside_folders(std::string_view path, const std::vector<std::string>& folders) {
  if (climbs(path)) return false;
  for (std::string folder : folders) {
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (folder.size() <= 3) continue;  // never a whole drive
    if (path.size() == folder.size() && starts_ignoring_case(path, folder)) return true;
    if (path.size() > folder.size() && path[folder.size()] == '\\' && starts_ignoring_case(path, folder)) return true;
  }
  return false;
}

UninstallData restricted_to_folders(const UninstallData& data, const std::vector<std::string>& folders) {
  UninstallData kept;
  for (const RemovalEntry& entry : data.removal.entries()) {
    if (inside_folders(entry.path, folders)) kept.removal.record(entry.path, entry.kind);
  }
  kept.texts = data.texts;
  kept.installing_text = data.installing_text;
  kept.auto_close = data.auto_close;
  return kept;
}

}  // namespace halvard
