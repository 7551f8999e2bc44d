#pragma once
// The engine's own HTTP client over Winsock: plain HTTP only, for the notification
// when WinINet cannot be used and for the crash report's form. Winsock is loaded from
// the system folder at the first request.

#include <windows.h>

#include <string_view>

#include "foundation/http_request.h"

namespace halvard {

struct HttpOutcome {
  bool answered = false;  // a status line came back
  int status = 0;         // of the last answer
  int redirects = 0;      // followed
};

// The most redirects followed before the attempt ends.
inline constexpr int most_http_redirects = 10;

// A GET of `url`. An "https:" address, or any that parse_http_address refuses, is not
// sent at all: the client cannot speak TLS, and the address may hold private data.
HttpOutcome http_get(std::string_view url, DWORD idle_limit_ms = 60000);

// A POST of `fields` as a multipart form, under the same rules.
HttpOutcome post_form(std::string_view url, const FormFields& fields, DWORD idle_limit_ms = 60000);

}  // namespace halvard
