#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "builtin_messages.h"
#include "engine_locator.h"
#include "foundation/tool_name.h"
#include "option_names.h"
#include "package_builder.h"
#include "package_inspector.h"
#include "project_keys.h"
#include "starter_project.h"

namespace halvard::builder {
namespace fs = std::filesystem;
namespace {

constexpr char main_help[] = R"(halvard-build: makes Halvard Setup installers.

Usage:
  halvard-build build [PROJECT.toml] [-o OUTPUT] [--engine PATH] [--arch x86|x64] [--warnings-as-errors]
                      [--sign|--no-sign] [--quiet]
  halvard-build inspect FILE [--json]
  halvard-build new DIR
  halvard-build schema [-o FILE]
  halvard-build reference [-o FILE]
  halvard-build --version
  halvard-build COMMAND --help

Exit codes:
  0  success
  1  the project, a file it names, or the engine is wrong or missing
  2  the command line is wrong
  3  inspect: the file is not a sound installer (the engine would refuse it)
  4  the output could not be written
  5  build: the [sign] command failed or signed nothing
)";

constexpr char build_help[] = R"(halvard-build build [PROJECT.toml] [-o OUTPUT] [--engine PATH] [--arch x86|x64]
                    [--warnings-as-errors] [--sign|--no-sign] [--quiet]

Builds an installer from a project file (default: project.toml in the current folder).
The same project and files always give the same bytes. Set SOURCE_DATE_EPOCH to give
the uninstaller a date and to clamp file dates to it.

  -o, --output OUTPUT  where to write the installer (default: [build] output)
  --engine PATH        the engine to use
  --arch x86|x64       which engine: x86 (32-bit, the default; runs on every Windows)
                       or x64 (64-bit Windows only); overrides [build] engine = "x86"
                       or "x64". The package is the same for both.
  --warnings-as-errors a warning ends the build (exit code 1) before anything is
                       written, as an error would: for CI.
  -q, --quiet          print nothing but warnings and errors: no progress line
                       and no summary
  --sign, --no-sign    sign the installer with the project's [sign] command, or not.
                       Without either, a project with [sign] is signed.

Signing: [sign] command = "..." is run through the shell with {file} replaced by
the installer (and {signed} by where a tool that cannot sign in place writes its
copy). Secrets come from the environment ($NAME in the command); their values are
masked in everything halvard-build prints. A command that fails ends the build with
exit code 5 and its output, and no installer is written.

The output is written beside its final name and renamed when complete: a build that
fails leaves an earlier output as it was. Missing folders of the output are created.
Warnings go to standard error and leave the exit code 0. A build that takes more than
a second shows a progress line on standard error when that is a terminal (files
gathered, blocks compressed and the rate, written); never otherwise.

The engine is searched for in this order, first match wins:
  1. --engine PATH;
  2. [build] engine = "PATH" in the project file (relative to the project folder);
  3. by the arch (--arch, else [build] engine = "x86" or "x64", else x86):
       x86: halvard-engine.exe beside halvard-build, then installed in
            ../lib/halvard-setup/ from its folder, then the build tree's
            build/win32/src/halvard-engine.exe;
       x64: halvard-engine-x64.exe in the same places, then the build tree's
            build/win64/src/halvard-engine-x64.exe.
An engine given by path must be of the arch when one is also asked for.
)";

constexpr char inspect_help[] = R"(halvard-build inspect FILE [--json]

Reads an installer the way the engine does and prints its header words, every setting
by name, the message table and the file table. A package that fails one of the
engine's checks is reported with the engine's error code ("PackageError N") and exit
code 3; what could be read before the fault is still printed.

  --json   print JSON instead of text
)";

constexpr char new_help[] = R"(halvard-build new DIR

Writes a starter project into DIR (created when missing): project.toml with comments,
a licence text, two sample files and the project file's JSON Schema
(halvard-project.schema.json, which project.toml's "#:schema" line names for editors). Build it with "halvard-build build DIR/project.toml".
Existing files are never overwritten.
)";

constexpr char schema_help[] = R"(halvard-build schema [-o FILE]
halvard-build reference [-o FILE]

schema: the JSON Schema (draft 2020-12) of the project file, as JSON converted from
TOML. reference: every section and key with its type, default and meaning, in
Markdown. Both come from the table the loader checks keys against. Written to
standard output, or to FILE.
)";

