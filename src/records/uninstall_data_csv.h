// The comma-separated record rules of the uninstall data file (and of the registry
// script, which uses the same rules). A record is one line; fields are bytes in the
// ANSI code page and are never decoded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "foundation/text.h"  // trim_blanks, as the records use it

namespace halvard {

// Whether the field must be written between double quotes: it holds , " TAB CR LF ;
// or |, or it begins with a blank or an apostrophe, or it ends with a blank.
bool csv_needs_quotes(std::string_view field);

// The field as written: quoted with inner double quotes doubled when needed, else as is.
std::string csv_field(std::string_view field);

// The fields written and joined by ",". No line end.
std::string csv_record(const std::vector<std::string>& fields);

// Splits one line at the commas outside double quotes; each field is trimmed, loses
// its enclosing double quotes and has "" turned into ". Whatever csv_record writes for
// fields without line breaks reads back to the same fields. An empty line gives one
// empty field.
std::vector<std::string> split_csv_record(std::string_view line);

// Cuts a text into its records: each ends at a line break (LF, or CR LF) outside double
// quotes; a line break inside quotes belongs to its field. The records come without
// their line ends; a text that ends with a line break has no empty record after it.
std::vector<std::string_view> csv_lines(std::string_view text);

}  // namespace halvard
