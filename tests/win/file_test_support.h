// Shared pieces of the file tests: a scratch folder that cleans up after itself, raw
// Win32 reads and writes that do not go through the code under test, and a second
// process that holds a file locked.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace halvard::test {

// A registry value exactly as stored, so that a test can put a machine-wide value back
// byte for byte or write damaged data. Only HKEY_LOCAL_MACHINE values are touched.
struct RawValue {
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

inline RawValue read_raw_value(const wchar_t* key_path, const wchar_t* name) {
  RawValue value;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.data.resize(size);
    value.present = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size) == ERROR_SUCCESS;
    value.data.resize(size);
  }
  RegCloseKey(key);
  return value;
}

// False when the key cannot be opened for writing.
inline bool write_raw_value(const wchar_t* key_path, const wchar_t* name, const RawValue& value) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  if (value.present)
    RegSetValueExW(key, name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
  else
    RegDeleteValueW(key, name);
  RegCloseKey(key);
  return true;
}

// A new empty folder under the temporary folder, removed with its contents at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

inline std::string temp_folder();
inline void remove_tree(const std::string& path);  // an ASCII path

// Sets the read-only attribute so that opening for writing fails as it does on Windows.
// Wine run as root ignores the attribute (root may write any file), so there the host
// file is made immutable as well, by the host's chattr. holds() is false when writing
// could not be stopped.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool holds() const { return holds_; }

 private:
  std::string path_;
  bool immutable_ = false;
  bool holds_ = false;
};

// Holds `path` open without sharing in another process for its lifetime.
class LockingProcess {
 public:
  explicit LockingProcess(const std::string& path);
  ~LockingProcess() { release(); }
  LockingProcess(const LockingProcess&) = delete;
  LockingProcess& operator=(const LockingProcess&) = delete;

  bool holds_lock() const { return locked_; }
  void release();

 private:
  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
  PROCESS_INFORMATION process_ = {};
  bool locked_ = false;
};

inline int next_serial() {
  static int serial = 0;
  return ++serial;
}

inline std::string beside_this_program(const char* name) {
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, length);
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}


inline std::string temp_folder() {
  char buffer[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, length);
}

inline ScratchFolder::ScratchFolder() {
  char name[64];
  std::snprintf(name, sizeof name, "hv_file_test_%lu_%d", GetCurrentProcessId(), next_serial());
  path_ = temp_folder() + name;
  remove_tree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

inline ScratchFolder::~ScratchFolder() { remove_tree(path_); }

inline void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        remove_tree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

inline void remove_tree(const std::string& path) {
  remove_tree(std::wstring(path.begin(), path.end()));
}

inline bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string read_all(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
  CloseHandle(file);
  return data;
}

inline void write_all(const std::string& path, const std::string& data) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (!data.empty()) WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(file);
}

// A name in the "|" + UTF-8 form.
inline std::string bar_name(const std::string& utf8) {
  std::string name(utf8.size() + 1, '|');
  utf8.copy(name.data() + 1, utf8.size());
  return name;
}

// Bytes that differ from their neighbours, so that a misplaced piece shows.
inline std::string pattern_bytes(std::size_t length, unsigned seed) {
  std::string data(length, '\0');
  unsigned state = seed;
  for (char& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 16);
  }
  return data;
}

inline LockingProcess::LockingProcess(const std::string& path) {
  char ready_name[64], release_name[64];
  int serial = next_serial();
  std::snprintf(ready_name, sizeof ready_name, "hv_lock_ready_%lu_%d", GetCurrentProcessId(), serial);
  std::snprintf(release_name, sizeof release_name, "hv_lock_release_%lu_%d", GetCurrentProcessId(),
                serial);
  ready_ = CreateEventA(nullptr, TRUE, FALSE, ready_name);
  release_ = CreateEventA(nullptr, TRUE, FALSE, release_name);

  // Built by appending: GCC 12 warns falsely on a chain of + that starts with a literal.
  std::string command(1, '"');
  command.append(beside_this_program("file_locker.exe")).append("\" \"").append(path);
  command.append("\" ").append(ready_name).append(" ").append(release_name);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process_))
    return;
  HANDLE waits[2] = {ready_, process_.hProcess};
  locked_ = WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0;
}

inline void LockingProcess::release() {
  if (process_.hProcess) {
    SetEvent(release_);
    if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0)
      TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = {};
  }
  if (ready_) CloseHandle(ready_);
  if (release_) CloseHandle(release_);
  ready_ = release_ = nullptr;
  locked_ = false;
}

// The host path of a file under Wine; empty elsewhere.
inline std::string host_path(const std::string& path) {
  using UnixName = char*(__cdecl*)(const wchar_t*);
  auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unix_name) return {};
  char* host = unix_name(std::wstring(path.begin(), path.end()).c_str());
  if (!host) return {};
  std::string result = host;
  HeapFree(GetProcessHeap(), 0, host);
  return result;
}

inline std::string quoted(const std::string& text) {
  std::string result(1, '"');
  result.append(text).push_back('"');
  return result;
}

// Runs a helper program from beside this one and returns its exit code (~0u when it
// could not be started or did not end within a minute).
inline DWORD run_helper(const char* program, const std::string& arguments) {
  std::string command(1, '"');
  command.append(beside_this_program(program)).append("\" ").append(arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return ~0u;
  DWORD code = ~0u;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

inline bool write_open_refused(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
  CloseHandle(file);
  return false;
}

// Runs the host's chattr on the host path of `path`; false where Wine cannot.
inline bool set_host_immutable(const std::string& path, bool on) {
  std::string host = host_path(path);
  if (host.empty()) return false;
  std::string command = on ? "chattr +i \"" : "chattr -i \"";
  command.append(host).append("\"");
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA("Z:\\usr\\bin\\chattr", command.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  // Wine cannot wait for a host process; watch for the effect instead.
  for (int tries = 0; tries < 100 && write_open_refused(path) != on; ++tries) Sleep(50);
  return write_open_refused(path) == on;
}

inline ReadOnlyFile::ReadOnlyFile(const std::string& path) : path_(path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  if (!write_open_refused(path)) {
    immutable_ = true;  // undone at the end even if the effect never showed
    set_host_immutable(path, true);
  }
  holds_ = write_open_refused(path);
}

inline ReadOnlyFile::~ReadOnlyFile() {
  if (immutable_) set_host_immutable(path_, false);
  SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace halvard::test
