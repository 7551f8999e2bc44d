#pragma once
// The builder's own English texts for every message number the engine uses. A project
// overrides any of them and adds further languages; a number the engine formats with
// arguments records the conversions its text must carry, in order.

#include <span>
#include <string_view>

namespace halvard::builder {

struct BuiltinMessage {
  int number;
  std::string_view text;
  // The printf conversions the engine passes, in order ("%s%c%s"); empty: none.
  std::string_view conversions;
};

// Sorted by number; numbers the engine never uses are absent.
std::span<const BuiltinMessage> builtin_messages();

const BuiltinMessage* find_builtin_message(int number);

// One more than the highest built-in number: the least row count of a message table.
int builtin_message_rows();

}  // namespace halvard::builder
