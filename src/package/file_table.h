#pragma once
// The file table: the chain of data blocks behind the stored stream, whose decoded bytes
// are the length-prefixed file records. Checks the region, walks the records in table
// order and hands every file with its destination to a sink.
//
// Contract: nothing here reads outside the region the source gives, whatever the header
// or the region holds; every fault is returned as a value (a PackageError code or a
// failed read), never raised. With the region on disk nothing holds the whole region:
// the check reads it in pieces, the walk one block at a time, so memory stays within a
// few blocks plus the record of one file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/file_record.h"
#include "package/install_settings.h"
#include "package/package_error_codes.h"
#include "package/package_header.h"
#include "package/setup_section.h"

namespace halvard {

// PackageError codes of the region and its records.
// Progress percentages: after the region check, after the sequence's two preparatory
// steps, then one per file.
inline constexpr int progress_region_checked = 21;
inline constexpr int progress_first_preparation = 26;
inline constexpr int progress_second_preparation = 27;
// 28 + index * 62 / count, in integer arithmetic.
int file_progress(size_t index, size_t count);

// A record's own fields (texts and words) may take at most this many bytes besides the
// file's data and its checksum; a longer record is refused before it is gathered, so a
// damaged length cannot make the walk hold more than one file.
inline constexpr uint32_t max_record_fields_size = 0x100000;

// Bytes read at a time when a region on disk is checked.
inline constexpr size_t region_check_piece = 1 << 20;

struct FileTableResult {
  enum class Outcome : uint8_t { ok, package_error, read_failed, out_of_memory, cancelled };
  Outcome outcome = Outcome::ok;
  int package_error = 0;       // with package_error
  // read_failed: the region's length and its position in the file;
  // out_of_memory: read_size is the record length that could not be held.
  uint64_t read_size = 0;
  uint64_t read_position = 0;

  explicit operator bool() const { return outcome == Outcome::ok; }
  static FileTableResult error(int code) { return {Outcome::package_error, code, 0, 0}; }
};

// "Error code 2: failed to read archive data\r\nsize=%d pos=%d", filled from a
// read_failed result.
std::string read_failure_text(const FileTableResult& result);

// Where the region's bytes come from.
class RegionSource {
 public:
  virtual ~RegionSource() = default;
  // The region's actual length; negative when its end lies before its start.
  virtual int64_t length() const = 0;
  // A PackageError code when the region cannot even be placed, else 0.
  virtual int placement_error() const { return 0; }
  // Gives `size` bytes at `offset` (within length()): a view of the region itself when
  // it is in memory, otherwise bytes read into `scratch`. False when the read fails.
  virtual bool fetch(uint64_t offset, size_t size, std::vector<uint8_t>& scratch,
                     std::span<const uint8_t>& out) = 0;
  // The region's position in the executable file, for the read-failure text.
  virtual uint64_t file_position() const { return 0; }
};

// The region in the mapped section, read in place.
class MemoryRegion final : public RegionSource {
 public:
  explicit MemoryRegion(std::span<const uint8_t> region) : bytes_(region), length_(int64_t(region.size())) {}
  // From DataOffset up to DataEnd of the section. DataEnd beyond the section is refused
  // (45) instead of being read; DataEnd before DataOffset is a negative length (46).
  static MemoryRegion in_section(std::span<const uint8_t> section, uint64_t DataOffset, int64_t DataEnd);

  int64_t length() const override { return length_; }
  int placement_error() const override { return placement_error_; }
  bool fetch(uint64_t offset, size_t size, std::vector<uint8_t>& scratch, std::span<const uint8_t>& out) override;

 private:
  std::span<const uint8_t> bytes_;
  int64_t length_ = 0;
  int placement_error_ = 0;
};

// The region read from the executable file: from `position` to `end`, the end of the
// file or of its signed content (disk_region_end).
class DiskRegion final : public RegionSource {
 public:
  DiskRegion(ReadAt read, uint64_t end, uint64_t position)
      : read_(std::move(read)), position_(position), length_(int64_t(end) - int64_t(position)) {}

  int64_t length() const override { return length_; }
  bool fetch(uint64_t offset, size_t size, std::vector<uint8_t>& scratch, std::span<const uint8_t>& out) override;
  uint64_t file_position() const override { return position_; }

