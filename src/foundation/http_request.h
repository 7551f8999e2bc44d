#pragma once
// The plain-HTTP side of the engine's web requests (the notification when WinINet is
// missing, the crash report's form): reading an address, the request texts, and the
// parts of an answer the client acts on. Addresses come from the package and answers
// from the network: every reader here takes any bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvard {

struct HttpAddress {
  bool secure = false;  // "https:": only a TLS-capable client may send it
  std::string host;
  uint16_t port = 80;
  std::string path = "/";  // with its query
};

// The longest address the engine requests; longer ones are dropped.
inline constexpr size_t longest_http_address = 8192;

// "http:" or "https:" (any case), the slashes, the host up to the next "/" (a colon and
// a port number after it), the rest as the path. Nothing for another scheme, no host, a
// port of 0 or above 65535, or any byte below 0x21 or 0x7F anywhere (a space, CR or LF
// would let the address write lines of the request itself).
std::optional<HttpAddress> parse_http_address(std::string_view url);

// "Host:" value: the host, with ":port" when it is not the scheme's default.
std::string host_header(const HttpAddress& address);

// A GET without a body, closing the connection after the answer.
std::string get_request(const HttpAddress& address);

using FormFields = std::vector<std::pair<std::string, std::string>>;

// The multipart body with the boundary "AaB03x", fields in the given order.
std::string form_body(const FormFields& fields);

// The POST of `fields` to the address's path, with the content type and length.
std::string form_post_request(const HttpAddress& address, const FormFields& fields);

// The status code of an answer's first line ("HTTP/1.x 200 ..."); nothing before a
// whole first line is there or when it is not a status line.
std::optional<int> response_status(std::string_view head);

// True once `received` holds the whole header block (an empty line).
bool response_head_complete(std::string_view received);

// The value of the answer's first "Location:" header (any case), blanks trimmed.
std::optional<std::string> location_header(std::string_view head);

// Where a redirect leads from `current`: a full "http:" or "https:" URL replaces it; a
// path starting with "/" replaces the path; anything else is taken relative to the
// current path's folder. Nothing when the result is no valid address.
std::optional<HttpAddress> redirect_target(const HttpAddress& current, std::string_view location);

}  // namespace halvard
