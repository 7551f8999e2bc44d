#include "package/file_table.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "file_table_writer.h"
#include "package/block_codec.h"
#include "package/checksum.h"

namespace halvard {
namespace {

using Bytes = std::vector<uint8_t>;

void put_le32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

Bytes random_bytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  // Short runs keep the data compressible without making it trivial.
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(random() % 7 == 0 ? random() : i / 16);
  return bytes;
}

FileRecord plain_record(const std::string& name = "a.txt") {
  FileRecord record;
  record.Name = name;
  record.VersionText = "1.0";
  return record;
}

struct SampleFile {
  FileRecord record;
  Bytes data;
};

// One file of every kind, every field set to something that shows when it is lost.
std::vector<SampleFile> sample_files() {
  std::vector<SampleFile> files;
  const uint32_t kinds[] = {0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  uint32_t seed = 1;
  for (uint32_t kind : kinds) {
    SampleFile file;
    FileRecord& r = file.record;
    r.Name = "dir\\file" + std::to_string(kind) + ".bin";
    r.Kind = kind;
    r.Flags = kind % 2 ? 0x23 : 0xDC;  // shortcut bits set on odd kinds only
    r.Attributes = kind == 4 ? file_attributes_unchanged : 0x1127 & (kind * 0x101);
    r.FileDate = {2000 + int32_t(kind), int32_t(kind % 13), 28, kind == 6 ? -1 : 23, 59, 58};
    r.VersionText = "1.2." + std::to_string(kind) + "a";
    if (r.has_shortcut_text()) r.ShortcutText = "icon" + std::to_string(kind) + ".ico";
    r.ShortcutText2 = "/arg " + std::to_string(kind);
    r.Destination = kind == 9 ? "renamed.dat" : kind == 10 ? "drivers\\" : "";
    r.ShortcutText3 = kind == 12 ? "" : "C:\\Work";
    if (kind == 11) r.MsiValue = 0xDEADBEEF;
    const size_t sizes[] = {0, 1, 3, 300, 5000};
    file.data = random_bytes(sizes[kind % 5], seed++);
    files.push_back(std::move(file));
  }
  return files;
}

struct WrittenRegion {
  Bytes bytes;
  FileTableSummary summary;
};

WrittenRegion write_region(const std::vector<SampleFile>& files, const FileTableWriterOptions& options) {
  WrittenRegion region;
  FileTableWriter writer(options, [&region](std::span<const uint8_t> bytes) {
    region.bytes.insert(region.bytes.end(), bytes.begin(), bytes.end());
    return true;
  });
  for (const SampleFile& file : files) EXPECT_TRUE(writer.add_file(file.record, file.data)) << writer.error();
  EXPECT_TRUE(writer.finish(region.summary)) << writer.error();
  return region;
}

const DestinationFolders folders{"C:\\App",
                                 "C:\\Common\\Shared",
                                 "C:\\App\\uninstall",
                                 "C:\\Windows\\system32",
                                 "C:\\Windows\\Fonts",
                                 {}};

// A region source over an executable image in a heap buffer of exactly its size, so
// that ASan sees any read past it. The region ends the file, 100 bytes in.
struct DiskFixture {
  explicit DiskFixture(const Bytes& region) : size(100 + region.size()), image(new uint8_t[size]) {
    std::memset(image.get(), 0xEE, 100);
    std::copy(region.begin(), region.end(), image.get() + 100);
  }
  DiskRegion source() {
    return DiskRegion(
        [this](uint64_t offset, void* out, size_t n) {
          largest_read = std::max(largest_read, n);
          if (fail_reads || offset > size || n > size - offset) return false;
          std::memcpy(out, image.get() + offset, n);
          return true;
        },
        size, 100);
  }
  size_t size;
  std::unique_ptr<uint8_t[]> image;
  size_t largest_read = 0;
  bool fail_reads = false;
};

struct Extracted {
  FileRecord record;
  Bytes data;
  FileDestination destination;
};

struct Walk {
  FileTableResult check;
  FileTableResult extract;
  std::vector<Extracted> files;
  // The code of whichever stage failed, 0 when both passed.
  int code() const { return !check ? check.package_error : extract.package_error; }
};

Walk walk(RegionSource& source, const FileTableHeader& header, const FileTableOptions& options) {
  Walk result;
  result.check = check_file_region(source, header);
  if (!result.check) return result;
  result.extract = extract_files(source, header, options, folders, {}, [&result](const ExtractedFile& file) {
    result.files.push_back({file.record, Bytes(file.data.begin(), file.data.end()), file.destination});
  });
  return result;
}

// Walks from an exact-size heap copy of the region, in memory or on disk.
Walk walk_bytes(const Bytes& region, const FileTableHeader& header, const FileTableOptions& options, bool on_disk) {
  if (on_disk) {
    DiskFixture disk(region);
    DiskRegion source = disk.source();
    return walk(source, header, options);
  }
  std::unique_ptr<uint8_t[]> exact(new uint8_t[region.size() + 1]);
  std::copy(region.begin(), region.end(), exact.get());
  MemoryRegion source(std::span<const uint8_t>(exact.get(), region.size()));
  return walk(source, header, options);
}

TEST(FileTableTest, EveryFieldAndKindSurvivesTheRoundTrip) {
  const std::vector<SampleFile> files = sample_files();
  const size_t block_sizes[] = {7, 64, 1 << 16};  // 7 and 64: records and lengths cross blocks
  for (bool compress : {true, false}) {
    for (size_t block_size : block_sizes) {
      FileTableWriterOptions options;
      options.compress = compress;
      options.block_size = block_size;
      options.mode = BlockEncodeMode::fast;
      const WrittenRegion region = write_region(files, options);
      ASSERT_EQ(region.summary.FileDataSizes.size(), files.size());
      ASSERT_EQ(size_t(region.summary.DataSize), region.bytes.size());
      EXPECT_EQ(region.summary.block_count, (region.summary.record_stream_size + block_size - 1) / block_size);
      const FileTableHeader header{region.summary.DataSize, region.summary.DataChecksum,
                                   region.summary.FileDataSizes};
      for (bool on_disk : {false, true}) {
        SCOPED_TRACE(testing::Message() << "compress=" << compress << " block=" << block_size << " disk=" << on_disk);
        const Walk result = walk_bytes(region.bytes, header, {compress, true}, on_disk);
        ASSERT_TRUE(result.check) << result.check.package_error;
        ASSERT_TRUE(result.extract) << result.extract.package_error;
        ASSERT_EQ(result.files.size(), files.size());
        for (size_t i = 0; i < files.size(); ++i) {
          EXPECT_EQ(result.files[i].record, files[i].record) << i;
          EXPECT_EQ(result.files[i].data, files[i].data) << i;
          EXPECT_EQ(region.summary.FileDataSizes[i], int32_t(files[i].data.size()));
        }
      }
    }
  }
}

// Best holds the next block back until a worker is nearly free and every level reuses the
// buffers of compressed blocks: neither may change a byte or lose one.
TEST(FileTableTest, OutputIsTheSameBytesWhateverTheThreadCount) {
  std::vector<SampleFile> files = sample_files();
  files.push_back({files[0].record, random_bytes(300000, 99)});
  files.push_back({files[1].record, std::vector<uint8_t>(20000, 0x41)});
  for (BlockEncodeMode mode : {BlockEncodeMode::fast, BlockEncodeMode::best}) {
    SCOPED_TRACE(testing::Message() << "mode " << int(mode));
    FileTableWriterOptions options;
    options.block_size = 4096;
    options.mode = mode;
    options.threads = 1;
    const WrittenRegion single = write_region(files, options);
    for (unsigned threads : {2u, 3u, 8u}) {
      options.threads = threads;
      const WrittenRegion parallel = write_region(files, options);
      EXPECT_EQ(parallel.bytes, single.bytes) << threads << " threads";
      EXPECT_EQ(parallel.summary.DataChecksum, single.summary.DataChecksum);
    }
    EXPECT_EQ(Checksum32(single.bytes), single.summary.DataChecksum);
    const FileTableHeader header{single.summary.DataSize, single.summary.DataChecksum, single.summary.FileDataSizes};
    const Walk result = walk_bytes(single.bytes, header, {true, true}, false);
    ASSERT_TRUE(result.extract) << result.extract.package_error;
    ASSERT_EQ(result.files.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(result.files[i].data, files[i].data) << i;
  }
}

TEST(FileTableTest, EmptyTableIsAnEmptyRegion) {
  const WrittenRegion region = write_region({}, {});
  EXPECT_TRUE(region.bytes.empty());
  EXPECT_EQ(region.summary.DataSize, 0);
  EXPECT_EQ(region.summary.DataChecksum, checksum_seed);
  for (bool on_disk : {false, true}) {
    const Walk result = walk_bytes({}, {0, checksum_seed, {}}, {true, true}, on_disk);
    EXPECT_TRUE(result.check);
    EXPECT_TRUE(result.extract);
    EXPECT_TRUE(result.files.empty());
  }
}

// A file larger than many blocks, streamed in by the writer and read back from disk:
// no read is larger than a block or a check piece, so the region is never held whole.
TEST(FileTableTest, RegionOnDiskIsReadInPieces) {
  const size_t file_size = 3 * region_check_piece + 12345;
  FileRecord record;
  record.Name = "big.bin";
  FileTableWriterOptions options;
  options.compress = false;
  options.block_size = 1 << 18;
  Bytes region_bytes;
  FileTableSummary summary;
  FileTableWriter writer(options, [&](std::span<const uint8_t> bytes) {
    region_bytes.insert(region_bytes.end(), bytes.begin(), bytes.end());
    return true;
  });
  size_t produced = 0;
  size_t largest_piece = 0;
  ASSERT_TRUE(writer.add_file(record, file_size, [&](std::span<uint8_t> out) {
    for (uint8_t& b : out) b = uint8_t(produced++ * 7);
    largest_piece = std::max(largest_piece, out.size());
    return true;
  }));
  ASSERT_TRUE(writer.finish(summary));
  EXPECT_LE(largest_piece, options.block_size);

  DiskFixture disk(region_bytes);
  DiskRegion source = disk.source();
  const FileTableHeader header{summary.DataSize, summary.DataChecksum, summary.FileDataSizes};
  ASSERT_TRUE(check_file_region(source, header));
  EXPECT_EQ(disk.largest_read, region_check_piece);
  disk.largest_read = 0;
  size_t seen = 0;
  size_t first_wrong = SIZE_MAX;
  ASSERT_TRUE(extract_files(source, header, {false, true}, folders, {}, [&](const ExtractedFile& file) {
    seen = file.data.size();
    for (size_t i = 0; i < file.data.size() && first_wrong == SIZE_MAX; ++i)
      if (file.data[i] != uint8_t(i * 7)) first_wrong = i;
  }));
  EXPECT_EQ(seen, file_size);
  EXPECT_EQ(first_wrong, SIZE_MAX);
  EXPECT_EQ(disk.largest_read, options.block_size);
}

TEST(FileTableTest, WriterStreamsFilesFromDisk) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("file_table_test_" + std::to_string(::getpid()) + ".bin");
  const Bytes contents = random_bytes(50000, 7);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(contents.data()), contents.size());
  Bytes region_bytes;
  FileTableWriterOptions options;
  options.block_size = 4096;
  options.mode = BlockEncodeMode::fast;
  FileTableWriter writer(options, [&](std::span<const uint8_t> bytes) {
    region_bytes.insert(region_bytes.end(), bytes.begin(), bytes.end());
    return true;
  });
  ASSERT_TRUE(writer.add_file(plain_record(), path)) << writer.error();
  FileTableSummary summary;
  ASSERT_TRUE(writer.finish(summary)) << writer.error();
  std::filesystem::remove(path);

  FileTableWriter missing(options, [](std::span<const uint8_t>) { return true; });
  EXPECT_FALSE(missing.add_file(plain_record(), path));
  // The caller names the file and the project line; the writer gives the reason.
  EXPECT_EQ(missing.error(), "cannot open the file: No such file or directory");

  const std::vector<int32_t> sizes = {int32_t(contents.size())};
  const Walk result = walk_bytes(region_bytes, {int64_t(region_bytes.size()), Checksum32(region_bytes), sizes},
                                 {true, true}, true);
  EXPECT_EQ(result.code(), 0);
  ASSERT_EQ(result.files.size(), 1u);
  EXPECT_EQ(result.files[0].data, contents);
}

TEST(FileTableTest, FailedReadOnDiskGivesTheArchiveText) {
  const WrittenRegion region = write_region(sample_files(), {});
  DiskFixture disk(region.bytes);
  disk.fail_reads = true;
  DiskRegion source = disk.source();
  const FileTableResult result =
      check_file_region(source, {region.summary.DataSize, region.summary.DataChecksum, region.summary.FileDataSizes});
  ASSERT_EQ(result.outcome, FileTableResult::Outcome::read_failed);
  EXPECT_EQ(read_failure_text(result), "Error code 2: failed to read archive data\r\nsize=" +
                                           std::to_string(region.bytes.size()) + " pos=100");
}

// --- Faults: hand-made regions, one fault each -------------------------------------

// A record as it lies in the record stream: length, fields, data, data checksum.
Bytes record_bytes(const FileRecord& record, const Bytes& data) {
  Bytes fields;
  encode_record_fields(record, fields);
  Bytes out;
  put_le32(out, uint32_t(fields.size() + data.size() + 4));
  out.insert(out.end(), fields.begin(), fields.end());
  out.insert(out.end(), data.begin(), data.end());
  put_le32(out, Checksum32(data));
  return out;
}

Bytes block(const Bytes& decoded, bool compress) {
  Bytes stored = decoded;
  if (compress) {
    EXPECT_TRUE(block_encode(decoded, BlockEncodeMode::fast, stored));
  }
  Bytes out;
  put_le32(out, uint32_t(stored.size()));
  put_le32(out, Checksum32(stored));
  out.insert(out.end(), stored.begin(), stored.end());
  return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(FileTableTest, EveryFaultGivesItsPackageError) {
  const Bytes data = {'h', 'e', 'l', 'l', 'o'};
  const Bytes good = record_bytes(plain_record(), data);
  auto with_kind = [&](uint32_t kind) {
    FileRecord record = plain_record();
    record.Kind = kind;
    return record_bytes(record, data);
  };
  Bytes bad_checksum = good;
  bad_checksum.back() ^= 1;
  Bytes bad_block = block(good, false);
  bad_block[8] ^= 0x40;  // the stored bytes no longer match the block's checksum
  const Bytes good_block = block(good, false);
  const Bytes cut_block(good_block.begin(), good_block.end() - 1);
  Bytes short_record = good;
  short_record[0] -= 2;  // the length ends inside the data checksum

  struct Case {
    const char* what;
    Bytes region;
    std::vector<int32_t> sizes;
    int expected;
    bool compressed = false;
    int64_t size_delta = 0;         // DataSize minus the region's real length
    uint32_t checksum_delta = 0;    // DataChecksum minus the region's real checksum
  };
  const Case cases[] = {
      {"region longer than DataSize", block(good, false), {5}, 46, false, -1},
      {"region shorter than DataSize", block(good, false), {5}, 46, false, 1},
      {"region checksum", block(good, false), {5}, 55, false, 0, 1},
      {"block not in the codec's format", block(good, false), {5}, 60, true},
      {"block decoding to more than the records can hold", block({0xA1, 0x2B, 0xC7, 0x9E, 0, 0, 0, 0x40}, false), {5}, 60, true},
      {"block length 0, stored blocks", concat({{0, 0, 0, 0, 0, 0, 0, 0}, block(good, false)}), {5}, 61},
      {"block length 0, compressed blocks", concat({{0, 0, 0, 0, 0, 0, 0, 0}, block(good, true)}), {5}, 61, true},
      {"negative block length", concat({{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, good}), {5}, 61},
      {"block checksum", bad_block, {5}, 62},
      {"block longer than the region", cut_block, {5}, 63},
      {"block head cut short", concat({block(good, false), {1, 0, 0, 0}}), {5, 5}, 63},
      {"region ends before the records", block(good, false), {5, 5}, 63},
      {"empty name", block(record_bytes(plain_record(""), data), false), {5}, 70},
      {"negative data size", block(good, false), {-1}, 71},
      {"data size above 1 GiB", block(good, false), {0x40000001}, 72},
      {"bytes after the last file", concat({block(good, false), block(good, false)}), {5}, 80},
      {"a block but no files", block(good, false), {}, 80},
      {"record bytes after the last file", block(concat({good, good}), false), {5}, 83},
      {"record shorter than its fields", block(short_record, false), {5}, 83},
      {"record shorter than its data size says", block(good, false), {6}, 83},
      {"record length beyond any record", block(concat({{0xFF, 0xFF, 0xFF, 0x7F}, good}), false), {5}, 83},
      {"empty record", block({0, 0, 0, 0}, false), {5}, 83},
      {"data checksum", block(bad_checksum, false), {5}, 100},
      {"kind 2", block(with_kind(2), false), {5}, 110},
      {"kind 3", block(with_kind(3), false), {5}, 110},
      {"kind 13", block(with_kind(13), false), {5}, 110},
  };
  for (const Case& c : cases) {
    const FileTableHeader header{int64_t(c.region.size()) + c.size_delta, Checksum32(c.region) + c.checksum_delta,
                                 c.sizes};
    for (bool on_disk : {false, true}) {
      const Walk result = walk_bytes(c.region, header, {c.compressed, true}, on_disk);
      EXPECT_EQ(result.code(), c.expected) << c.what << (on_disk ? " (on disk)" : " (in memory)");
    }
  }
}

TEST(FileTableTest, BlockChecksumIsTestedOnlyWhenAsked) {
  Bytes region = block(record_bytes(plain_record(), {1, 2, 3}), false);
  region[4] ^= 1;
  const std::vector<int32_t> sizes = {3};
  const FileTableHeader header{int64_t(region.size()), Checksum32(region), sizes};
  EXPECT_EQ(walk_bytes(region, header, {false, true}, false).code(), 62);
  EXPECT_EQ(walk_bytes(region, header, {false, false}, false).code(), 0);
}

TEST(FileTableTest, DataSizeOfExactlyOneGiBPassesTheSizeCheck) {
  // The record is far too short for it: the size passes and only the record fails.
  std::span<const uint8_t> data;
  FileRecord record;
  const Bytes bytes = record_bytes(plain_record(), {});
  const std::span<const uint8_t> fields(bytes.data() + 4, bytes.size() - 4);
  EXPECT_EQ(parse_file_record(fields, 0x40000000, record, data), package_error_code::records_left_over);
  EXPECT_EQ(parse_file_record(fields, 0x40000001, record, data), package_error_code::data_size_too_large);
  EXPECT_EQ(parse_file_record(fields, 0, record, data), 0);
}

TEST(FileTableTest, SectionPlacementNeverReachesPastTheSection) {
  const Bytes section(64, 0);
  struct Case {
    uint64_t DataOffset;
    int64_t DataEnd;
    int64_t length;
    int placement_error;
  };
  const Case cases[] = {{40, 64, 24, 0}, {40, 40, 0, 0}, {40, 65, 0, 45}, {40, 30, -10, 0}, {100, 64, -36, 0}};
  for (const Case& c : cases) {
    MemoryRegion region = MemoryRegion::in_section(section, c.DataOffset, c.DataEnd);
    EXPECT_EQ(region.length(), c.length) << c.DataOffset << ".." << c.DataEnd;
    EXPECT_EQ(region.placement_error(), c.placement_error) << c.DataOffset << ".." << c.DataEnd;
    const FileTableResult check = check_file_region(region, {0, checksum_seed, {}});
    EXPECT_EQ(check.package_error, c.placement_error ? 45 : c.length == 0 ? 0 : 46);
  }
}

// --- Destinations, shortcuts, space, progress -------------------------------------

TEST(FileTableTest, DestinationRules) {
  const ExpandVariables expand = [](std::string_view text) {
    std::string out(text);
    auto replace = [&out](const std::string& name, const std::string& value) {
      for (size_t at; (at = out.find(name)) != std::string::npos;) out.replace(at, name.size(), value);
    };
    replace("%Fonts%", "C:\\Windows\\Fonts\\");
    replace("%Data%", "D:\\Data");
    return out;
  };
  struct Case {
    uint32_t kind;
    uint32_t flags;
    const char* name;
    const char* destination;
    const char* path;  // nullptr: PackageError 110
    bool under_install_dir;
  };
  const Case cases[] = {
      {0, 0, "a.txt", "", "C:\\App\\a.txt", true},
      {0, 0, "bin\\a.txt", "", "C:\\App\\bin\\a.txt", true},
      {0, 0, "src\\a.txt", "sub\\", "C:\\App\\sub\\a.txt", true},
      {1, 0, "src\\a.txt", "sub\\", "C:\\Common\\Shared\\sub\\a.txt", true},
      {6, 0, "a.dll", "sub\\", "C:\\App\\sub\\a.dll", true},
      {0, 0, "a.txt", "b.txt", "C:\\App\\b.txt", true},
      {0, 0, "a.txt", "docs\\b.txt", "C:\\App\\docs\\b.txt", true},
      {6, 0, "a.dll", "b.dll", "C:\\Windows\\system32\\b.dll", false},
      {0, 0, "a.txt", "%Data%\\b.txt", "D:\\Data\\b.txt", true},
      {0, 0, "x\\a.txt", "%Data%\\", "D:\\Data\\a.txt", true},
      {4, 0, "a.ttf", "%Fonts%\\", "C:\\Windows\\Fonts\\a.ttf", true},  // trailing pair of backslashes
      {0, 0, "a.txt", "\\\\server\\share\\", "\\\\server\\share\\a.txt", true},
      {0, 0x40, "a.txt", "", "C:\\App\\uninstall\\a.txt", false},
      {6, 0x40, "a.dll", "", "C:\\App\\uninstall\\a.dll", false},
      {0, 0x40, "a.txt", "sub\\", "C:\\App\\sub\\a.txt", true},
      {1, 0, "a.dll", "", "C:\\Common\\Shared\\a.dll", false},
      {4, 0, "a.ttf", "", "C:\\Windows\\Fonts\\a.ttf", false},
      {5, 0, "a.exe", "", "C:\\App\\a.exe", true},
      {6, 0, "a.dll", "", "C:\\Windows\\system32\\a.dll", false},
      {7, 0, "a.dll", "", "C:\\Windows\\system32\\a.dll", false},
      {8, 0, "a.tlb", "", "C:\\Windows\\system32\\a.tlb", false},
      {9, 0, "a.dll", "", "C:\\App\\a.dll", true},
      {10, 0, "a.inf", "", "C:\\App\\a.inf", true},
      {11, 0, "a.msi", "", "C:\\App\\a.msi", true},
      {12, 0, "a.cpl", "", "C:\\App\\a.cpl", true},
      {3, 0, "a.txt", "", nullptr, false},
      {3, 0, "a.txt", "sub\\", nullptr, false},
      {2, 0x40, "a.txt", "", nullptr, false},
  };
  for (const Case& c : cases) {
    FileRecord record = plain_record(c.name);
    record.Kind = c.kind;
    record.Flags = c.flags;
    record.Destination = c.destination;
    const FileDestination result = resolve_destination(record, folders, expand);
    const std::string what = std::string(c.name) + " -> \"" + c.destination + "\" kind " + std::to_string(c.kind);
    if (!c.path) {
      EXPECT_EQ(result.package_error, 110) << what;
      continue;
    }
    EXPECT_EQ(result.package_error, 0) << what;
    EXPECT_EQ(result.path, c.path) << what;
    EXPECT_EQ(result.under_install_dir, c.under_install_dir) << what;
  }
  FileRecord record = plain_record("a.txt");
  record.Destination = "sub\\";
  EXPECT_EQ(resolve_destination(record, folders).log_line, "a.txt >>> C:\\App\\sub\\a.txt");
}

// A name the ANSI code page cannot hold comes as "|" + UTF-8; the whole path
// then takes that form, its folders converted.
TEST(FileTableTest, UnicodeNameMakesTheWholePathUtf8) {
  DestinationFolders folders{"C:\\Caf\xE9",           "", "C:\\Caf\xE9\\u",
                             "C:\\Windows\\system32", "", {}};
  folders.utf8_from_ansi = [](std::string_view ansi) {
    std::string utf8;
    for (unsigned char c : ansi) {
      if (c < 0x80) {
        utf8 += char(c);
      } else {
        utf8 += char(0xC0 | (c >> 6));
        utf8 += char(0x80 | (c & 0x3F));
      }
    }
    return utf8;
  };
  FileRecord record = plain_record("|sub\\\xD0\x96.txt");
  EXPECT_EQ(resolve_destination(record, folders).path,
            "|C:\\Caf\xC3\xA9\\sub\\\xD0\x96.txt");
  record.Destination = "docs\\";
  EXPECT_EQ(resolve_destination(record, folders).path,
            "|C:\\Caf\xC3\xA9\\docs\\\xD0\x96.txt");
  record.Destination = "";
  record.Flags = 0x40;
  EXPECT_EQ(resolve_destination(record, folders).path,
            "|C:\\Caf\xC3\xA9\\u\\sub\\\xD0\x96.txt");
  // An ANSI name keeps the ANSI folders.
  record = plain_record("a.txt");
  EXPECT_EQ(resolve_destination(record, folders).path, "C:\\Caf\xE9\\a.txt");
}

TEST(FileTableTest, ShortcutEntryOfAFile) {
  struct Case {
    uint32_t kind;
    uint32_t flags;
    bool shortcut;
    uint8_t desktop, start_menu, startup, keep;
  };
  const Case cases[] = {
      {0, 0x1, true, 1, 0, 0, 0},  {0, 0x2, true, 0, 1, 0, 0}, {0, 0x23, true, 1, 1, 0, 1},
      {0, 0x20, false, 0, 0, 0, 1}, {5, 0, true, 0, 0, 1, 0},   {5, 0x21, true, 1, 0, 1, 1},
      {9, 0x3, false, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    FileRecord record = plain_record("prog.exe");
    record.Kind = c.kind;
    record.Flags = c.flags;
    record.VersionText = "My Program";
    record.ShortcutText = "prog.ico";
    record.ShortcutText2 = "/start";
    record.ShortcutText3 = "C:\\App";
    EXPECT_EQ(gets_file_shortcut(record), c.shortcut) << c.kind << "/" << c.flags;
    const ShortcutEntry entry = file_shortcut_entry(record, "C:\\App\\prog.exe");
    EXPECT_EQ(entry.desktop, c.desktop);
    EXPECT_EQ(entry.start_menu, c.start_menu);
    EXPECT_EQ(entry.startup, c.startup);
    EXPECT_EQ(entry.keep, c.keep);
    EXPECT_EQ(entry.target, "C:\\App\\prog.exe");
    EXPECT_EQ(entry.name, "My Program");
    EXPECT_EQ(entry.icon_file, "prog.ico");
    EXPECT_EQ(entry.arguments, "/start");
    EXPECT_EQ(entry.working_directory, "C:\\App");
    EXPECT_FALSE(entry.expand_target);
  }
}

TEST(FileTableTest, RequiredSpace) {
  struct Case {
    uint64_t engine;
    int32_t extra;
    std::vector<int32_t> sizes;
    int64_t cluster;
    int64_t expected;
  };
  const Case cases[] = {
      {100000, 500, {1, 4096, 4097, 0}, 4096, 100500 + 4096 + 4096 + 8192},
      {100000, 500, {1, 4096, 4097, 0}, 0, 100500 + 4096 + 4096 + 8192},   // not found: 4096
      {100000, 500, {1, 4096, 4097, 0}, -512, 100500 + 4096 + 4096 + 8192},
      {100000, 500, {1, 4096, 4097, 0}, 1, 100500 + 1 + 4096 + 4097},      // below 2: unrounded
      {100000, 500, {1, 512, 513}, 512, 100500 + 512 + 512 + 1024},
      {100000, -2000, {}, 4096, 98000},
      {0, 0, {0x40000000, 0x40000000, 0x40000000, 0x40000000, 1}, 65536, 0x100000000LL + 65536},
  };
  for (const Case& c : cases)
    EXPECT_EQ(required_space(c.engine, c.extra, c.sizes, c.cluster), c.expected) << c.cluster;

  InstallSettings settings;
  settings.EngineCopySize = 70000;
  settings.DialogOptions[0] = 1000;
  EXPECT_EQ(required_space(settings, std::vector<int32_t>{10}, 4096), 75096);
}

TEST(FileTableTest, ProgressAndHooksComeInOrder) {
  std::vector<SampleFile> files = sample_files();
  files.resize(5);
  const WrittenRegion region = write_region(files, {});
  const FileTableHeader header{region.summary.DataSize, region.summary.DataChecksum, region.summary.FileDataSizes};
  std::vector<std::string> events;
  FileTableHooks hooks;
  hooks.progress = [&](int percent) { events.push_back(std::to_string(percent)); };
  hooks.step_delay = [&] { events.push_back("delay"); };
  hooks.pump_messages = [&] { events.push_back("pump"); };
  MemoryRegion source(region.bytes);
  ASSERT_TRUE(check_file_region(source, header, hooks));
  ASSERT_TRUE(extract_files(source, header, file_table_options({0x20, 0}), folders, {},
                            [&](const ExtractedFile& file) { events.push_back("file" + std::to_string(file.index)); },
                            hooks));
  const std::vector<std::string> expected = {"delay", "delay", "21",    "28",   "file0", "pump",  "40",  "file1",
                                             "pump",  "52",    "file2", "pump", "65",    "file3", "pump", "77",
                                             "file4", "pump"};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(progress_first_preparation, 26);
  EXPECT_EQ(progress_second_preparation, 27);
  EXPECT_EQ(file_progress(39, 40), 28 + 39 * 62 / 40);
}

TEST(FileTableTest, CancelStopsBeforeTheNextFile) {
  std::vector<SampleFile> files = sample_files();
  files.resize(5);
  const WrittenRegion region = write_region(files, {});
  const FileTableHeader header{region.summary.DataSize, region.summary.DataChecksum, region.summary.FileDataSizes};
  std::vector<size_t> written;
  FileTableHooks hooks;
  hooks.cancelled = [&] { return written.size() == 2; };
  MemoryRegion source(region.bytes);
  FileTableResult result = extract_files(
      source, header, file_table_options({0x20, 0}), folders, {},
      [&](const ExtractedFile& file) { written.push_back(file.index); }, hooks);
  EXPECT_EQ(result.outcome, FileTableResult::Outcome::cancelled);
  EXPECT_FALSE(result);
  EXPECT_EQ(written, (std::vector<size_t>{0, 1})) << "the file under way is finished, none begun after";
}

TEST(FileTableTest, WriterRefusesRecordsTheEngineCannotRead) {
  struct Case {
    const char* what;
    FileRecord record;
  };
  std::vector<Case> cases;
  cases.push_back({"no name", plain_record("")});
  cases.push_back({"kind 3", plain_record()});
  cases.back().record.Kind = 3;
  cases.push_back({"NUL in a text", plain_record()});
  cases.back().record.VersionText = std::string("1\0002", 3);
  cases.push_back({"shortcut text without a shortcut bit", plain_record()});
  cases.back().record.ShortcutText = "x";
  cases.push_back({"MsiValue without kind 11", plain_record()});
  cases.back().record.MsiValue = 1;
  cases.push_back({"texts too long", plain_record()});
  cases.back().record.ShortcutText2 = std::string(max_record_fields_size, 'x');
  for (const Case& c : cases) {
    EXPECT_FALSE(check_file_record(c.record).empty()) << c.what;
    FileTableWriter writer({}, [](std::span<const uint8_t>) { return true; });
    EXPECT_FALSE(writer.add_file(c.record, Bytes{1})) << c.what;
    EXPECT_NE(writer.error().find("file 1 ("), std::string::npos) << writer.error();
  }
  FileTableWriterOptions zero_block;
  zero_block.block_size = 0;
  FileTableWriter writer(zero_block, [](std::span<const uint8_t>) { return true; });
  EXPECT_FALSE(writer.add_file(plain_record(), Bytes{1}));

  FileTableWriter failing({}, [](std::span<const uint8_t>) { return false; });
  FileTableSummary summary;
  EXPECT_TRUE(failing.add_file(plain_record(), Bytes{1}));
  EXPECT_FALSE(failing.finish(summary));
  EXPECT_EQ(failing.error(), "the file data cannot be written");
}

}  // namespace
}  // namespace halvard
