#include "package/file_table.h"

#include <algorithm>
#include <cstdio>

#include "crash/exception_free.h"
#include "foundation/text.h"
#include "package/block_codec.h"
#include "package/byte_reader.h"
#include "package/checksum.h"

namespace halvard {
namespace {

namespace err = package_error_code;

FileTableResult read_failed(const RegionSource& region) {
  FileTableResult result;
  result.outcome = FileTableResult::Outcome::read_failed;
  result.read_size = uint64_t(std::max<int64_t>(region.length(), 0));
  result.read_position = region.file_position();
  return result;
}

FileTableResult out_of_memory(uint64_t size) {
  FileTableResult result;
  result.outcome = FileTableResult::Outcome::out_of_memory;
  result.read_size = size;
  return result;
}

uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The blocks of the region, decoded one at a time, and the record stream they form.
class RecordStream {
 public:
  RecordStream(RegionSource& region, const FileTableOptions& options)
      : region_(region), options_(options), remaining_(uint64_t(std::max<int64_t>(region.length(), 0))) {}

  // The next record, whole. `max_length` bounds its length; `decode_limit` bounds what
  // one block may decode to (no block needs more than the records still to come).
  FileTableResult next(uint64_t max_length, uint64_t decode_limit, std::span<const uint8_t>& record) {
    uint8_t prefix[4];
    for (size_t got = 0; got < 4;) {
      if (block_position_ == block_.size()) {
        if (auto loaded = load_block(decode_limit); !loaded) return loaded;
        continue;
      }
      size_t n = std::min(4 - got, block_.size() - block_position_);
      std::copy_n(block_.data() + block_position_, n, prefix + got);
      block_position_ += n;
      got += n;
    }
    const uint32_t length = load_le32(prefix);
    if (length > max_length) return FileTableResult::error(err::records_left_over);

    if (block_.size() - block_position_ >= length) {
      record = block_.subspan(block_position_, length);
      block_position_ += length;
      return {};
    }
    // The record continues in the next blocks: gather it in a buffer of its own.
    if (!fallible_resize(record_, length)) return out_of_memory(length);
    size_t filled = 0;
    while (filled < length) {
      if (block_position_ == block_.size()) {
        if (auto loaded = load_block(decode_limit); !loaded) return loaded;
        continue;
      }
      size_t n = std::min<size_t>(length - filled, block_.size() - block_position_);
      std::copy_n(block_.data() + block_position_, n, record_.data() + filled);
      block_position_ += n;
      filled += n;
    }
    record = record_;
    return {};
  }

  bool region_used_up() const { return remaining_ == 0; }
  bool stream_used_up() const { return block_position_ == block_.size(); }

 private:
  FileTableResult load_block(uint64_t decode_limit) {
    // A block head that runs past the region is as much an overrun as its data.
    if (remaining_ < 8) return FileTableResult::error(err::block_overrun);
    std::span<const uint8_t> head;
    if (!region_.fetch(offset_, 8, scratch_, head)) return read_failed(region_);
    const int32_t length = int32_t(load_le32(head.data()));
    const uint32_t checksum = load_le32(head.data() + 4);
    offset_ += 8;
    remaining_ -= 8;
    if (length <= 0) return FileTableResult::error(err::block_length);
    if (uint64_t(length) > remaining_) return FileTableResult::error(err::block_overrun);

    std::span<const uint8_t> stored;
    if (!region_.fetch(offset_, size_t(length), scratch_, stored)) return read_failed(region_);
    if (options_.verify_block_checksums && Checksum32(stored) != checksum)
      return FileTableResult::error(err::block_checksum);
    if (options_.compressed_blocks) {
      const size_t limit = size_t(std::min<uint64_t>(decode_limit, block_codec_max_size));
      if (!BlockCodec::decode(stored, decoded_, limit)) return FileTableResult::error(err::block_rejected);
      block_ = decoded_;
    } else {
      block_ = stored;
    }
    block_position_ = 0;
    offset_ += uint64_t(length);
    remaining_ -= uint64_t(length);
    return {};
  }

