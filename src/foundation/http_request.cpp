#include "foundation/http_request.h"

#include <charconv>

namespace halvard {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(text[i]) != lower(prefix[i])) return false;
  return true;
}

bool is_safe_url_byte(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u > 0x20 && u != 0x7F;
}

constexpr std::string_view boundary = "AaB03x";

}  // namespace

std::optional<HttpAddress> parse_http_address(std::string_view url) {
  if (url.size() > longest_http_address) return std::nullopt;
  for (char c : url)
    if (!is_safe_url_byte(c)) return std::nullopt;
  HttpAddress address;
  if (starts_with_nocase(url, "https:")) {
    address.secure = true;
    address.port = 443;
    url.remove_prefix(6);
  } else if (starts_with_nocase(url, "http:")) {
    url.remove_prefix(5);
  } else {
    return std::nullopt;
  }
  while (!url.empty() && url.front() == '/') url.remove_prefix(1);
  size_t slash = url.find('/');
  std::string_view authority = url.substr(0, slash);
  if (slash != std::string_view::npos) address.path = std::string(url.substr(slash));
  // Anything after "?" or "#" in the authority belongs to the path in spirit; an
  // authority holding either is no host name.
  if (authority.find_first_of("?#@\\") != std::string_view::npos) return std::nullopt;
  size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos) {
    std::string_view digits = authority.substr(colon + 1);
    unsigned port = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || port == 0 || port > 65535)
      return std::nullopt;
    address.port = uint16_t(port);
    authority = authority.substr(0, colon);
  }
  if (authority.empty()) return std::nullopt;
  address.host = std::string(authority);
  return address;
}

std::string host_header(const HttpAddress& address) {
  uint16_t usual = address.secure ? 443 : 80;
  return address.port == usual ? address.host : address.host + ":" + std::to_string(address.port);
}

std::string get_request(const HttpAddress& address) {
  return "GET " + address.path + " HTTP/1.1\r\nHost: " + host_header(address) +
         "\r\nUser-Agent: Framekit 13.0\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

std::string form_body(const FormFields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    body.append("--").append(boundary).append("\r\nContent-Disposition: form-data; name=\"");
    body.append(name).append("\"\r\n\r\n").append(value).append("\r\n");
  }
  body.append("--").append(boundary).append("--\r\n");
  return body;
}

std::string form_post_request(const HttpAddress& address, const FormFields& fields) {
  std::string body = form_body(fields);
  return "POST " + address.path + " HTTP/1.1\r\nHost: " + host_header(address) +
         "\r\nUser-Agent: Framekit 13.0\r\nConnection: close\r\nContent-Type: multipart/form-data; boundary=" +
         std::string(boundary) + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

bool response_head_complete(std::string_view received) { return received.find("\r\n\r\n") != std::string_view::npos; }

std::optional<int> response_status(std::string_view head) {
  size_t end = head.find("\r\n");
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view line = head.substr(0, end);
  if (!starts_with_nocase(line, "HTTP/")) return std::nullopt;
  size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return std::nullopt;
  int status = 0;
  auto [ptr, error] = std::from_chars(line.data() + space + 1, line.data() + space + 4, status);
  if (error != std::errc() || ptr != line.data() + space + 4 || status < 100) return std::nullopt;
  return status;
}

std::optional<std::string> location_header(std::string_view head) {
  size_t end = head.find("\r\n\r\n");
  if (end != std::string_view::npos) head = head.substr(0, end + 2);
  size_t line_start = head.find("\r\n");
  while (line_start != std::string_view::npos) {
    line_start += 2;
    size_t line_end = head.find("\r\n", line_start);
    if (line_end == std::string_view::npos) break;
    std::string_view line = head.substr(line_start, line_end - line_start);
    if (starts_with_nocase(line, "location:")) {
      line.remove_prefix(9);
      while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
      while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
      return std::string(line);
    }
    line_start = line_end;
  }
  return std::nullopt;
}

std::optional<HttpAddress> redirect_target(const HttpAddress& current, std::string_view location) {
  if (starts_with_nocase(location, "http:") || starts_with_nocase(location, "https:"))
    return parse_http_address(location);
  std::string path;
  if (!location.empty() && location.front() == '/') {
    path = std::string(location);
  } else {
    std::string_view folder = current.path;
    size_t query = folder.find('?');
    if (query != std::string_view::npos) folder = folder.substr(0, query);
    folder = folder.substr(0, folder.rfind('/') + 1);
    path = std::string(folder) + std::string(location);
  }
  std::string url = std::string(current.secure ? "https://" : "http://") + host_header(current) + path;
  return parse_http_address(url);
}

}  // namespace halvard
