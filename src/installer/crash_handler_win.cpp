#include "installer/crash_handler_win.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <dbghelp.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "crash/crash_filter_win.h"
#include "foundation/crash_report.h"
#include "foundation/http_client_win.h"
#include "foundation/own_path.h"
#include "foundation/registry_access_win.h"
#include "foundation/system_info_win.h"
#include "foundation/system_library_win.h"
#include "foundation/tool_name.h"
#include "ui/page_controls.h"

namespace halvard {
namespace {

// The handler runs where Windows calls the filter: these are set up front, not passed.
std::string report_endpoint;
std::string report_sender;
CrashRecorder crash_recorder = nullptr;
void* crash_recorder_context = nullptr;

constexpr char extra_header[] = "X-Orrisfield-Internal: 2";
constexpr double engine_version = 26.1;
constexpr int max_frames = 128;
constexpr int address_digits = sizeof(void*) * 2;

std::vector<CrashModule> loaded_modules() {
  std::vector<CrashModule> modules;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snapshot == INVALID_HANDLE_VALUE) return modules;
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
    modules.push_back({uint64_t(uintptr_t(entry.modBaseAddr)), entry.modBaseSize, entry.szExePath});
  }
  CloseHandle(snapshot);
  return modules;
}

std::string base_name(const std::string& path) { return std::string(file_name_part(path)); }

const CrashModule* module_at(const std::vector<CrashModule>& modules, uint64_t address) {
  for (const CrashModule& m : modules)
    if (address >= m.base && address - m.base < m.size) return &m;
  return nullptr;
}

bool readable(const void* address, size_t size) {
  MEMORY_BASIC_INFORMATION info{};
  if (!VirtualQuery(address, &info, sizeof info) || info.State != MEM_COMMIT) return false;
  if (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) return false;
  auto end = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  return static_cast<const char*>(address) + size <= end;
}

// The debugging help, loaded once from the system folder; symbol names where it has them.
class Symbols {
 public:
  Symbols() {
    HMODULE dbghelp = load_system_library("dbghelp.dll");
    if (!dbghelp) return;
    using Initialize = BOOL(WINAPI*)(HANDLE, PCSTR, BOOL);
    auto initialize = reinterpret_cast<Initialize>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymInitialize")));
    from_address_ = reinterpret_cast<FromAddress>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymFromAddr")));
    if (!initialize || !from_address_ || !initialize(GetCurrentProcess(), nullptr, TRUE)) from_address_ = nullptr;
  }
  std::string name(uint64_t address) const {
    if (!from_address_) return {};
    constexpr ULONG longest_name = 2000;
    alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + longest_name] = {};
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = longest_name;
    DWORD64 displacement = 0;
    if (!from_address_(GetCurrentProcess(), address, &displacement, symbol)) return {};
    return std::string(symbol->Name, strnlen(symbol->Name, longest_name));
  }

 private:
  using FromAddress = BOOL(WINAPI*)(HANDLE, DWORD64, PDWORD64, SYMBOL_INFO*);
  FromAddress from_address_ = nullptr;
};

CrashFrame frame_at(uint64_t frame, uint64_t address, const std::vector<CrashModule>& modules, const Symbols& symbols) {
  CrashFrame f{frame, address, {}, {}};
  const CrashModule* m = module_at(modules, address);
  if (m) {
    f.module = base_name(m->path);
    for (char& c : f.module) c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  f.symbol = symbols.name(address);
  return f;
}

std::vector<CrashFrame> call_stack(const CONTEXT& context, const std::vector<CrashModule>& modules) {
  std::vector<CrashFrame> frames;
  Symbols symbols;
#if defined(__x86_64__)
  CONTEXT walk = context;
  for (int i = 0; i < max_frames && walk.Rip; ++i) {
    frames.push_back(frame_at(walk.Rsp, walk.Rip, modules, symbols));
    DWORD64 image_base = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(walk.Rip, &image_base, nullptr);
    if (!function) {
      // A leaf: its return address is on top of the stack.
      if (!readable(reinterpret_cast<void*>(walk.Rsp), 8)) break;
      walk.Rip = *reinterpret_cast<DWORD64*>(walk.Rsp);
      walk.Rsp += 8;
      continue;
    }
    void* handler_data = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, image_base, walk.Rip, function, &walk, &handler_data, &establisher, nullptr);
  }
#else
  uint32_t ebp = context.Ebp;
  uint32_t eip = context.Eip;
  for (int i = 0; i < max_frames && eip && ebp % 4 == 0; ++i) {
    frames.push_back(frame_at(ebp, eip, modules, symbols));
    const uint32_t* saved = reinterpret_cast<const uint32_t*>(uintptr_t(ebp));
    if (!readable(saved, 8)) break;
    ebp = saved[0];
    eip = saved[1];
  }
#endif
  return frames;
}

