#include "foundation/http_client_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <functional>
#include <string>

#include "foundation/system_library_win.h"

namespace halvard {
namespace {

// Winsock's entry points, resolved once from the system folder's ws2_32.dll.
struct Winsock {
  decltype(&::WSAStartup) startup = nullptr;
  decltype(&::getaddrinfo) get_address = nullptr;
  decltype(&::freeaddrinfo) free_address = nullptr;
  decltype(&::socket) open_socket = nullptr;
  decltype(&::connect) connect_to = nullptr;
  decltype(&::send) send_bytes = nullptr;
  decltype(&::recv) receive = nullptr;
  decltype(&::setsockopt) set_option = nullptr;
  decltype(&::closesocket) close_socket = nullptr;
  bool ready = false;

  static Winsock& instance() {
    static Winsock loaded;
    return loaded;
  }

 private:
  template <class Fn>
  static void resolve(HMODULE library, const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  }

  Winsock() {
    HMODULE library = load_system_library("ws2_32.dll");
    if (!library) return;
    resolve(library, "WSAStartup", startup);
    resolve(library, "getaddrinfo", get_address);
    resolve(library, "freeaddrinfo", free_address);
    resolve(library, "socket", open_socket);
    resolve(library, "connect", connect_to);
    resolve(library, "send", send_bytes);
    resolve(library, "recv", receive);
    resolve(library, "setsockopt", set_option);
    resolve(library, "closesocket", close_socket);
    WSADATA data;
    ready = startup && get_address && free_address && open_socket && connect_to && send_bytes && receive &&
            set_option && close_socket && startup(MAKEWORD(2, 2), &data) == 0;
  }
};

class Connection {
 public:
  Connection(Winsock& ws, const HttpAddress& address, DWORD idle_limit_ms) : ws_(ws) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    if (ws_.get_address(address.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) return;
    for (addrinfo* candidate = found; candidate && socket_ == INVALID_SOCKET; candidate = candidate->ai_next) {
      SOCKET s = ws_.open_socket(candidate->ai_family, candidate->ai_socktype, candidate->ai_protocol);
      if (s == INVALID_SOCKET) continue;
      // Each send and receive gives up after this long without progress.
      DWORD limit = idle_limit_ms;
      ws_.set_option(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
      ws_.set_option(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
      if (ws_.connect_to(s, candidate->ai_addr, int(candidate->ai_addrlen)) == 0) {
        socket_ = s;
      } else {
        ws_.close_socket(s);
      }
    }
    ws_.free_address(found);
  }
  ~Connection() {
    if (socket_ != INVALID_SOCKET) ws_.close_socket(socket_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  explicit operator bool() const { return socket_ != INVALID_SOCKET; }

  bool send_all(std::string_view bytes) {
    while (!bytes.empty()) {
      int sent = ws_.send_bytes(socket_, bytes.data(), int(std::min<size_t>(bytes.size(), 65536)), 0);
      if (sent <= 0) return false;
      bytes.remove_prefix(size_t(sent));
    }
    return true;
  }

  // The answer up to the end of its header block; empty when none came.
  std::string receive_head() {
    constexpr size_t longest_head = 65536;
    std::string head;
    char buffer[4096];
    while (!response_head_complete(head) && head.size() < longest_head) {
      int got = ws_.receive(socket_, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      head.append(buffer, size_t(got));
    }
    return head;
  }

 private:
  Winsock& ws_;
  SOCKET socket_ = INVALID_SOCKET;
};

using RequestText = std::function<std::string(const HttpAddress&)>;

// One exchange after another: a 301 or 302 leads on (at most most_http_redirects
// times), a 500 is tried once more, anything else ends it.
HttpOutcome exchange(std::string_view url, const RequestText& request, DWORD idle_limit_ms) {
  HttpOutcome outcome;
  std::optional<HttpAddress> address = parse_http_address(url);
  Winsock& ws = Winsock::instance();
  bool retried = false;
  while (address && !address->secure && ws.ready) {
    Connection connection(ws, *address, idle_limit_ms);
    if (!connection || !connection.send_all(request(*address))) return outcome;
    std::string head = connection.receive_head();
    std::optional<int> status = response_status(head);
    if (!status) return outcome;
    outcome.answered = true;
    outcome.status = *status;
    if (*status == 500 && !retried) {
      retried = true;
      continue;
    }
    if ((*status != 301 && *status != 302) || outcome.redirects == most_http_redirects) return outcome;
    std::optional<std::string> location = location_header(head);
    if (!location) return outcome;
    address = redirect_target(*address, *location);
    ++outcome.redirects;
  }
  return outcome;
}

}  // namespace

HttpOutcome http_get(std::string_view url, DWORD idle_limit_ms) {
  return exchange(
      url, [](const HttpAddress& address) { return get_request(address); }, idle_limit_ms);
}

HttpOutcome post_form(std::string_view url, const FormFields& fields, DWORD idle_limit_ms) {
  return exchange(
      url, [&fields](const HttpAddress& address) { return form_post_request(address, fields); }, idle_limit_ms);
}

}  // namespace halvard
