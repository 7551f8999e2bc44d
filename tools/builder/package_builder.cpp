#include "package_builder.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "code_signing.h"
#include "engine_locator.h"
#include "file_gatherer.h"
#include "file_order.h"
#include "file_table_writer.h"
#include "message_table.h"
#include "package/settings_stream.h"
#include "package_assembler.h"
#include "pe_image.h"
#include "settings_writer.h"

namespace halvard::builder {
namespace fs = std::filesystem;
namespace {

BuildOutcome failed(int code, std::vector<std::string> errors) {
  BuildOutcome out;
  out.exit_code = code;
  out.errors = std::move(errors);
  return out;
}

// Removes a temporary file when the build leaves, whatever the way out.
struct TemporaryFile {
  fs::path path;
  ~TemporaryFile() {
    std::error_code ec;
    if (!path.empty()) fs::remove(path, ec);
  }
};

}  // namespace

bool finish_settings(Project& project, std::vector<std::string>& errors) {
  InstallSettings& s = project.settings;
  const size_t before = errors.size();
  s.DataOnDisk = project.build.data_on_disk ? 1 : 0;
  // The compressed-blocks bit always follows [build] compression.
  if (project.build.compression == DataCompression::none)
    s.ProductFlags.low &= ~product_flag::low_compressed_blocks;
  else
    s.ProductFlags.low |= product_flag::low_compressed_blocks;
  s.MaximizedBackground = (s.ProductFlags.high & product_flag::high_maximized_background) != 0;
  s.MonoColor = s.TopColor == s.BottomColor;
  if (s.LicenseTexts.size() > size_t(max_license_texts) || s.ReadmeTexts.size() > size_t(max_license_texts))
    errors.push_back(project.file.string() + ": at most 20 licence and 20 read-me texts");
  build_message_table(project.languages, s, errors);
  return errors.size() == before;
}

namespace {

// The system's reason for the last failed call, for a stream that does not keep it.
std::string system_reason(int error) { return std::strerror(error ? error : EIO); }

BuildOutcome build_loaded_project(const BuildRequest& request, Project& project, std::vector<std::string>& warnings) {
  std::vector<std::string> errors;
  if (!finish_settings(project, errors)) return failed(exit_code::input_error, errors);

  const bool signing = request.sign.value_or(!project.sign.command.empty());
  if (signing && project.sign.command.empty())
    return failed(exit_code::input_error,
                  {project.file.string() + ": --sign asks for signing, but the project has no [sign] command"});

  BuildOutcome outcome;
  outcome.output = (request.output.empty() ? project.folder / project.build.output : fs::path(request.output))
                       .lexically_normal();
  EngineRequest wanted;
  wanted.command_line_path = request.engine;
  wanted.command_line_arch = request.arch;
  wanted.project_path = project.build.engine;
  wanted.project_arch = project.build.engine_arch;
  wanted.project_arch_where = project.build.engine_where.text();
  wanted.project_folder = project.folder;
  wanted.builder_exe = request.builder_exe;
  const EngineSearch engine = locate_engine(wanted);
  if (engine.found.empty()) {
    std::string text = "the engine " + engine.looked_for + " was not found; looked at:";
    for (const fs::path& p : engine.tried) text += "\n  " + p.string();
    text += "\n  (give it with --engine PATH or [build] engine = \"PATH\")";
    return failed(exit_code::input_error, {text});
  }
  outcome.engine = engine.found;
  errno = 0;
  std::ifstream engine_in(engine.found, std::ios::binary);
  if (!engine_in)
    return failed(exit_code::input_error, {engine.found.string() + ": cannot read the engine: " + system_reason(errno)});
  std::vector<uint8_t> engine_bytes((std::istreambuf_iterator<char>(engine_in)), std::istreambuf_iterator<char>());
  if (!engine_in.good() && !engine_in.eof())
    return failed(exit_code::input_error, {engine.found.string() + ": cannot read the engine: " + system_reason(errno)});
  {
    PeLayout pe;
    std::string why;
    if (!read_pe_layout(engine_bytes, pe, why))
      return failed(exit_code::input_error, {engine.found.string() + ": not usable as the engine: " + why});
    // A file of the other arch would build a setup.exe that starts on other machines
    // than the ones asked for.
    if (engine.arch && pe.arch != *engine.arch)
      return failed(exit_code::input_error,
                    {engine.found.string() + ": the engine is " + arch_description(pe.arch) + ", but " +
                     std::string(arch_name(*engine.arch)) + " was asked for (" + engine.arch_asked_by + ")"});
    outcome.engine_arch = pe.arch;
  }

  GatherResult files = gather_files(project, {outcome.output, request.project_file}, request.environment);
  warnings.insert(warnings.end(), files.warnings.begin(), files.warnings.end());
  if (!files.ok) return failed(exit_code::input_error, files.errors);
  // Before anything is written: a CI run that wants no warnings gets no installer.
  if (request.warnings_as_errors && !warnings.empty()) {
    std::vector<std::string> fatal;
    for (const std::string& w : warnings) fatal.push_back(w + " (a warning; --warnings-as-errors makes it fatal)");
    warnings.clear();
    return failed(exit_code::input_error, fatal);
  }
  if (project.build.file_order == FileOrder::compression) {
    std::string why;
    if (!order_for_compression(files.files, why)) return failed(exit_code::input_error, {why});
  }

  const std::vector<uint8_t> stream = write_settings(project.settings);

  // Every message about writing names the output, never a temporary file's name. The
  // output's folder is created when missing.
  const std::string output_name = outcome.output.string();
  auto cannot_write = [&](int error) {
    return failed(exit_code::output_error, {output_name + ": cannot write the installer: " + system_reason(error)});
  };
  {
    std::error_code ec;
    if (fs::is_directory(outcome.output, ec))
      return failed(exit_code::output_error,
                    {output_name + " is a folder; give the installer's file name (such as " +
                     (outcome.output / "setup.exe").string() + ")"});
    if (outcome.output.has_parent_path()) {
      fs::create_directories(outcome.output.parent_path(), ec);
      if (ec)
        return failed(exit_code::output_error, {output_name + ": cannot create its folder \"" +
                                                outcome.output.parent_path().string() + "\": " + ec.message()});
    }
  }

  // The region first, into a temporary file beside the output: the header needs its
  // size and checksum. An earlier output stays untouched until the final rename.
  TemporaryFile region_file{fs::path(output_name + ".region.tmp")};
  FileTableSummary summary;
  {
    errno = 0;
    std::ofstream region_out(region_file.path, std::ios::binary | std::ios::trunc);
    if (!region_out) return cannot_write(errno);
    FileTableWriterOptions options;
    options.block_size = project.build.block_size;
    options.compress = project.build.compression != DataCompression::none;
    options.mode = block_encode_mode(project.build.compression);
    BuildProgress progress;
    progress.file_count = files.files.size();
    for (const GatheredFile& f : files.files) progress.bytes_total += f.size;
    auto tell = [&](BuildProgress::Stage stage) {
      progress.stage = stage;
      if (request.progress) request.progress(progress);
    };
    tell(BuildProgress::Stage::gathered);
    // Each block reaches the file as its 8-byte head and its stored bytes, in order.
    const ByteSink file_sink = ostream_sink(region_out);
    bool head_next = true;
    const ByteSink sink = [&](std::span<const uint8_t> bytes) {
      if (!file_sink(bytes)) return false;
      progress.bytes_written += bytes.size();
      if (!head_next) {
        ++progress.blocks_written;
        tell(BuildProgress::Stage::packing);
      }
      head_next = !head_next;
      return true;
    };
    FileTableWriter writer(options, sink);
    for (size_t i = 0; i < files.files.size(); ++i) {
      const GatheredFile& f = files.files[i];
      if (!writer.add_file(f.record, f.source)) return failed(exit_code::input_error, {f.where + ": " + writer.error()});
      outcome.source_size += f.size;
      progress.files_done = i + 1;
      progress.bytes_read += f.size;
      tell(BuildProgress::Stage::packing);
    }
    if (!writer.finish(summary)) {
      const int error = errno;
      return region_out ? failed(exit_code::output_error, {output_name + ": " + writer.error()}) : cannot_write(error);
    }
    region_out.flush();
    if (!region_out) return cannot_write(errno);
  }

  PackageInput input;
  input.engine = engine_bytes;
  input.settings_stream = stream;
  input.region.size = uint64_t(summary.DataSize);
  input.region.checksum = summary.DataChecksum;
  input.region.file_data_sizes = summary.FileDataSizes;
  input.region.copy_to = [&](std::ostream& out) {
    std::ifstream in(region_file.path, std::ios::binary);
    if (!in) return false;
    out << in.rdbuf();
    return bool(out);
  };
  input.data_on_disk = project.build.data_on_disk;
  input.engine_version = project.build.engine_version;
  input.stream_mode = project.build.stream_mode;

  TemporaryFile partial{fs::path(output_name + ".tmp")};
  AssembledLayout layout;
  std::string error;
  {
    errno = 0;
    std::ofstream out(partial.path, std::ios::binary | std::ios::trunc);
    if (!out) return cannot_write(errno);
    if (!assemble_package(input, out, layout, error)) {
      const int write_error = errno;
      return out ? failed(exit_code::output_error, {output_name + ": " + error}) : cannot_write(write_error);
    }
    out.flush();
    if (!out) return cannot_write(errno);
    out.close();
    if (!out) return cannot_write(errno);
  }
  if (signing) {
    const SignOutcome signed_file = sign_file(project.sign.command, partial.path);
    outcome.sign_output = signed_file.output;
    if (!signed_file.ok) {
      std::string text = output_name + ": " + signed_file.error + " (" + project.sign.where.text() + ")";
      std::string output = signed_file.output;
      while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
      if (!output.empty()) text += "; its output:\n" + output;
      return failed(exit_code::sign_failed, {text});
    }
    // A tool that exits 0 but signed nothing (or another file) is caught here, not by a
    // publisher's customer.
    std::ifstream check(partial.path, std::ios::binary | std::ios::ate);
    const uint64_t size = check ? uint64_t(check.tellg()) : 0;
    const ReadAt read = [&](uint64_t offset, void* out, size_t n) {
      if (offset > size || n > size - offset) return false;
      check.clear();
      check.seekg(std::streamoff(offset));
      return bool(check.read(static_cast<char*>(out), std::streamsize(n)));
    };
    const SetupSectionLocation location = locate_setup_section(read);
    const SignatureState signature = read_signature(read, size, location);
    if (location.outcome != SetupSectionLocation::Outcome::found || !signature.is_signed)
      return failed(exit_code::sign_failed, {output_name + ": the signing command (" + project.sign.where.text() +
                                             ") exited with 0 but the file carries no signature"});
    layout.file_size = size;
    outcome.is_signed = true;
  }
  std::error_code ec;
  fs::rename(partial.path, outcome.output, ec);
  if (ec) return failed(exit_code::output_error, {output_name + ": cannot write the installer: " + ec.message()});
  partial.path.clear();
  outcome.output_size = layout.file_size;
  outcome.file_count = files.files.size();
  outcome.data_size = uint64_t(summary.DataSize);
  if (request.progress) {
    BuildProgress done;
    done.stage = BuildProgress::Stage::written;
    done.files_done = done.file_count = files.files.size();
    done.bytes_read = done.bytes_total = outcome.source_size;
    done.blocks_written = summary.block_count;
    done.bytes_written = layout.file_size;
    request.progress(done);
  }
  return outcome;
}

}  // namespace

BuildOutcome build_package(const BuildRequest& request) {
  Project project;
  LoadResult loaded = load_project(request.project_file, project, request.environment);
  BuildOutcome outcome = loaded.ok ? build_loaded_project(request, project, loaded.warnings)
                                    : failed(exit_code::input_error, loaded.errors);
  outcome.warnings = std::move(loaded.warnings);
  return outcome;
}

}  // namespace halvard::builder
