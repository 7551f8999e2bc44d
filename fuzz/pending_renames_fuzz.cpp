// The pending-rename list parser on arbitrary registry bytes: the list is parsed from
// an exact-sized copy (so that ASan sees any read past it), paired, cleaned against a
// few paths, written back and read again, which must give the same pairs. The same
// bytes as text go through the comparison-date reader and the "wininit.ini" editor.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "records/deferred_operations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvard;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  for (size_t i = 0; i < size; ++i) copy[i] = data[i];

  const std::vector<PendingOperation> operations =
      pair_pending_texts(parse_multi_string(copy.get(), size));
  const std::unordered_set<std::u16string> files = {u"c:\\app\\a.dll", u"c:\\app\\b.txt", u""};
  const CleanedPendingList cleaned = clean_pending_list(operations, files);
  if (cleaned.kept.size() + cleaned.dropped.size() != operations.size()) std::abort();

  for (const std::vector<PendingOperation>* list : {&operations, &cleaned.kept}) {
    const std::vector<uint8_t> bytes = multi_string_bytes(*list);
    if (pair_pending_texts(parse_multi_string(bytes.data(), bytes.size())) != *list) std::abort();
  }

  const std::string_view text(reinterpret_cast<const char*>(copy.get()), size);
  (void)parse_comparison_date(text);
  (void)parse_comparison_size(text);
  if (add_wininit_entry(text, "NUL", "C:\\A").size() <= size) std::abort();
  return 0;
}