  RegionSource& region_;
  FileTableOptions options_;
  uint64_t offset_ = 0;
  uint64_t remaining_ = 0;
  std::vector<uint8_t> scratch_;  // a block read from disk
  std::vector<uint8_t> decoded_;  // the current block, decoded
  std::span<const uint8_t> block_;
  size_t block_position_ = 0;
  std::vector<uint8_t> record_;   // a record that spans blocks
};

// What one file's record may need at most: length prefix, fields, data, checksum.
uint64_t record_need(int32_t data_size) {
  return 4 + uint64_t(max_record_fields_size) + uint64_t(std::max<int32_t>(data_size, 0)) + 4;
}

bool is_absolute(std::string_view path) {
  return (path.size() >= 2 && path[1] == ':') || path.starts_with("\\\\");
}

// A relative name goes into the folder with one backslash between; a name with a drive
// or a UNC prefix stands on its own.
std::string place_in_folder(std::string_view folder, std::string_view name) {
  if (is_absolute(name) || folder.empty()) return std::string(name);
  while (!name.empty() && (name.front() == '\\' || name.front() == '/')) name.remove_prefix(1);
  std::string path(folder);
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  path += name;
  return path;
}

void call(const std::function<void()>& hook) {
  if (hook) hook();
}

}  // namespace

int file_progress(size_t index, size_t count) {
  if (count == 0) return 28;
  return 28 + int(uint64_t(index) * 62 / uint64_t(count));
}

std::string read_failure_text(const FileTableResult& result) {
  char text[128];
  std::snprintf(text, sizeof text, "Error code 2: failed to read archive data\r\nsize=%llu pos=%llu",
                static_cast<unsigned long long>(result.read_size),
                static_cast<unsigned long long>(result.read_position));
  return text;
}

MemoryRegion MemoryRegion::in_section(std::span<const uint8_t> section, uint64_t DataOffset, int64_t DataEnd) {
  MemoryRegion region{std::span<const uint8_t>()};
  if (DataEnd < 0 || uint64_t(DataEnd) > section.size()) {
    region.placement_error_ = err::bad_data_end;
    return region;
  }
  if (uint64_t(DataEnd) < DataOffset) {
    region.length_ = DataEnd - int64_t(std::min<uint64_t>(DataOffset, uint64_t(INT64_MAX)));
    return region;
  }
  region.bytes_ = section.subspan(size_t(DataOffset), size_t(uint64_t(DataEnd) - DataOffset));
  region.length_ = int64_t(region.bytes_.size());
  return region;
}

bool MemoryRegion::fetch(uint64_t offset, size_t size, std::vector<uint8_t>&, std::span<const uint8_t>& out) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  out = bytes_.subspan(size_t(offset), size);
  return true;
}

bool DiskRegion::fetch(uint64_t offset, size_t size, std::vector<uint8_t>& scratch, std::span<const uint8_t>& out) {
  if (length_ < 0 || offset > uint64_t(length_) || size > uint64_t(length_) - offset) return false;
  if (!fallible_resize(scratch, size)) return false;
  if (size && !read_(position_ + offset, scratch.data(), size)) return false;
  out = std::span<const uint8_t>(scratch.data(), size);
  return true;
}

FileTableHeader file_table_header(const PackageHeader& header) {
  return {header.DataSize, header.DataChecksum, header.FileDataSizes};
}

FileTableOptions file_table_options(const ProductFlagWords& flags) {
  return {(flags.low & product_flag::low_compressed_blocks) != 0,
          (flags.high & product_flag::high_verify_checksums) != 0};
}

DestinationFolders destination_folders(const InstallSettings& settings, std::string system_folder,
                                       std::string fonts_folder) {
  return {settings.InstallDir,     settings.SharedPath,
          settings.UninstallDir,   std::move(system_folder),
          std::move(fonts_folder), {}};
}

