#pragma once

#include <string_view>

#include "foundation/unique_handle_win.h"

namespace halvard {

// The product's lock (see product_lock.h), held until this object goes or the process
// ends; a run that ends without letting go leaves it abandoned, which the next run
// takes as free.
class ProductLock {
 public:
  ProductLock() = default;
  ~ProductLock();
  ProductLock(const ProductLock&) = delete;
  ProductLock& operator=(const ProductLock&) = delete;

  // True when this run may go on: the lock is now ours, or the system could make no
  // lock at all (refusing every run then would help nobody). False when another run
  // still holds it after `wait_ms`.
  bool take(std::string_view key_name, unsigned wait_ms);

 private:
  UniqueHandle mutex_;
  bool owned_ = false;
};

}  // namespace halvard
