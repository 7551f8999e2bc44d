#include "package_inspector.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "package/checksum.h"
#include "package/engine_copy.h"
#include "package/file_table.h"
#include "package/settings_stream.h"

namespace halvard::builder {
namespace {

// The folders that destinations and defaults resolve against, shown as the engine's
// directory variables since they belong to the machine that installs.
SettingsEnvironment symbolic_environment() {
  SettingsEnvironment env;
  env.program_files = "%ProgramsDir%";
  env.common_app_data = "%AppDataAllDir%";
  env.common_files = "%CommonDir%";
  env.os_description = "<os>";
  return env;
}

bool stop(Inspection& in, int code, std::string text) {
  in.package_error = code;
  in.failure = std::move(text);
  return false;
}

bool corrupt(Inspection& in, int code) {
  return stop(in, code, "the package is corrupt: PackageError " + std::to_string(code));
}

}  // namespace

Inspection inspect_package(const std::filesystem::path& path) {
  Inspection in;
  // A folder "opens" as a stream on Linux and reports a size of 2^63 - 1: refuse
  // anything that is not a regular file before reading.
  std::error_code ec;
  const auto type = std::filesystem::status(path, ec).type();
  if (type == std::filesystem::file_type::directory) {
    in.failure = " is a folder, not an installer";
    return in;
  }
  if (!ec && type != std::filesystem::file_type::regular) {
    in.failure = " is not a regular file";
    return in;
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) {
    in.failure = std::string(": cannot open the file: ") + std::strerror(errno ? errno : ENOENT);
    return in;
  }
  in.opened = true;
  in.file_size = uint64_t(file.tellg());
  const ReadAt read = [&](uint64_t offset, void* out, size_t size) {
    if (offset > in.file_size || size > in.file_size - offset) return false;
    file.clear();
    file.seekg(std::streamoff(offset));
    file.read(static_cast<char*>(out), std::streamsize(size));
    return bool(file);
  };

  // The engine itself never looks at its own machine (Windows would not have loaded
  // it otherwise); this is for the reader, so it does not decide soundness.
  {
    std::vector<uint8_t> headers(size_t(std::min<uint64_t>(in.file_size, 4096 + 26)));
    EngineArch arch = EngineArch::x86;
    if (read(0, headers.data(), headers.size()) && read_pe_arch(headers, arch, in.engine_unknown))
      in.engine_arch = arch;
    else if (in.engine_unknown.empty())
      in.engine_unknown = "the file's headers cannot be read";
  }

  in.section = locate_setup_section(read);
  if (in.section.outcome == SetupSectionLocation::Outcome::found)
    in.signature = read_signature(read, in.file_size, in.section);
  if (in.section.outcome == SetupSectionLocation::Outcome::not_present) {
    stop(in, 0, "no \".setup\" section: this is not a Halvard Setup installer (or it is the bare engine)");
    return in;
  }
  if (in.section.outcome == SetupSectionLocation::Outcome::package_error) {
    corrupt(in, in.section.package_error);
    return in;
  }
  // The engine reads the section from its mapped image: the raw bytes, as far as the
  // file has them.
  const uint64_t start = in.section.PointerToRawData;
  const uint64_t available = start < in.file_size ? in.file_size - start : 0;
  std::vector<uint8_t> section(size_t(std::min<uint64_t>(in.section.SizeOfRawData, available)));
  if (!section.empty() && !read(start, section.data(), section.size())) {
    corrupt(in, 10);
    return in;
  }

  const HeaderCheck check = read_package_header(section, in.header);
  if (check.package_error) {
    corrupt(in, check.package_error);
    return in;
  }
  in.header_read = true;
  if (check.newer_engine) {
    stop(in, 0, version_mismatch_text(in.header.EngineVersion));
    return in;
  }
  std::vector<uint8_t> stream;
  if (int code = decode_stored_stream(section, in.header, stream)) {
    corrupt(in, code);
    return in;
  }
  const SettingsReadResult settings =
      read_settings(stream, in.header.StreamChecksum, in.settings, symbolic_environment());
  if (!settings.ok()) {
    corrupt(in, settings.package_error);
    return in;
  }
  in.settings_read = true;

  // The engine's checks after the stream: the bytes before the section, the engine
  // checksum, the engine copy.
  std::vector<uint8_t> before(size_t(in.section.PointerToRawData));
  if (!read(0, before.data(), before.size())) {
    corrupt(in, 35);
    return in;
  }
  if ((in.settings.ProductFlags.high & product_flag::high_verify_checksums) &&
      engine_checksum(before, in.section.e_lfanew, in.section.security_entry) != in.header.EngineChecksum) {
    corrupt(in, 40);
    return in;
  }
  in.engine_copy_size = in.file_size;
  if (in.settings.SetupOptions & setup_option::uninstaller_without_package) {
    const uint64_t end = start + in.section.SizeOfRawData;
    const uint64_t tail_end =
        engine_copy_tail_end(in.section, in.header.DataOffset, in.settings.DataOnDisk, in.file_size);
    std::vector<uint8_t> tail(end < tail_end ? size_t(tail_end - end) : 0);
    if (!tail.empty() && !read(end, tail.data(), tail.size())) {
      corrupt(in, 42);
      return in;
    }
    std::vector<uint8_t> copy;
    if (!build_engine_copy(before, tail, in.section, copy)) {
      corrupt(in, 42);
      return in;
    }
    in.engine_copy_size = copy.size();
  }

  // The file table, checked and walked as the installation does.
  // Folders stand for themselves as variables. They are given a marker drive while
  // destinations resolve, so that a destination that starts with a variable counts as
  // the full path it becomes on the machine; the marker is dropped afterwards.
  constexpr std::string_view marker = "Z:\\";
  in.settings.InstallDir = "%InstallDir%";
  in.settings.UninstallDir = "%InstallDir%\\" + in.settings.UninstallSubdir;
  InstallSettings marked = in.settings;
  auto mark = [&](std::string_view text) {
    return !text.empty() && text[0] == '%' ? std::string(marker) + std::string(text) : std::string(text);
  };
  marked.InstallDir = mark(marked.InstallDir);
  marked.UninstallDir = mark(marked.UninstallDir);
  marked.SharedPath = mark(marked.SharedPath);
  const DestinationFolders folders = destination_folders(marked, mark("%SystemDir%"), mark("%FontDir%"));
  const ExpandVariables expand = [&](std::string_view text) { return mark(text); };
  MemoryRegion memory = MemoryRegion::in_section(section, in.header.DataOffset, in.header.DataEnd);
  const uint64_t disk_start = start + in.header.DataOffset;
  DiskRegion disk(read, disk_region_end(in.section, in.file_size, disk_start, in.header.DataSize), disk_start);
  RegionSource& region = in.settings.DataOnDisk ? static_cast<RegionSource&>(disk) : memory;
  const FileTableHeader table = file_table_header(in.header);
  FileTableResult result = check_file_region(region, table);
  if (result) {
    const FileSink sink = [&](const ExtractedFile& f) {
      InspectedFile out;
      out.record = f.record;
      out.data_size = int32_t(f.data.size());
      out.destination = f.destination.path;
      if (out.destination.rfind(marker, 0) == 0) out.destination.erase(0, marker.size());
      out.data_checksum = Checksum32(f.data);
      in.files.push_back(std::move(out));
    };
    result = extract_files(region, table, file_table_options(in.settings.ProductFlags), folders, expand, sink);
  }
  if (!result) {
    if (result.outcome == FileTableResult::Outcome::package_error)
      corrupt(in, result.package_error);
    else if (result.outcome == FileTableResult::Outcome::read_failed)
      stop(in, 0, read_failure_text(result));
    else
      stop(in, 0, "a file of the package is too large to hold in memory");
    return in;
  }
  in.files_read = true;
  return in;
}

}  // namespace halvard::builder