std::string_view name_part(std::string_view name) {
  size_t slash = name.find_last_of("\\/");
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

FileDestination resolve_destination(const FileRecord& record, const DestinationFolders& folders,
                                    const ExpandVariables& expand) {
  FileDestination result;
  if (!is_file_kind(record.Kind)) {
    result.package_error = err::bad_kind;
    return result;
  }
  auto expanded = [&expand](std::string_view text) { return expand ? expand(text) : std::string(text); };

  std::string name = record.Name;
  std::string destination = record.Destination;
  bool utf8 = false;
  if (!destination.empty() && destination.back() != '\\') {
    name = expanded(destination);
    destination.clear();
  } else if (is_utf8_name(name)) {
    // The path becomes "|" + UTF-8 as a whole: its folders are converted too.
    utf8 = true;
    name.erase(0, 1);
  }
  auto in = [&](std::string_view ansi_folder) {
    return utf8 && folders.utf8_from_ansi ? folders.utf8_from_ansi(ansi_folder)
                                          : std::string(ansi_folder);
  };

  if (!destination.empty()) {
    std::string folder = expanded(destination);
    if (folder.ends_with("\\\\")) folder.pop_back();
    const std::string& base = record.Kind == file_kind::shared ? folders.SharedPath : folders.InstallDir;
    result.path =
        place_in_folder(place_in_folder(in(base), in(folder)), name_part(name));
    result.under_install_dir = true;
  } else if (record.Flags & file_flag::uninstall_dir) {
    result.path = place_in_folder(in(folders.UninstallDir), name);
  } else {
    switch (record.Kind) {
    case file_kind::shared:
      result.path = place_in_folder(in(folders.SharedPath), name);
      break;
    case file_kind::font:
      result.path = place_in_folder(in(folders.fonts_folder), name);
      break;
    case file_kind::system:
    case file_kind::com_server:
    case file_kind::type_library:
      result.path = place_in_folder(in(folders.system_folder), name);
      break;
    default:
      result.path = place_in_folder(in(folders.InstallDir), name);
      result.under_install_dir = true;
      break;
    }
  }
  if (utf8)
    result.path.insert(0, 1, '|');
  result.log_line = name + " >>> " + result.path;
  return result;
}

int parse_file_record(std::span<const uint8_t> record, int32_t data_size, FileRecord& out,
                      std::span<const uint8_t>& data) {
  constexpr int short_record = err::records_left_over;
  ByteReader reader(record);
  FileRecord parsed;
  if (!reader.ztext(parsed.Name)) return short_record;
  if (parsed.Name.empty()) return err::empty_name;
  FileDate& date = parsed.FileDate;
  if (!reader.u32(parsed.Kind) || !reader.u32(parsed.Flags) || !reader.u32(parsed.Attributes) ||
      !reader.i32(date.year) || !reader.i32(date.month) || !reader.i32(date.day) || !reader.i32(date.hour) ||
      !reader.i32(date.minute) || !reader.i32(date.second))
    return short_record;
  // Every text is followed by at least the data checksum, so a text that runs to the
  // record's end has no terminator and the reads behind it fail.
  if (!reader.ztext(parsed.VersionText)) return short_record;
  if (parsed.has_shortcut_text() && !reader.ztext(parsed.ShortcutText)) return short_record;
  if (!reader.ztext(parsed.ShortcutText2) || !reader.ztext(parsed.Destination) ||
      !reader.ztext(parsed.ShortcutText3))
    return short_record;
  if (parsed.has_msi_value() && !reader.u32(parsed.MsiValue)) return short_record;

  if (data_size < 0) return err::data_size_negative;
  if (data_size > max_file_record_data) return err::data_size_too_large;
  std::span<const uint8_t> bytes;
  uint32_t checksum = 0;
  if (!reader.take(size_t(data_size), bytes) || !reader.u32(checksum)) return short_record;
  if (Checksum32(bytes) != checksum) return err::data_checksum;

  out = std::move(parsed);
  data = bytes;
  return 0;
}

FileTableResult check_file_region(RegionSource& region, const FileTableHeader& header,
                                  const FileTableHooks& hooks) {
  if (int code = region.placement_error()) return FileTableResult::error(code);
  if (region.length() != header.DataSize) return FileTableResult::error(err::region_length);

  call(hooks.step_delay);
  Checksum32Builder checksum;
  std::vector<uint8_t> scratch;
  const uint64_t length = uint64_t(region.length());
  for (uint64_t offset = 0; offset < length;) {
    size_t piece = size_t(std::min<uint64_t>(region_check_piece, length - offset));
    std::span<const uint8_t> bytes;
    if (!region.fetch(offset, piece, scratch, bytes)) return read_failed(region);
    checksum.add(bytes);
    offset += piece;
  }
  if (checksum.result() != header.DataChecksum) return FileTableResult::error(err::region_checksum);
  call(hooks.step_delay);

  if (hooks.progress) hooks.progress(progress_region_checked);
  return {};
}

FileTableResult extract_files(RegionSource& region, const FileTableHeader& header, const FileTableOptions& options,
                              const DestinationFolders& folders, const ExpandVariables& expand,
                              const FileSink& sink, const FileTableHooks& hooks) {
  const auto sizes = header.FileDataSizes;
  uint64_t need = 0;  // what the records still to come can hold at most
  for (int32_t size : sizes) need += record_need(size);

  RecordStream stream(region, options);
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (hooks.progress) hooks.progress(file_progress(i, sizes.size()));
    if (hooks.cancelled && hooks.cancelled()) return {FileTableResult::Outcome::cancelled, 0, 0, 0};

    const uint64_t max_length = record_need(sizes[i]) - 4;
    std::span<const uint8_t> bytes;
    if (auto taken = stream.next(max_length, need, bytes); !taken) return taken;
    need -= record_need(sizes[i]);

    FileRecord record;
    std::span<const uint8_t> data;
    if (int code = parse_file_record(bytes, sizes[i], record, data)) return FileTableResult::error(code);
    FileDestination destination = resolve_destination(record, folders, expand);
    if (destination.package_error) return FileTableResult::error(destination.package_error);

    if (sink) sink(ExtractedFile{i, record, destination, data});
    call(hooks.pump_messages);
  }
  if (!stream.region_used_up()) return FileTableResult::error(err::region_left_over);
  if (!stream.stream_used_up()) return FileTableResult::error(err::records_left_over);
  return {};
}

