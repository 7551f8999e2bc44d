// Closing running programs under Wine: real top-level windows of a second process
// (test_window), matched by class and by title, closed or told to quit; the ask mode's
// question answered from the test thread while the call waits on a worker thread.
// Every wait has a time-out, and nothing is left waiting for a click.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "machine/close_applications_win.h"

namespace halvard {
namespace {

constexpr DWORD wait_ms = 10000;

std::string beside_this_program(const char* name) {
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, length);
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

// Names no other window on the desktop has, even with other test runs beside this one.
std::string unique(const char* stem) {
  static int serial = 0;
  return std::string(stem) + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++serial);
}

template <typename Found>
auto poll(Found found, DWORD timeout_ms) -> decltype(found()) {
  DWORD start = GetTickCount();
  for (;;) {
    if (auto result = found()) return result;
    if (GetTickCount() - start > timeout_ms) return {};
    Sleep(20);
  }
}

// A test_window process with its window up.
class TestWindow {
 public:
  TestWindow(const std::string& window_class, const std::string& title) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    result_file_ = std::string(folder) + unique("close_test_") + ".txt";
    std::string command = "\"" + beside_this_program("test_window.exe") + "\" \"" + window_class + "\" \"" + title +
                          "\" \"" + result_file_ + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_)) {
      return;
    }
    window_ = poll([&] { return find(window_class, title); }, wait_ms);
  }
  ~TestWindow() {
    if (process_.hProcess) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
      WaitForSingleObject(process_.hProcess, wait_ms);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    DeleteFileA(result_file_.c_str());
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND window() const { return window_; }

  // The program's window, not another one of the same class and title.
  HWND find(const std::string& window_class, const std::string& title) const {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, window_class.c_str(), title.c_str()))) {
      DWORD process_id = 0;
      GetWindowThreadProcessId(window, &process_id);
      if (process_id == process_.dwProcessId) return window;
    }
    return nullptr;
  }

  // "closed", "quit" or "timeout" once the program has ended; "running" when it has not
  // ended within the wait.
  std::string outcome() const {
    if (WaitForSingleObject(process_.hProcess, wait_ms) != WAIT_OBJECT_0) return "running";
    std::string text;
    HANDLE file = CreateFileA(result_file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "no result";
    char buffer[32];
    DWORD got = 0;
    if (ReadFile(file, buffer, sizeof buffer, &got, nullptr)) text.assign(buffer, got);
    CloseHandle(file);
    return text;
  }

 private:
  PROCESS_INFORMATION process_{};
  std::string result_file_;
  HWND window_ = nullptr;
};

// Wine makes no window at all without a display driver; a prefix for headless runs sets
// HKCU\Software\Wine\Drivers "Graphics" to "null".
bool windows_can_be_made() {
  static const bool can = [] {
    HWND probe = CreateWindowA("STATIC", "probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (probe) DestroyWindow(probe);
    return probe != nullptr;
  }();
  return can;
}

class CloseApplicationsWin : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!windows_can_be_made()) GTEST_SKIP() << "no display driver: Wine cannot make windows here";
  }
};

InstallSettings settings_for(std::vector<CloseApplication> entries, bool uninstall = false) {
  InstallSettings settings;
  settings.ProductName = "Wren";
  settings.ProductDescription = "Wren";
  settings.UninstallMode = uninstall;
  settings.LanguageNames = {"English"};
  settings.Messages.assign(100, std::vector<std::string>{""});
  settings.Messages[55][0] = "<product> Uninstall";
  settings.Messages[65][0] = "<product> Setup";
  settings.Messages[99][0] = "Please close %s before <product> goes on.";
  settings.CloseApplications = std::move(entries);
  return settings;
}

CloseApplication entry(std::string window_class, std::string title, uint32_t mode, uint8_t phases = 0x1) {
  return {std::move(window_class), std::move(title), "Wren Notes", mode, phases};
}

struct CloseCase {
  const char* name;
  std::string window_title;  // "@" stands for a unique word
  std::string entry_title;   // the same
  bool entry_has_class;
  uint32_t mode;
  const char* outcome;
};

