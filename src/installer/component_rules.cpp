#include "installer/component_rules.h"

#include <cstdio>

#include "package/file_record.h"

namespace halvard {

SharedFileKind shared_file_kind(uint32_t kind, uint32_t flags) {
  if (kind == file_kind::system || (flags & file_flag::keep_at_uninstall)) return SharedFileKind::never_delete;
  if (kind == file_kind::com_server) return SharedFileKind::com_server;
  if (kind == file_kind::type_library) return SharedFileKind::type_library;
  return SharedFileKind::plain;
}

bool is_shared_count_kind(uint32_t kind) {
  return kind == file_kind::shared || kind == file_kind::system || kind == file_kind::com_server ||
         kind == file_kind::type_library;
}

std::string applet_name(std::string_view version_text, std::string_view destination) {
  if (!version_text.empty()) return std::string(version_text);
  size_t slash = destination.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? destination : destination.substr(slash + 1));
}

bool is_bound_executable(std::string_view path) {
  size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || path.find_first_of("\\/", dot) != std::string_view::npos) return false;
  std::string_view extension = path.substr(dot + 1);
  if (extension.size() != 3) return false;
  const char* exe = "exe";
  for (size_t i = 0; i < 3; ++i) {
    char c = extension[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != exe[i]) return false;
  }
  return true;
}

std::string msi_result_text(uint32_t result, std::string_view error_text) {
  if (result == 0) return "OK\r\n";
  return "FAILED code " + std::to_string(result) + ": " + std::string(error_text) + "\r\n";
}

namespace {
std::string hresult_text(int32_t result) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", unsigned(uint32_t(result)));
  return hex;
}
}  // namespace

std::string com_result_text(int32_t result, std::string_view error_text) {
  if (result >= 0) return "OK\r\n";
  std::string text = "FAILED, HRESULT " + hresult_text(result);
  if (!error_text.empty()) text += ": " + std::string(error_text);
  return text + "\r\n";
}

std::string com_failure_summary(std::string_view file_name, int32_t result, std::string_view error_text) {
  std::string text = "Failed to register COM file " + std::string(file_name) + ", HRESULT " + hresult_text(result);
  if (!error_text.empty()) text += ": " + std::string(error_text);
  return text + "\r\n";
}

std::string inf_result_text(bool copied, std::string_view destination, std::string_view error_text) {
  if (!copied) return "FAILED!  " + std::string(error_text) + "\r\n";
  if (destination.empty()) return "OK, but resulting filepath is unknown\r\n";
  return "OK\r\nFinal driver location: " + std::string(destination) + "\r\n";
}

}  // namespace halvard
