#include "package/package_header.h"
#include "package/package_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "package/checksum.h"
#include "package/engine_copy.h"
#include "package/setup_section.h"
#include "package_assembler.h"
#include "pe_fixture.h"

namespace halvard {
namespace {

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

struct Built {
  std::vector<uint8_t> file;
  AssembledLayout layout;
  SetupSectionLocation location;
  std::span<const uint8_t> section() const {
    return std::span(file).subspan(location.PointerToRawData, location.SizeOfRawData);
  }
};

Built build(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& region, std::vector<int32_t> sizes,
            bool on_disk, int32_t version = 0) {
  std::vector<uint8_t> engine = testing_pe::small_engine();
  PackageInput input;
  input.engine = engine;
  input.settings_stream = stream;
  input.region.size = region.size();
  input.region.checksum = Checksum32(region);
  input.region.file_data_sizes = std::move(sizes);
  input.region.copy_to = [&region](std::ostream& out) {
    out.write(reinterpret_cast<const char*>(region.data()), std::streamsize(region.size()));
    return true;
  };
  input.data_on_disk = on_disk;
  input.engine_version = version;
  std::ostringstream out;
  Built built;
  std::string error;
  EXPECT_TRUE(assemble_package(input, out, built.layout, error)) << error;
  std::string text = out.str();
  built.file.assign(text.begin(), text.end());
  built.location = locate_setup_section([&built](uint64_t offset, void* to, size_t n) {
    if (offset > built.file.size() || n > built.file.size() - offset) return false;
    std::memcpy(to, &built.file[offset], n);
    return true;
  });
  return built;
}

TEST(PackageHeaderTest, AssembledPackageReadsBack) {
  std::vector<uint8_t> stream = bytes_of("settings stream with some text, some text, some text\0end");
  std::vector<uint8_t> region = bytes_of("region bytes of two files");
  for (bool on_disk : {false, true}) {
    Built built = build(stream, region, {10, 15}, on_disk);
    ASSERT_EQ(built.location.outcome, SetupSectionLocation::Outcome::found);
    EXPECT_EQ(built.location.PointerToRawData, 0xA00u);
    EXPECT_EQ(built.location.SizeOfRawData % 0x1000, 0u);
    EXPECT_EQ(built.file.size(), built.layout.file_size);

    PackageHeader header;
    ASSERT_TRUE(read_package_header(built.section(), header).ok());
    EXPECT_EQ(header.EngineVersion, 2610);
    EXPECT_EQ(header.FileDataSizes, (std::vector<int32_t>{10, 15}));
    EXPECT_EQ(header.DataSize, 25);
    EXPECT_EQ(header.DataChecksum, Checksum32(region));
    EXPECT_EQ(header.DataOffset, built.layout.data_offset);
    EXPECT_EQ(header.StreamChecksum, Checksum32(stream));

    std::vector<uint8_t> decoded;
    ASSERT_EQ(decode_stored_stream(built.section(), header, decoded), 0);
    EXPECT_EQ(decoded, stream);

    std::span<const uint8_t> before = std::span(built.file).first(built.location.PointerToRawData);
    EXPECT_EQ(engine_checksum(before, built.location.e_lfanew, built.location.security_entry), header.EngineChecksum);
    if (on_disk) {
      // The region ends the file, right behind the section.
      EXPECT_EQ(uint64_t(built.location.PointerToRawData) + header.DataOffset + region.size(), built.file.size());
      EXPECT_TRUE(std::equal(region.begin(), region.end(), built.file.end() - region.size()));
    } else {
      EXPECT_TRUE(std::equal(region.begin(), region.end(), built.section().begin() + header.DataOffset));
      EXPECT_EQ(uint32_t(header.DataEnd), header.DataOffset + region.size());
    }
  }
}

TEST(PackageHeaderTest, EngineCopyIsTheEngineAgain) {
  Built built = build(bytes_of("stream"), bytes_of("data"), {4}, false);
  std::span<const uint8_t> before = std::span(built.file).first(built.location.PointerToRawData);
  std::span<const uint8_t> tail = std::span(built.file).subspan(built.location.PointerToRawData + built.location.SizeOfRawData);
  std::vector<uint8_t> copy;
  ASSERT_TRUE(build_engine_copy(before, tail, built.location, copy));
  EXPECT_EQ(copy, testing_pe::small_engine());
}

TEST(PackageHeaderTest, EngineCopyLeavesTheRegionOnDiskOut) {
  std::vector<uint8_t> region(100000, 0x5A);
  Built built = build(bytes_of("stream"), region, {100000}, true);
  PackageHeader header;
  ASSERT_TRUE(read_package_header(built.section(), header).ok());
  uint64_t end = engine_copy_tail_end(built.location, header.DataOffset, true, built.file.size());
  uint64_t section_end = uint64_t(built.location.PointerToRawData) + built.location.SizeOfRawData;
  EXPECT_EQ(end, section_end);
  EXPECT_EQ(engine_copy_tail_end(built.location, header.DataOffset, false, built.file.size()), built.file.size());

  std::vector<uint8_t> copy;
  ASSERT_TRUE(build_engine_copy(std::span(built.file).first(built.location.PointerToRawData),
                                std::span(built.file).subspan(section_end, end - section_end), built.location, copy));
  EXPECT_EQ(copy, testing_pe::small_engine());
}

TEST(PackageHeaderTest, EngineCopyMovesLaterSectionsAndStaysInTheHeaders) {
  std::vector<uint8_t> engine = testing_pe::small_engine();
  // Pretend the middle section is the package.
  SetupSectionLocation location;
  location.e_lfanew = 128;
  location.section_count = 3;
  location.section_table_offset = 128 + 24 + 224;
  location.section_index = 1;
  location.PointerToRawData = 0x600;
  location.SizeOfRawData = 0x200;
  std::vector<uint8_t> copy;
  ASSERT_TRUE(build_engine_copy(std::span(engine).first(0x600), std::span(engine).subspan(0x800), location, copy));
  EXPECT_EQ(copy.size(), 0x800u);
  size_t table = location.section_table_offset;
  EXPECT_EQ(std::memcmp(&copy[table + 40], ".data", 5), 0);
  EXPECT_EQ(copy[table + 40 + 20] | copy[table + 40 + 21] << 8, 0x600);  // was 0x800
  for (size_t i = table + 80; i < table + 120; ++i) ASSERT_EQ(copy[i], 0) << i;

  location.section_table_offset = 0x3F0;  // a table that would run past the headers
  EXPECT_FALSE(build_engine_copy(std::span(engine).first(0x400), {}, location, copy));
}

// One fault per row, each written into a good package's header.
TEST(PackageHeaderTest, HeaderFaultsGiveTheirCodes) {
  struct Case {
    const char* what;
    size_t word;      // index of the 32-bit header word to change
    uint32_t value;
    int code;
  } cases[] = {
      {"magic", 0, 0xA4F23DE4, 20},
      {"stream size 0", 2, 0, 22},
      {"stream size at the limit", 2, 0x3200000, 22},
      {"stream size past the section", 2, 0x20000, 22},
      {"data end negative", 5, 0xFFFFFFFF, 45},
      {"file count negative", 6, 0x80000000, 27},
      {"file count past the section", 6, 0x100000, 27},
      {"data size negative", 7, 0xFFFFFFF0, 29},
      {"file size negative", 9, 0xFFFFFFFF, 28},
      {"file size above 1 GiB", 10, 0x40000001, 28},
  };
  for (const Case& c : cases) {
    Built built = build(bytes_of("stream"), bytes_of("data12345"), {4, 5}, false);
    std::vector<uint8_t> section(built.section().begin(), built.section().end());
    testing_pe::put32(section, c.word * 4, c.value);
    PackageHeader header;
    HeaderCheck check = read_package_header(section, header);
    EXPECT_EQ(check.package_error, c.code) << c.what;
  }
}

TEST(PackageHeaderTest, LargestFileSizeIsAccepted) {
  Built built = build(bytes_of("stream"), bytes_of("data"), {4}, false);
  std::vector<uint8_t> section(built.section().begin(), built.section().end());
  testing_pe::put32(section, 9 * 4, 0x40000000);
  PackageHeader header;
  EXPECT_TRUE(read_package_header(section, header).ok());
}

TEST(PackageHeaderTest, VersionRuleInWholeHundredths) {
  struct Case {
    int32_t version;
    bool passes;
  } cases[] = {{2500, true}, {2610, true}, {2611, true}, {2612, false}, {99999, false}};
  for (const Case& c : cases) {
    Built built = build(bytes_of("stream"), {}, {}, false, c.version);
    PackageHeader header;
    HeaderCheck check = read_package_header(built.section(), header);
    EXPECT_EQ(check.ok(), c.passes) << c.version;
    EXPECT_EQ(check.newer_engine, !c.passes) << c.version;
  }
  EXPECT_EQ(version_mismatch_text(2612),
            "The installer version (26.1) does not match the version of Halvard Setup (26.1).  Close all "
            "applications and reinstall Halvard Setup.");
  EXPECT_EQ(version_mismatch_text(2700).find("Halvard Setup (27.0)"), 59u);
}

TEST(PackageHeaderTest, TruncatedSectionsNeverReadPastTheirEnd) {
  Built built = build(bytes_of("stream"), bytes_of("data"), {4}, false);
  for (size_t length = 0; length < 48; ++length) {
    std::vector<uint8_t> cut(built.section().begin(), built.section().begin() + length);
    PackageHeader header;
    EXPECT_FALSE(read_package_header(cut, header).ok()) << length;
  }
}

TEST(PackageHeaderTest, DamagedStoredStreamIsRejected) {
  Built built = build(bytes_of("stream"), {}, {}, false);
  std::vector<uint8_t> section(built.section().begin(), built.section().end());
  PackageHeader header;
  ASSERT_TRUE(read_package_header(section, header).ok());
  section[header.StreamOffset] ^= 0x40;  // the codec's magic
  std::vector<uint8_t> decoded;
  EXPECT_EQ(decode_stored_stream(section, header, decoded), 47);
}

TEST(ScrambleTest, TailBytesTakeTheLowKeyBytesInOrder) {
  std::vector<uint8_t> bytes = {0, 0, 0, 0, 0, 0, 0};
  scramble_stream(bytes, 0x44332211);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x11, 0x22, 0x33}));
  scramble_stream(bytes, 0x44332211);
  EXPECT_EQ(bytes, std::vector<uint8_t>(7, 0));
}

}  // namespace
}  // namespace halvard

namespace halvard {
namespace {

TEST(PackageErrorTextTest, FillsOnlyTheNumber) {
  EXPECT_TRUE(package_error_text("", 47).ends_with("\r\n\r\nError code: 47"));
  EXPECT_TRUE(package_error_text("", 47).starts_with("This installation program is corrupt.  This"));
  EXPECT_EQ(package_error_text("Fehler %d (%s %n)", 9), "Fehler 9 (%s %n)");
  EXPECT_EQ(package_error_text("%d/%d", 110), "110/110");
}

}  // namespace
}  // namespace halvard
