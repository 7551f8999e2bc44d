#include "package/package_error.h"

#include "crash/fatal_error.h"

namespace halvard {
namespace {

std::string package_message;  // process-wide: the failure may come from any reader

}  // namespace

void set_package_error_message(std::string text) { package_message = std::move(text); }

std::string package_error_text(const std::string& message, int code) {
  std::string text = message.empty() ? package_error_builtin_text : message;
  const std::string number = std::to_string(code);
  for (size_t at = text.find("%d"); at != std::string::npos; at = text.find("%d", at + number.size())) {
    text.replace(at, 2, number);
  }
  return text;
}

void package_error(int code) { fatal_error("%s", package_error_text(package_message, code).c_str()); }

}  // namespace halvard
