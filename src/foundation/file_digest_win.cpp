#include "foundation/file_digest_win.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>

#include "foundation/file_functions.h"

namespace halvard {

std::optional<std::string> file_sha256(const std::string& path) {
  std::string bytes;
  if (load_file(path, bytes) != FileError::Success) return std::nullopt;
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return std::nullopt;
  std::optional<std::string> digest;
  HCRYPTHASH hash = 0;
  if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    BYTE value[32];
    DWORD size = sizeof value;
    if (CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()), 0) &&
        CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0) && size == sizeof value) {
      static constexpr char hex[] = "0123456789abcdef";
      std::string text;
      for (BYTE b : value) {
        text.push_back(hex[b >> 4]);
        text.push_back(hex[b & 15]);
      }
      digest = std::move(text);
    }
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return digest;
}

}  // namespace halvard
