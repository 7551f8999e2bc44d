#include "installer/restore_point_win.h"

#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include "foundation/guarded_call_win.h"
#include "foundation/file.h"
#include "foundation/system_library_win.h"
#include "foundation/windows_error.h"

namespace halvard {
namespace {

constexpr DWORD begin_system_change = 100;
constexpr DWORD end_system_change = 101;
constexpr DWORD application_install = 0;
constexpr size_t description_limit = 255;

#pragma pack(push, 1)
// The layouts srclient.dll expects: packed, as the system's own header declares them.
struct RestorePointInfo {
  DWORD event_type;
  DWORD point_type;
  INT64 sequence;
  WCHAR description[description_limit + 1];
};
struct StateManagerStatus {
  DWORD status;
  INT64 sequence;
};
#pragma pack(pop)

using SetRestorePointFn = BOOL(WINAPI*)(RestorePointInfo*, StateManagerStatus*);

SetRestorePointFn restore_point_call(std::string& missing) {
  HMODULE library = load_system_library("srclient.dll");
  if (!library) {
    missing = "System Restore is not present.";
    return nullptr;
  }
  auto call = reinterpret_cast<SetRestorePointFn>(reinterpret_cast<void*>(GetProcAddress(library, "SRSetRestorePointW")));
  if (!call) missing = "SRSetRestorePointW is not present.";
  return call;
}

// System Restore calls back into the process through COM; these are the callers it may use.
void allow_system_restore_callers() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAG:BAD:(A;;0x1;;;BA)(A;;0x1;;;LS)(A;;0x1;;;NS)(A;;0x1;;;PS)(A;;0x1;;;SY)", SDDL_REVISION_1,
          &descriptor, nullptr)) {
    return;
  }
  CoInitializeSecurity(descriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IDENTIFY,
                       nullptr, EOAC_NONE, nullptr);
  LocalFree(descriptor);
}

}  // namespace

std::string begin_restore_point(const std::string& description, RestorePoint& point) {
  std::string log = "Creating restore point...";
  std::string missing;
  SetRestorePointFn call = restore_point_call(missing);
  if (!call) return log + "FAILED\r\n" + missing + "\r\n\r\n";

  allow_system_restore_callers();
  RestorePointInfo info{};
  info.event_type = begin_system_change;
  info.point_type = application_install;
  std::wstring wide = ansi_to_wide(description.substr(0, description_limit));
  wide.resize(std::min(wide.size(), description_limit));
  wide.copy(info.description, wide.size());
  StateManagerStatus status{};
  BOOL made = FALSE;
  DWORD error = 0;
  if (guarded_call([&] {
        made = call(&info, &status);
        error = made ? 0 : GetLastError();
      }).faulted)
    return log + "CRASHED!\r\n\r\n";
  if (!made) return log + "FAILED\r\n" + windows_error_text(status.status ? status.status : error) + "\r\n\r\n";
  point.begun = true;
  point.sequence = status.sequence;
  return log + "OK\r\n";
}

std::string commit_restore_point(RestorePoint& point) {
  if (!point.begun) return {};
  point.begun = false;
  std::string missing;
  SetRestorePointFn call = restore_point_call(missing);
  RestorePointInfo info{};
  info.event_type = end_system_change;
  info.point_type = application_install;
  info.sequence = point.sequence;
  StateManagerStatus status{};
  point.sequence = 0;
  BOOL committed = FALSE;
  if (call) guarded_call([&] { committed = call(&info, &status); });
  return committed ? std::string() : std::string("Failed to commit restore point.\r\n");
}

}  // namespace halvard
