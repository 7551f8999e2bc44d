// Whole-file operations built on File: append a text, save, load, compare, set the
// write time, delete, list. Names that begin with "|" are UTF-8 after the bar.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/date_time.h"
#include "foundation/file_error.h"

namespace halvard {

// append_text options.
inline constexpr unsigned append_new_line = 0x1;     // start on a fresh line
inline constexpr unsigned append_no_retry = 0x2;     // a locked file is not tried again
inline constexpr unsigned append_must_exist = 0x4;   // do not create the file

// Appends `text` at the end of the file. An empty file first receives `header`; a file
// already larger than `size_limit` (when above 0) is left alone and the call succeeds.
// A locked file is tried again every 10 ms, up to 100 times.
bool append_text(const std::string& name, const std::string& text, unsigned options = 0,
                 std::int64_t size_limit = 0, const std::string& header = {});

// Creates or replaces the file with `data`; a failed write gives WriteFailed.
FileError save_file(const std::string& name, const std::string& data);
// The whole file into `data` (emptied first); TooLarge at 2 GiB and above.
FileError load_file(const std::string& name, std::string& data);
FileError load_file(const std::wstring& name, std::string& data);
// True when the file holds exactly `data`; on false the Windows error says why
// (ERROR_FILE_CORRUPT when the bytes differ).
bool compare_file(const std::string& name, const void* data, std::int64_t size);
bool compare_file(const std::string& name, const std::string& data);

// set_file_time modes.
inline constexpr int file_time_local = 0;
inline constexpr int file_time_utc = 1;
// What creating a folder with its missing parents did.
struct FolderTreeOutcome {
  std::uint32_t error = 0;              // the system's error; 0 when the folder exists now
  bool blocked_by_file = false;         // an element of the path is a file
  std::vector<std::string> created;     // the folders made, outermost first
};

// Creates `folder` and every missing folder above it ("|" names are UTF-8).
FolderTreeOutcome create_folder_tree(const std::string& folder);

// The 8.3 form of an existing path (a "|" name's in ANSI); the path itself where the
// system has none, as for a file that does not exist yet.
std::string short_path(const std::string& path);

// Sets the last-write time; any other mode does nothing and returns false.
bool set_file_time(const std::string& name, const DateTime& time, int mode);

// delete_file options, tested in this order.
inline constexpr unsigned delete_only_empty = 0x100;     // fail unless the size is 0
inline constexpr unsigned delete_keep_read_only = 0x1;   // do not clear the attribute
inline constexpr unsigned delete_at_restart = 0x2;       // register for the next restart
inline constexpr unsigned delete_to_recycle_bin = 0x80;  // through the shell
inline constexpr unsigned delete_or_at_restart = 0x10;   // when deleting now fails
// False on failure with the Windows error left in place.
bool delete_file(const std::string& name, unsigned options = 0);

// A link: a symbolic link, junction or other reparse point, as the name itself is, not
// what it points at.
bool is_link(const std::string& name);
// Removes the link `name` itself, whether it stands for a folder or a file; what it
// points at is untouched.
bool delete_link(const std::string& name);

// Where the system finds `name` once every link on the way is followed, as the system
// spells it (a "\\?\" form); empty when it cannot say: no such file, or a system
// without the call.
std::wstring resolved_path(const std::string& name);
std::wstring resolved_path(const std::wstring& name);
// Whether the system finds the file `name` outside the folder it is named in, whose
// resolved_path is `resolved_folder`: a link to elsewhere, also one the system does not
// show as a link (Wine's links to Unix files, whose deletion takes the target). False
// when either cannot be resolved.
bool resolves_outside(const std::wstring& name, const std::wstring& resolved_folder);

struct FoundFile {
  std::wstring name;
  std::string ansi_name;  // "?" where the ANSI code page has no character
  std::uint32_t attributes = 0;
  std::int64_t size = 0;
  std::uint64_t write_time = 0;  // FILETIME value, UTC
  bool is_directory() const { return attributes & 0x10; }
  // "." and "..", which the system lists for a "*" in a folder other than a root.
  bool is_dot_entry() const { return name == L"." || name == L".."; }
};
// The entries the system finds for the pattern ("*" and "?" in its last element),
// in the system's order; empty when nothing matches.
std::vector<FoundFile> list_files(const std::string& pattern);

}  // namespace halvard
