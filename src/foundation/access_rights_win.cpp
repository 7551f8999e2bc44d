#include "foundation/access_rights_win.h"

#include <windows.h>
#include <aclapi.h>

#include "foundation/file.h"

namespace halvard {
namespace {

constexpr DWORD no_world_sid = 1319;

}  // namespace

std::uint32_t grant_everyone_full_access_entry(const std::string& path, bool inherited) {
  std::wstring name = name_to_wide(path);
  PACL old_acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                       &old_acl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) return status;

  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
    LocalFree(descriptor);
    return no_world_sid;
  }
  EXPLICIT_ACCESSW entry{};
  entry.grfAccessPermissions = GENERIC_ALL;
  entry.grfAccessMode = GRANT_ACCESS;
  entry.grfInheritance = inherited ? SUB_CONTAINERS_AND_OBJECTS_INHERIT : NO_INHERITANCE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(everyone);

  PACL new_acl = nullptr;
  status = SetEntriesInAclW(1, &entry, old_acl, &new_acl);
  if (status == ERROR_SUCCESS) {
    status = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, new_acl,
                                   nullptr);
  }
  if (new_acl) LocalFree(new_acl);
  FreeSid(everyone);
  LocalFree(descriptor);
  return status;
}

}  // namespace halvard