 private:
  ReadAt read_;
  uint64_t position_ = 0;
  int64_t length_ = 0;
};

// The header words that the table needs (from PackageHeader).
struct FileTableHeader {
  int64_t DataSize = 0;
  uint32_t DataChecksum = 0;
  std::span<const int32_t> FileDataSizes;  // one per file; their count is FileCount
};
FileTableHeader file_table_header(const PackageHeader& header);

struct FileTableOptions {
  bool compressed_blocks = false;       // ProductFlags low bit 5
  bool verify_block_checksums = false;  // ProductFlags high bit 0
};
FileTableOptions file_table_options(const ProductFlagWords& flags);

struct FileTableHooks {
  std::function<void(int percent)> progress;  // post the percentage, then pump messages
  std::function<void()> step_delay;           // the StepDelay wait around the region checksum
  std::function<void()> pump_messages;        // once per file
  std::function<bool()> cancelled;            // asked before each file; true stops the walk there
};

// The folders that destinations resolve against, gathered by the caller.
struct DestinationFolders {
  std::string InstallDir;
  std::string SharedPath;
  std::string UninstallDir;
  std::string system_folder;  // GetSystemDirectory
  std::string fonts_folder;   // the shell's Fonts folder
  // The UTF-8 form of an ANSI folder, for a file whose name is "|" + UTF-8 (one
  // that the ANSI code page cannot hold); empty: the folders' bytes are kept as
  // they are.
  std::function<std::string(std::string_view)> utf8_from_ansi;
};
DestinationFolders destination_folders(const InstallSettings& settings, std::string system_folder,
                                       std::string fonts_folder);

// Directory-variable expansion of a destination text; empty: texts are used as they are.
using ExpandVariables = std::function<std::string(std::string_view)>;

struct FileDestination {
  int package_error = 0;           // 110 when the record's Kind is none of the kinds
  std::string path;
  bool under_install_dir = false;  // placed by a folder Destination or by a kind of InstallDir
  std::string log_line;            // Name + " >>> " + path, for the installation log
};

FileDestination resolve_destination(const FileRecord& record, const DestinationFolders& folders,
                                    const ExpandVariables& expand = {});

// The file-name part of a name that may hold a relative path.
std::string_view name_part(std::string_view name);

// Parses one record's bytes: the fields, then `data_size` bytes of data, then the data
// checksum. 0 on success, else the PackageError code. Every read stays within `record`.
int parse_file_record(std::span<const uint8_t> record, int32_t data_size, FileRecord& out,
                      std::span<const uint8_t>& data);

struct ExtractedFile {
  size_t index = 0;
  const FileRecord& record;
  const FileDestination& destination;
  std::span<const uint8_t> data;  // valid only during the sink call
};
using FileSink = std::function<void(const ExtractedFile& file)>;

// Checks the region: its placement, its length against DataSize (before any read), then
// between the two StepDelay waits its checksum, read in pieces. Posts 21 when it passes.
FileTableResult check_file_region(RegionSource& region, const FileTableHeader& header,
                                  const FileTableHooks& hooks = {});

// Walks the records of a checked region in table order, loading blocks only when the
// next record is not complete, and hands every file to the sink.
FileTableResult extract_files(RegionSource& region, const FileTableHeader& header, const FileTableOptions& options,
                              const DestinationFolders& folders, const ExpandVariables& expand,
                              const FileSink& sink, const FileTableHooks& hooks = {});

// The shortcut entry of a kind-0 file with Flags bit 0 or 1, or of a kind-5 file. The
// sequence adds it to ShortcutEntries for a file that the overwrite rules let through.
bool gets_file_shortcut(const FileRecord& record);
ShortcutEntry file_shortcut_entry(const FileRecord& record, std::string_view destination);

// Bytes the installation needs on its drive: the engine copy, the first DialogOptions
// value and every file's data rounded up to the cluster size. cluster_size 0 or
// negative (not found) counts as 4096; 1 leaves the sizes unrounded.
inline constexpr int64_t default_cluster_size = 4096;
int64_t required_space(uint64_t EngineCopySize, int32_t extra_space, std::span<const int32_t> FileDataSizes,
                       int64_t cluster_size);
int64_t required_space(const InstallSettings& settings, std::span<const int32_t> FileDataSizes,
                       int64_t cluster_size);

}  // namespace halvard