std::vector<CrashRegister> registers(const CONTEXT& c) {
#if defined(__x86_64__)
  return {{"Flags", c.EFlags, 8}, {"RAX", c.Rax, 16}, {"RBX", c.Rbx, 16}, {"RCX", c.Rcx, 16}, {"RDX", c.Rdx, 16},
          {"RDI", c.Rdi, 16},     {"RSI", c.Rsi, 16}, {"RIP", c.Rip, 16}, {"RBP", c.Rbp, 16}, {"RSP", c.Rsp, 16},
          {"R8", c.R8, 16},       {"R9", c.R9, 16},   {"R10", c.R10, 16}, {"R11", c.R11, 16}, {"R12", c.R12, 16},
          {"R13", c.R13, 16},     {"R14", c.R14, 16}, {"R15", c.R15, 16}, {"CS", c.SegCs, 8}, {"DS", c.SegDs, 8},
          {"ES", c.SegEs, 8},     {"FS", c.SegFs, 8}, {"GS", c.SegGs, 8}, {"SS", c.SegSs, 8}};
#else
  return {{"Flags", c.EFlags, 8}, {"EAX", c.Eax, 8},  {"EBX", c.Ebx, 8},  {"ECX", c.Ecx, 8},
          {"EDX", c.Edx, 8},      {"EDI", c.Edi, 8},  {"ESI", c.Esi, 8},  {"EIP", c.Eip, 8},
          {"EBP", c.Ebp, 8},      {"ESP", c.Esp, 8},  {"CS", c.SegCs, 8}, {"DS", c.SegDs, 8},
          {"ES", c.SegEs, 8},     {"FS", c.SegFs, 8}, {"GS", c.SegGs, 8}, {"SS", c.SegSs, 8}};
#endif
}

int64_t file_time_ms(const FILETIME& t) {
  return int64_t((uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000);
}

std::string internet_explorer_version() {
  RegistryKey key;
  if (key.open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", KEY_READ) != ERROR_SUCCESS) return {};
  if (auto version = read_registry_text(key.get(), "svcVersion")) return *version;
  return read_registry_text(key.get(), "Version").value_or(std::string());
}

std::string crash_report(const EXCEPTION_POINTERS& exception) {
  const EXCEPTION_RECORD& record = *exception.ExceptionRecord;
  CrashFacts facts;
  facts.code = record.ExceptionCode;
  facts.address = uint64_t(uintptr_t(record.ExceptionAddress));
  facts.address_digits = address_digits;
  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
    facts.access_violation_details = true;
    facts.write_access = record.ExceptionInformation[0] != 0;
    facts.memory_address = record.ExceptionInformation[1];
  }
  facts.product = std::string(tool_name) + "  ";
  facts.modules = loaded_modules();
  if (const CrashModule* m = module_at(facts.modules, facts.address)) facts.module = base_name(m->path);
  facts.thread_id = GetCurrentThreadId();
  facts.main_thread_id = main_thread_id();
  FILETIME created, exited, kernel, user, now;
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    GetSystemTimeAsFileTime(&now);
    facts.times =
        CrashProcessTimes{(file_time_ms(now) - file_time_ms(created)) / 1000, file_time_ms(kernel), file_time_ms(user)};
  }
  facts.os = os_description();
  facts.ie = internet_explorer_version();
  char language[128] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLANGUAGE, language, sizeof language);
  facts.language = language;
  facts.locale = GetUserDefaultLCID();
  facts.code_page = GetACP();
  facts.registers = registers(*exception.ContextRecord);
  facts.frames = call_stack(*exception.ContextRecord, facts.modules);
  return build_report(facts);
}

