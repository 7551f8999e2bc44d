#pragma once
// One run at a time per product. An installation and a removal of the same product
// each write the product's records (Uninstall.DAT, the Uninstall key, the shared
// counts); interleaved, one deletes what the other just wrote. Both hold the product's
// lock, a named mutex, for their whole run.

#include <string>
#include <string_view>

namespace halvard {

// The mutex's name for the product registered under `key_name`. Registry key names
// ignore case, so the name does too; a backslash would name a namespace, so it becomes
// a slash. Long names keep their start and a hash of the whole, within the system's
// limit for object names.
std::string product_lock_name(std::string_view key_name);

// What a removal says when an installation or another removal of the product holds
// the lock.
std::string product_busy_text(std::string_view product);

}  // namespace halvard