std::string with_word(std::string text, const std::string& word) {
  size_t at = text.find('@');
  if (at != std::string::npos) text.replace(at, 1, word);
  return text;
}

TEST_F(CloseApplicationsWin, ClosesOrQuitsMatchedWindows) {
  const CloseCase cases[] = {
      {"class, mode 0", "Notes", "", true, 0, "closed"},
      {"class, mode 1", "Notes", "", true, 1, "quit"},
      {"exact title, mode 0", "Notes - @", "Notes - @", false, 0, "closed"},
      {"exact title, mode 1", "Notes - @", "Notes - @", false, 1, "quit"},
      {"star title, mode 0", "Notes - @ Editor", "*@ Editor", false, 0, "closed"},
      {"class and star title, mode 1", "Notes - @", "*@", true, 1, "quit"},
  };
  for (const CloseCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string window_class = unique("HalvardCloseTest");
    const std::string word = unique("Word");
    TestWindow program(window_class, with_word(c.window_title, word));
    ASSERT_NE(program.window(), nullptr);
    InstallSettings settings =
        settings_for({entry(c.entry_has_class ? window_class : "", with_word(c.entry_title, word), c.mode)});
    EXPECT_TRUE(close_applications(UserInterface(settings), 0x1));
    EXPECT_EQ(program.outcome(), c.outcome);
  }
}

// An entry of another phase is skipped and the next entry that applies decides.
TEST_F(CloseApplicationsWin, EntriesOfOtherPhasesAreSkipped) {
  const std::string window_class = unique("HalvardCloseTest");
  TestWindow program(window_class, "Notes");
  ASSERT_NE(program.window(), nullptr);
  InstallSettings settings = settings_for({entry(window_class, "", 0, 0x2 | 0x4), entry(window_class, "", 1, 0x1)});
  EXPECT_TRUE(close_applications(UserInterface(settings), 0x1));
  EXPECT_EQ(program.outcome(), "quit");
}

// The engine's own windows are never taken, even when they fit the entry.
class OwnWindow {
 public:
  OwnWindow(const std::string& window_class, const std::string& title) : class_(window_class) {
    WNDCLASSA definition{};
    definition.lpfnWndProc = procedure;
    definition.hInstance = GetModuleHandleA(nullptr);
    definition.lpszClassName = class_.c_str();
    RegisterClassA(&definition);
    window_ = CreateWindowA(class_.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                            definition.hInstance, nullptr);
  }
  ~OwnWindow() {
    if (window_) DestroyWindow(window_);
    UnregisterClassA(class_.c_str(), GetModuleHandleA(nullptr));
  }
  OwnWindow(const OwnWindow&) = delete;
  OwnWindow& operator=(const OwnWindow&) = delete;

  HWND window() const { return window_; }
  static inline int closes = 0;

