#include "variables/directory_rights_win.h"

#include <aclapi.h>
#include <windows.h>

#include <vector>

#include "foundation/access_rights_win.h"
#include "foundation/guarded_call_win.h"
#include "foundation/unique_handle_win.h"
#include "foundation/windows_error.h"
#include "variables/directory_rights.h"

namespace halvard {
namespace {

// Enables the two privileges that let an administrator take any folder, and restores
// their earlier state when it goes.
class OwnershipPrivileges {
 public:
  OwnershipPrivileges() {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.out())) return;
    enable("SeTakeOwnershipPrivilege", take_ownership_);
    enable("SeRestorePrivilege", restore_);
  }
  ~OwnershipPrivileges() {
    if (!token_) return;
    disable(take_ownership_);
    disable(restore_);
  }
  OwnershipPrivileges(const OwnershipPrivileges&) = delete;
  OwnershipPrivileges& operator=(const OwnershipPrivileges&) = delete;

 private:
  struct Privilege {
    LUID id{};
    bool changed = false;  // it was off and this object switched it on
  };

  void enable(const char* name, Privilege& privilege) {
    if (!LookupPrivilegeValueA(nullptr, name, &privilege.id)) return;
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = privilege.id;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES before{};
    DWORD before_size = sizeof before;
    if (AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof before, &before, &before_size) &&
        GetLastError() == ERROR_SUCCESS) {
      privilege.changed = before.PrivilegeCount == 1 && !(before.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED);
    }
  }

  void disable(const Privilege& privilege) {
    if (!privilege.changed) return;
    TOKEN_PRIVILEGES off{};
    off.PrivilegeCount = 1;
    off.Privileges[0].Luid = privilege.id;
    off.Privileges[0].Attributes = 0;
    AdjustTokenPrivileges(token_.get(), FALSE, &off, 0, nullptr, nullptr);
  }

  UniqueHandle token_;
  Privilege take_ownership_;
  Privilege restore_;
};

// The user the process runs as, as a SID buffer; empty when the token cannot say.
std::vector<BYTE> current_user_sid() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out())) return {};
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  std::vector<BYTE> sid;
  if (size != 0 && GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
    PSID user_sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    sid.resize(GetLengthSid(user_sid));
    if (!CopySid(static_cast<DWORD>(sid.size()), sid.data(), user_sid)) sid.clear();
  }
  return sid;
}

DWORD take_ownership(const std::string& directory) {
  OwnershipPrivileges privileges;
  std::vector<BYTE> owner = current_user_sid();
  if (owner.empty()) return GetLastError() ? GetLastError() : ERROR_INVALID_SID;
  return SetNamedSecurityInfoA(const_cast<char*>(directory.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                               owner.data(), nullptr, nullptr, nullptr);
}

DWORD add_everyone_entry(const std::string& directory) { return grant_everyone_full_access_entry(directory, true); }

}  // namespace

std::uint32_t grant_everyone_full_access(const std::string& directory) {
  DWORD attributes = GetFileAttributesA(directory.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return rights_path_not_found;
  // Ownership is what lets an administrator rewrite a list that shuts him out; when it
  // fails the grant is still tried, and the first failure is what is reported.
  DWORD first_failure = take_ownership(directory);
  DWORD grant = add_everyone_entry(directory);
  return first_failure != ERROR_SUCCESS ? first_failure : grant;
}

std::string grant_directory_rights(const std::string& directory) {
  std::uint32_t code = rights_exception;
  guarded_call([&] { code = grant_everyone_full_access(directory); });
  return directory_rights_log_text(directory, code, windows_error_text(code));
}

}  // namespace halvard
