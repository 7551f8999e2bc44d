#pragma once
// Every PackageError code in one table, shared by the engine and halvard-build's
// inspect: the name the code says, its number (what the user sees as "Error code: N")
// and when it is raised.

#include <string_view>

// X(name, code, raised when)
#define HALVARD_PACKAGE_ERRORS(X) \
  X(negative_replacement_size, 5, "in-use replacement asked for a file with a negative size") \
  X(section_offset_zero, 9, "the .setup section's file offset is 0") \
  X(section_unreachable, 10, "the file cannot be positioned at the section") \
  X(step_delay_too_long, 19, "the stream's step delay is 10000 or more") \
  X(bad_magic, 20, "the header's magic number is wrong") \
  X(bad_stream_size, 22, "the stored stream's size is below 1, too large or past the section") \
  X(too_many_license_texts, 24, "the count of licence texts is not in 0 to 20") \
  X(stream_checksum, 25, "the decoded stream's checksum differs") \
  X(too_many_readme_texts, 26, "the count of read-me texts is not in 0 to 20") \
  X(bad_file_count, 27, "the file count is negative or past the section") \
  X(bad_file_data_size, 28, "a file's entry in the header's size list is negative or too large") \
  X(bad_data_size, 29, "the file-data size is negative") \
  X(bad_language_count, 30, "the language count is 0 or above 200") \
  X(bad_message_count, 31, "the message count is not in 1 to 10000") \
  X(bad_end_marker, 32, "the stream's end marker is wrong, or the stream ends early") \
  X(engine_unreadable, 35, "the executable's bytes before the section cannot be read") \
  X(too_many_associations, 36, "the count of file associations is not in 0 to 1000") \
  X(too_many_registration_values, 37, "the count of registration values is not in 0 to 1000") \
  X(too_many_conditional_deletes, 38, "the conditional-delete list would grow beyond 1001 entries") \
  X(bad_bitmap_size, 39, "the background bitmap's size share is not in 0 to 100") \
  X(engine_checksum, 40, "the engine's checksum differs") \
  X(too_many_close_applications, 41, "the automatic-close list has more than 1000 entries") \
  X(engine_tail_unreadable, 42, "the bytes behind the section cannot be read for the engine copy") \
  X(bad_pe_header_offset, 43, "e_lfanew cannot be read or is outside 64 to 4096") \
  X(bad_section_count, 44, "the section count cannot be read or is outside 4 to 99") \
  X(bad_data_end, 45, "the file-data region's end is negative or beyond the section") \
  X(region_length, 46, "the file-data region's length differs from its size") \
  X(stream_rejected, 47, "the codec rejects the stored stream") \
  X(too_many_shortcuts, 48, "the count of shortcuts is not in 0 to 1000") \
  X(region_checksum, 55, "the file-data region's checksum differs") \
  X(block_rejected, 60, "the codec rejects a data block, or it decodes to more than the records hold") \
  X(block_length, 61, "a data block's length is 0 or negative") \
  X(block_checksum, 62, "a data block's checksum differs") \
  X(block_overrun, 63, "a data block runs past the region, or the chain ends before the records do") \
  X(deletion_without_date, 65, "a conditional deletion by date has no date") \
  X(empty_name, 70, "a file record has an empty name") \
  X(data_size_negative, 71, "a file's stored data size is negative") \
  X(data_size_too_large, 72, "a file's stored data size is above 0x40000000") \
  X(region_left_over, 80, "bytes are left in the region after the last file") \
  X(records_left_over, 83, "record bytes are left after the last file, or a record is malformed") \
  X(bad_firewall_entry, 90, "a firewall exception does not split into 4 fields") \
  X(data_checksum, 100, "a file's data checksum differs") \
  X(bad_kind, 110, "a file record's destination kind is unknown")

namespace halvard {

namespace package_error_code {
#define HALVARD_PACKAGE_ERROR(name, code, when) inline constexpr int name = code;
HALVARD_PACKAGE_ERRORS(HALVARD_PACKAGE_ERROR)
#undef HALVARD_PACKAGE_ERROR
}  // namespace package_error_code

struct PackageErrorName {
  std::string_view name;
  int code;
  std::string_view when;
};

#define HALVARD_PACKAGE_ERROR(name, code, when) PackageErrorName{#name, code, when},
inline constexpr PackageErrorName package_error_names[] = {HALVARD_PACKAGE_ERRORS(HALVARD_PACKAGE_ERROR)};
#undef HALVARD_PACKAGE_ERROR

}  // namespace halvard
