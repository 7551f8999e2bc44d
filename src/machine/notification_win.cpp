#include "machine/notification_win.h"

#include <windows.h>
#include <wininet.h>

#include "crash/crash_filter_win.h"
#include "foundation/http_client_win.h"
#include "foundation/system_library_win.h"
#include "machine/notification.h"

namespace halvard {
namespace {

// The one request of this process; the exit routine waits for it.
HANDLE notification_thread = nullptr;

bool request_through_wininet(const std::string& address) {
  // Dial-up networking, where present, lets WinINet bring a connection up; its absence
  // is no error.
  load_system_library("rasapi32.dll");
  HMODULE wininet = load_system_library("wininet.dll");
  if (!wininet) return false;
  using Open = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
  using OpenUrl = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
  using SetOption = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
  using Close = BOOL(WINAPI*)(HINTERNET);
  auto open = reinterpret_cast<Open>(reinterpret_cast<void*>(GetProcAddress(wininet, "InternetOpenA")));
  auto open_url = reinterpret_cast<OpenUrl>(reinterpret_cast<void*>(GetProcAddress(wininet, "InternetOpenUrlA")));
  auto set_option = reinterpret_cast<SetOption>(reinterpret_cast<void*>(GetProcAddress(wininet, "InternetSetOptionA")));
  auto close = reinterpret_cast<Close>(reinterpret_cast<void*>(GetProcAddress(wininet, "InternetCloseHandle")));
  if (!open || !open_url || !close) return false;
  HINTERNET session = open("Framekit 13.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return false;
  if (set_option) {
    DWORD limit = notification_wait_ms;
    set_option(session, INTERNET_OPTION_CONNECT_TIMEOUT, &limit, sizeof limit);
    set_option(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &limit, sizeof limit);
    set_option(session, INTERNET_OPTION_SEND_TIMEOUT, &limit, sizeof limit);
  }
  constexpr DWORD flags =
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_NO_UI;
  // The answer's body is not read: the request counts once the address has been opened.
  HINTERNET request = open_url(session, address.c_str(), "Accept: */*\r\n", DWORD(-1), flags, 0);
  if (request) close(request);
  close(session);
  return request != nullptr;
}

DWORD WINAPI request_address(void* parameter) {
  std::string* address = static_cast<std::string*>(parameter);
  if (!request_through_wininet(*address)) http_get(*address, notification_wait_ms);
  delete address;
  return 0;
}

}  // namespace

void start_notification(const std::string& address, const std::string& version) {
  if (address.empty() || notification_thread) return;
  std::string requested = with_version(address, version);
  // Addresses the client could never send (no host, a space or line break, an unknown
  // scheme) are dropped here, before any thread starts.
  if (!parse_http_address(requested)) return;
  auto* task = new std::string(std::move(requested));
  DWORD thread_id = 0;
  notification_thread = CreateThread(nullptr, 0, request_address, task, CREATE_SUSPENDED, &thread_id);
  if (!notification_thread) {
    delete task;
    return;
  }
  mark_worker_thread(thread_id);
  ResumeThread(notification_thread);
}

void wait_for_notification() {
  if (!notification_thread) return;
  WaitForSingleObject(notification_thread, notification_wait_ms);
  CloseHandle(notification_thread);
  notification_thread = nullptr;
}

}  // namespace halvard