void print_names(std::ostream& out) {
  auto bits = [&](const char* title, std::span<const NamedBit> table) {
    out << "\n" << title << ":\n";
    for (const NamedBit& b : table) out << "  " << b.name << "  " << b.meaning << "\n";
  };
  auto values = [&](const char* title, std::span<const NamedValue> table) {
    out << "\n" << title << ": " << list_names(table) << "\n";
  };
  bits("[options] product_flags_low", product_flag_low_names());
  bits("[options] product_flags_high", product_flag_high_names());
  bits("[options] setup_options", setup_option_names());
  bits("[product] excluded_systems", excluded_system_names());
  bits("[[files]] flags", file_flag_names());
  values("[[files]] kind", file_kind_names());
  values("[[files]] overwrite", overwrite_mode_names());
  values("[[files]] msi_ui_level (kind msi_package, or a number)", msi_ui_level_names());
  out << "\n[[files]] by kind: font_name (kind font, required), applet_name (kind control_panel),\n"
         "msi_ui_level and msi_remove_at_uninstall (kind msi_package); keep (any kind)\n";
  out << "\n[[files]] attributes: " << list_names(file_attribute_names()) << ", or \"unchanged\"\n";
  out << "\n[messages.LANGUAGE] keys: a message's name or its number; a text the engine fills must keep\n"
         "the conversions shown, in that order:\n";
  size_t width = 0;
  for (const BuiltinMessage& m : builtin_messages()) width = std::max(width, m.name.size());
  for (const BuiltinMessage& m : builtin_messages()) {
    const std::string number = std::to_string(m.number);
    out << std::string(5 - std::min<size_t>(3, number.size()), ' ') << number << "  " << m.name;
    if (!m.conversions.empty()) out << std::string(width - m.name.size() + 2, ' ') << m.conversions;
    out << "\n";
  }
}

bool wants_help(const std::vector<std::string>& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

int usage(std::ostream& err, const std::string& text, std::string_view help_of) {
  err << "halvard-build: " << text << "\n(see halvard-build " << help_of << (help_of.empty() ? "" : " ")
      << "--help)\n";
  return exit_code::usage_error;
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
  return text;
}

// One line on a terminal, rewritten in place: shown only once the build has taken a
// second, and at most five times a second.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, const std::function<double()>& seconds)
      : err_(err), seconds_(seconds), start_(seconds()) {}

  void show(const BuildProgress& p) {
    const double now = seconds_();
    if (p.stage == BuildProgress::Stage::gathered) packing_start_ = now;
    const bool last = p.stage == BuildProgress::Stage::written;
    if (now - start_ < 1.0 || (!last && shown_ && now - last_ < 0.2) || (last && !shown_)) return;
    last_ = now;
    shown_ = true;
    std::string text = "gathered " + grouped_count(p.file_count, "file") + " (" + megabytes(p.bytes_total) + ")";
    if (p.stage != BuildProgress::Stage::gathered) {
      const double elapsed = now - packing_start_;
      char rate[32] = "";
      if (elapsed > 0) std::snprintf(rate, sizeof rate, " at %.1f MB/s", double(p.bytes_read) / 1e6 / elapsed);
      text += "; compressed " + grouped_count(p.blocks_written, "block") + ", " + megabytes(p.bytes_read) + " of " +
              megabytes(p.bytes_total) + rate;
    }
    if (last) text += "; written";
    err_ << "\r" << text << "\033[K" << std::flush;
  }

  void end() {
    if (shown_) err_ << "\n" << std::flush;
    shown_ = false;
  }

 private:
  static std::string grouped_count(uint64_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  }

  std::ostream& err_;
  const std::function<double()>& seconds_;
  double start_ = 0, packing_start_ = 0, last_ = 0;
  bool shown_ = false;
};

std::string version_text(const CliContext& context) {
  // The builder and the engine are released together: one version.
  const int v = engine_version_hundredths;
  const std::string dotted =
      std::to_string(v / 100) + "." + std::to_string(v % 100 / 10) + (v % 10 ? std::to_string(v % 10) : "");
  std::string text = "halvard-build " + dotted + "\nengine version " + dotted + " (EngineVersion " + std::to_string(v) +
                     " in the packages it builds)\n";
  for (EngineArch arch : {EngineArch::x86, EngineArch::x64}) {
    EngineRequest request;
    request.command_line_arch = arch;
    request.builder_exe = context.builder_exe;
    const EngineSearch search = locate_engine(request);
    text += std::string(arch_name(arch)) +
            " engine: " + (search.found.empty() ? "not found (" + search.looked_for + ")" : search.found.string()) +
            "\n";
  }
  return text;
}

int build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context) {
  BuildRequest request;
  bool quiet = false;
  request.builder_exe = context.builder_exe;
  request.environment = context.environment;
  std::string project;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--warnings-as-errors") {
      request.warnings_as_errors = true;
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (a == "--sign" || a == "--no-sign") {
      request.sign = a == "--sign";
    } else if (a == "-o" || a == "--output" || a == "--engine" || a == "--arch") {
      if (i + 1 >= args.size()) return usage(err, a + " needs a value", "build");
      const std::string& value = args[++i];
      if (a == "--arch") {
        request.arch = parse_arch(value);
        if (!request.arch)
          return usage(err, "--arch: unknown engine \"" + value + "\"; known engines: " + arch_names, "build");
      } else {
        (a == "--engine" ? request.engine : request.output) = value;
      }
    } else if (!a.empty() && a[0] == '-') {
      return usage(err, "unknown option " + a, "build");
    } else if (project.empty()) {
      project = a;
    } else {
      return usage(err, "more than one project file given", "build");
    }
  }
  request.project_file = project.empty() ? fs::path("project.toml") : fs::path(project);
  ProgressLine line(err, context.seconds);
  if (context.terminal && !quiet) request.progress = [&](const BuildProgress& p) { line.show(p); };
  const BuildOutcome outcome = build_package(request);
  line.end();
  for (const auto& w : outcome.warnings) err << "warning: " << w << "\n";
  if (outcome.exit_code != exit_code::ok) {
    for (const auto& e : outcome.errors) err << "error: " << e << "\n";
    return outcome.exit_code;
  }
  if (quiet) return exit_code::ok;
  out << summary_line(outcome) << (outcome.is_signed ? " (signed)" : "") << "\n"
      << "engine: " << outcome.engine.string() << " (" << arch_name(outcome.engine_arch) << ")\n";
  return exit_code::ok;
}

int inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  std::string file;
  for (const auto& a : args) {
    if (a == "--json") {
      json = true;
    } else if (!a.empty() && a[0] == '-') {
      return usage(err, "unknown option " + a, "inspect");
    } else if (file.empty()) {
      file = a;
    } else {
      return usage(err, "more than one file given", "inspect");
    }
  }
  if (file.empty()) return usage(err, "inspect needs a FILE", "inspect");
  const Inspection inspection = inspect_package(file);
  if (!inspection.opened) {
    err << "error: " << file << inspection.failure << "\n";
    return exit_code::input_error;
  }
  const ReportNode report = inspection_report(inspection, file);
  out << (json ? to_json(report) : to_text(report));
  const SignatureState& signature = inspection.signature;
  if (signature.is_signed && signature.note.empty() && !signature.covers_file)
    err << "warning: " << file << ": the signature does not cover the file: it was changed after signing\n";
  if (!inspection.sound()) {
    err << "error: " << file << ": " << inspection.failure << "\n";
    return exit_code::corrupt_package;
  }
  return exit_code::ok;
}

int make_new(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return usage(err, "new needs one DIR", "new");
  std::string error;
  if (!write_starter_project(args[0], error)) {
    err << "error: " << error << "\n";
    return exit_code::output_error;
  }
  out << "wrote a starter project into " << args[0] << "\nbuild it with: halvard-build build "
      << (fs::path(args[0]) / "project.toml").string() << "\n";
  return exit_code::ok;
}

int write_generated(const std::vector<std::string>& args, const std::string& text, std::string_view command,
                    std::ostream& out, std::ostream& err) {
  if (args.empty()) return out << text, exit_code::ok;
  if (args.size() != 2 || (args[0] != "-o" && args[0] != "--output"))
    return usage(err, std::string(command) + " takes only -o FILE", command);
  std::ofstream file(args[1], std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    err << "error: " << args[1] << ": cannot write: " << std::strerror(errno ? errno : EIO) << "\n";
    return exit_code::output_error;
  }
  return exit_code::ok;
}

}  // namespace

std::string grouped(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string summary_line(const BuildOutcome& outcome) {
  auto count = [](uint64_t n, const char* one, const char* many) { return grouped(n) + " " + (n == 1 ? one : many); };
  std::string line = "wrote " + outcome.output.string() + ": " + count(outcome.output_size, "byte", "bytes") + "; ";
  if (outcome.file_count == 0) return line + "no files";
  line += count(outcome.file_count, "file", "files") + " of " + count(outcome.source_size, "byte", "bytes");
  if (outcome.data_size < outcome.source_size) {
    const uint64_t percent = (outcome.data_size * 100 + outcome.source_size / 2) / outcome.source_size;
    return line + ", packed into " + grouped(outcome.data_size) + " (" + std::to_string(std::max<uint64_t>(percent, 1)) +
           "%)";
  }
  // Each block carries a few bytes of its own: data this small, or already packed, grows.
  return line + ", stored in " + grouped(outcome.data_size) + " (data this small or already packed does not shrink)";
}

int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context) {
  if (args.empty()) {
    err << main_help;
    return exit_code::usage_error;
  }
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "--version" || command == "-V") {
    out << version_text(context);
    return exit_code::ok;
  }
  if (command == "--help" || command == "-h" || command == "help") {
    out << main_help;
    return exit_code::ok;
  }
  if (command == "build") {
    if (wants_help(rest)) {
      out << build_help;
      print_names(out);
      return exit_code::ok;
    }
    return build(rest, out, err, context);
  }
  if (command == "inspect") {
    if (wants_help(rest)) return out << inspect_help, exit_code::ok;
    return inspect(rest, out, err);
  }
  if (command == "new") {
    if (wants_help(rest)) return out << new_help, exit_code::ok;
    return make_new(rest, out, err);
  }
  if (command == "schema" || command == "reference") {
    if (wants_help(rest)) return out << schema_help, exit_code::ok;
    return write_generated(rest, command == "schema" ? project_schema_json() : project_reference_markdown(), command,
                           out, err);
  }
  return usage(err, "unknown command \"" + command + "\"", "");
}

double CliContext::steady_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace halvard::builder