  void pump() const {
    MSG message;
    while (PeekMessageA(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE) {
      ++closes;
      return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
  }
  std::string class_;
  HWND window_ = nullptr;
};

TEST_F(CloseApplicationsWin, EngineOwnWindowIsNeverClosed) {
  const std::string window_class = unique("HalvardCloseTest");
  OwnWindow own(window_class, "Notes - Editor");
  TestWindow program(window_class, "Notes - Editor");
  ASSERT_NE(own.window(), nullptr);
  ASSERT_NE(program.window(), nullptr);
  OwnWindow::closes = 0;
  InstallSettings settings = settings_for({entry(window_class, "*Editor", 0)});
  EXPECT_TRUE(close_applications(UserInterface(settings), 0x1));
  EXPECT_EQ(program.outcome(), "closed");  // the entry was live
  own.pump();
  EXPECT_EQ(OwnWindow::closes, 0);
  EXPECT_TRUE(IsWindow(own.window()));
}

// The call on a worker thread, so that the test thread can answer its questions.
class AskingCall {
 public:
  AskingCall(const InstallSettings& settings, bool silent) : settings_(settings) {
    settings_.AutomaticMode = silent;
    thread_ = CreateThread(nullptr, 0, run, this, 0, &thread_id_);
  }
  ~AskingCall() {
    // Never leave a question waiting: cancel whatever is still shown.
    DWORD start = GetTickCount();
    while (thread_ && WaitForSingleObject(thread_, 50) == WAIT_TIMEOUT && GetTickCount() - start < wait_ms) {
      if (HWND box = find_box()) PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    }
    if (thread_) CloseHandle(thread_);
  }
  AskingCall(const AskingCall&) = delete;
  AskingCall& operator=(const AskingCall&) = delete;

  // The question now shown, other than `previous`; null when none came within the wait.
  HWND question(HWND previous = nullptr) {
    return poll(
        [&]() -> HWND {
          HWND box = find_box();
          return box != previous && box && IsWindowVisible(box) ? box : nullptr;
        },
        wait_ms);
  }

  static void press(HWND box, int button) { PostMessageA(box, WM_COMMAND, WPARAM(button), 0); }

  // The call's result; nothing when it has not returned within the wait.
  std::optional<bool> result() {
    if (WaitForSingleObject(thread_, wait_ms) != WAIT_OBJECT_0) return std::nullopt;
    return result_;
  }

 private:
  static DWORD WINAPI run(void* self) {
    auto* call = static_cast<AskingCall*>(self);
    call->result_ = close_applications(UserInterface(call->settings_), 0x1);
    return 0;
  }
  static BOOL CALLBACK take_dialog(HWND window, LPARAM found) {
    char name[16];
    if (GetClassNameA(window, name, sizeof name) && std::string(name) == "#32770") {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }
  HWND find_box() const {
    HWND found = nullptr;
    EnumThreadWindows(thread_id_, take_dialog, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  InstallSettings settings_;  // a copy: the run's mode is set on it
  HANDLE thread_ = nullptr;
  DWORD thread_id_ = 0;
  bool result_ = true;
};

std::string window_text(HWND window) {
  char text[512];
  int length = GetWindowTextA(window, text, sizeof text);
  return std::string(text, size_t(length > 0 ? length : 0));
}

TEST_F(CloseApplicationsWin, AskModeRetryAfterTheProgramHasClosedGoesOn) {
  const std::string window_class = unique("HalvardCloseTest");
  TestWindow program(window_class, "Notes");
  ASSERT_NE(program.window(), nullptr);
  InstallSettings settings = settings_for({entry(window_class, "", 2)});
  AskingCall call(settings, false);
  HWND box = call.question();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(window_text(box), "Wren Setup");
  EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)), "Please close Wren Notes before Wren goes on.");
  EXPECT_NE(GetDlgItem(box, IDRETRY), nullptr);
  EXPECT_NE(GetDlgItem(box, IDCANCEL), nullptr);

  // The user closes the program, then answers Retry: no second question.
  PostMessageA(program.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(program.outcome(), "closed");
  AskingCall::press(box, IDRETRY);
  EXPECT_EQ(call.result(), std::optional<bool>(true));
}

TEST_F(CloseApplicationsWin, AskModeRetryAsksAgainAndCancelReportsCancelled) {
  const std::string window_class = unique("HalvardCloseTest");
  TestWindow program(window_class, "Notes");
  ASSERT_NE(program.window(), nullptr);
  InstallSettings settings = settings_for({entry(window_class, "", 2)}, true);
  AskingCall call(settings, false);
  HWND first = call.question();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(window_text(first), "Wren Uninstall");
  AskingCall::press(first, IDRETRY);
  // The program is still there: the same question again.
  HWND second = call.question(first);
  ASSERT_NE(second, nullptr);
  AskingCall::press(second, IDCANCEL);
  EXPECT_EQ(call.result(), std::optional<bool>(false));
  EXPECT_TRUE(IsWindow(program.window()));  // the ask mode never closes anything itself
}

TEST_F(CloseApplicationsWin, AskModeInSilentRunAsksNobody) {
  const std::string window_class = unique("HalvardCloseTest");
  TestWindow program(window_class, "Notes");
  ASSERT_NE(program.window(), nullptr);
  InstallSettings settings = settings_for({entry(window_class, "", 2)});
  AskingCall call(settings, true);
  EXPECT_EQ(call.result(), std::optional<bool>(true));
  EXPECT_TRUE(IsWindow(program.window()));
}

}  // namespace
}  // namespace halvard
