#pragma once
// The builder's own English texts for every message the engine shows, one for each row
// of the engine's table of message names (package/message_numbers.h), which also gives
// each its number and the conversions its text must carry. A project overrides any of
// them, by name or number, and adds further languages.

#include <span>
#include <string_view>

namespace halvard::builder {

struct BuiltinMessage {
  std::string_view name;  // the engine's name for the message
  int number;
  std::string_view text;
  // The printf conversions the engine passes, in order ("%s%c%s"); empty: none.
  std::string_view conversions;
};

// Sorted by number; numbers the engine never uses are absent.
std::span<const BuiltinMessage> builtin_messages();

// nullptr when the engine has no message of that number or name.
const BuiltinMessage* find_builtin_message(int number);
const BuiltinMessage* find_builtin_message(std::string_view name);

// One more than the highest built-in number: the least row count of a message table.
int builtin_message_rows();

}  // namespace halvard::builder