struct DialogState {
  const std::string* report;
  std::string email;
  std::string comments;
};

std::string item_text(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  int length = GetWindowTextLengthA(item);
  std::string text(size_t(length) + 1, '\0');
  text.resize(size_t(GetWindowTextA(item, text.data(), length + 1)));
  return text;
}

void copy_to_clipboard(HWND owner, const std::string& text) {
  // Another program may hold the clipboard for a moment (a clipboard viewer, say).
  bool opened = false;
  for (int attempt = 0; attempt < 20 && !(opened = OpenClipboard(owner)); ++attempt) Sleep(50);
  if (!opened) return;
  EmptyClipboard();
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
  }
  CloseClipboard();
}

INT_PTR CALLBACK crash_dialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      state = reinterpret_cast<DialogState*>(lparam);
      char apology[512];
      std::snprintf(apology, sizeof apology,
                    "We apologize for the inconvenience, but the program has performed an illegal operation and must "
                    "close.  Please report this problem to %s by clicking the \"Inform Us\" button below.",
                    "Orrisfield");
      SetDlgItemTextA(dialog, CRASH_APOLOGY, apology);
      SendDlgItemMessageA(dialog, CRASH_REPORT, WM_SETFONT, WPARAM(GetStockObject(ANSI_FIXED_FONT)), FALSE);
      SetDlgItemTextA(dialog, CRASH_REPORT, state->report->c_str());
      EnableWindow(GetDlgItem(dialog, CRASH_INFORM_US), !report_sender.empty());
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case CRASH_INFORM_US:
          state->email = item_text(dialog, CRASH_EMAIL);
          state->comments = item_text(dialog, CRASH_COMMENTS);
          EndDialog(dialog, CRASH_INFORM_US);
          return TRUE;
        case CRASH_COPY_REPORT:
          copy_to_clipboard(dialog, *state->report);
          return TRUE;
        case CRASH_EXIT:
        case IDCANCEL:
          EndDialog(dialog, CRASH_EXIT);
          return TRUE;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_CLOSE) {
        EndDialog(dialog, CRASH_EXIT);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

std::string own_file_name() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return base_name(path);
}

void send_report(const DialogState& state) {
  std::string report = *state.report;
  std::string headers = extra_header;
  if (!headers.empty()) headers += "\r\n";
  if (!state.email.empty()) {
    headers += "X-Exception-Email: " + state.email + "\r\nReply-To: " + state.email + "\r\n";
    report += "\r\nEmail: " + state.email + "\r\n";
  }
  if (!state.comments.empty()) report += "\r\nComments:\r\n" + state.comments;
  char subject[512];
  std::snprintf(subject, sizeof subject, "Exception - Installer %.1f: %s", engine_version, own_file_name().c_str());
  if (report_endpoint.empty()) return;
  HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  post_form(report_endpoint, {{"from", report_sender}, {"body", report}, {"subject", subject}, {"headers", headers}});
  SetCursor(previous ? previous : LoadCursor(nullptr, IDC_ARROW));
}

}  // namespace

void set_crash_report_destination(const std::string& endpoint, const std::string& sender) {
  report_endpoint = endpoint;
  report_sender = sender;
}

void set_crash_recorder(CrashRecorder recorder, void* context) {
  crash_recorder = recorder;
  crash_recorder_context = context;
}

LONG installer_crash_handler(EXCEPTION_POINTERS* exception) {
  const std::string report = crash_report(*exception);
  if (crash_recorder) crash_recorder(crash_recorder_context, "\r\n\r\nINSTALLER CRASHED!\r\n" + report);
  DialogState state{&report, {}, {}};
  INT_PTR chosen = DialogBoxParamA(GetModuleHandleA(nullptr), "EXCEPTIONDLG", nullptr, crash_dialog, LPARAM(&state));
  if (chosen != CRASH_INFORM_US) return 0;
  send_report(state);
  return 1;
}

}  // namespace halvard
