#include "records/product_lock_win.h"

#include <windows.h>

#include <string>

#include "records/product_lock.h"

namespace halvard {
namespace {

// The global namespace makes runs in different sessions see each other; a process
// that may not make global objects, and cannot open the one another run made, falls
// back to its session's own.
HANDLE open_lock(const std::string& name) {
  for (const char* space : {"Global\\", "Local\\"}) {
    std::string full = space + name;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, full.c_str());
    if (mutex) return mutex;
    if (GetLastError() == ERROR_ACCESS_DENIED) {
      mutex = OpenMutexA(SYNCHRONIZE, FALSE, full.c_str());
      if (mutex) return mutex;
    }
  }
  return nullptr;
}

}  // namespace

ProductLock::~ProductLock() {
  if (owned_) ReleaseMutex(mutex_.get());
}

bool ProductLock::take(std::string_view key_name, unsigned wait_ms) {
  if (owned_) return true;
  mutex_.reset(open_lock(product_lock_name(key_name)));
  if (!mutex_) return true;
  DWORD waited = WaitForSingleObject(mutex_.get(), wait_ms);
  owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  return owned_;
}

}  // namespace halvard