bool gets_file_shortcut(const FileRecord& record) {
  return record.Kind == file_kind::shortcut || (record.Kind == file_kind::plain && record.has_shortcut_text());
}

ShortcutEntry file_shortcut_entry(const FileRecord& record, std::string_view destination) {
  ShortcutEntry entry;
  entry.desktop = (record.Flags & file_flag::shortcut_desktop) ? 1 : 0;
  entry.start_menu = (record.Flags & file_flag::shortcut_start_menu) ? 1 : 0;
  entry.startup = record.Kind == file_kind::shortcut ? 1 : 0;
  entry.keep = (record.Flags & file_flag::keep_at_uninstall) ? 1 : 0;
  entry.target = std::string(destination);
  entry.name = record.VersionText;
  entry.icon_file = record.ShortcutText;
  entry.arguments = record.ShortcutText2;
  entry.working_directory = record.ShortcutText3;
  // The destination is already a finished path.
  entry.expand_target = false;
  return entry;
}

int64_t required_space(uint64_t EngineCopySize, int32_t extra_space, std::span<const int32_t> FileDataSizes,
                       int64_t cluster_size) {
  if (cluster_size <= 0) cluster_size = default_cluster_size;
  int64_t total = int64_t(EngineCopySize) + extra_space;
  for (int32_t size : FileDataSizes) {
    int64_t bytes = std::max<int32_t>(size, 0);
    if (cluster_size >= 2) bytes = (bytes + cluster_size - 1) / cluster_size * cluster_size;
    total += bytes;
  }
  return total;
}

int64_t required_space(const InstallSettings& settings, std::span<const int32_t> FileDataSizes,
                       int64_t cluster_size) {
  return required_space(settings.EngineCopySize, settings.DialogOptions[0], FileDataSizes, cluster_size);
}

}  // namespace halvard
