// Batch files that the installation runs around its work, and the self-deleting batch
// that removes the uninstaller after it has ended. Pure text building: the Windows layer
// (batch_file_win.h) writes, starts and deletes the files.
//
// Every value that goes into a batch reaches the interpreter as text: percent signs are
// doubled, and a value holding a character the interpreter treats specially is written
// as SET "NAME=value", with carets before such characters wherever an embedded double
// quote leaves them outside quotes. Paths on the interpreter's command line are quoted
// when they need it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/install_settings.h"
#include "variables/variable_chains.h"

namespace halvard {

inline constexpr std::string_view batch_file_name = "SETUPBAT.BAT";
inline constexpr std::string_view batch_output_name = "hv_batch.log";
inline constexpr std::string_view self_delete_batch_name = "delunins.bat";
// The /e: size handed to the interpreter.
inline constexpr int batch_environment_size = 10000;
// How often the wait for a running batch looks at the process and the window messages.
inline constexpr unsigned batch_wait_interval_ms = 75;
// At most this many uninstall data folders get an "rd" line.
inline constexpr int self_delete_max_folders = 50;

enum class BatchKind : std::uint8_t {
  PreInstall, Upgrade, Reinstall, PostInstall, InstallExit, Uninstall1, Uninstall2,
};

// What one kind of batch runs and how.
struct BatchRequest {
  std::string commands;    // the package's text, the command line's addition appended
  std::string_view label;  // the log's name for captured output; empty: not captured
  bool hidden = false;     // the interpreter's window is hidden
};

// The batch of `kind` as the settings describe it. `addition` is the command line's
// text for the kinds that take one (/b1: pre-installation, /b2: post-installation,
// /b3: installation-exit); the other kinds ignore it. The uninstall kinds read
// UninstallBatch1 and UninstallBatch2, which the uninstaller fills from the registry.
BatchRequest batch_request(BatchKind kind, const InstallSettings& settings, std::string_view addition = {});

// The package's text, given a final line break when it lacks one, then `addition`.
// An empty addition leaves the text as it is.
std::string append_batch_commands(std::string_view package_text, std::string_view addition);

// Nothing but blanks, tabs, carriage returns and line feeds: such a batch is not run.
bool blank_batch_commands(std::string_view commands);

// "SET NAME=value\r\n", the value made safe as described at the top.
std::string batch_set_line(std::string_view name, std::string_view value);

struct BatchVariable {
  std::string_view name;
  std::string value;
};

// The SET lines' names and values in file order: InstallDir and InstallDrive (only for
// a non-empty directory), then the directory variables. `value` gives a variable's
// value as expansion would put it in; InstallerDrive gets its colon here.
std::vector<BatchVariable> batch_variables(std::string_view directory,
                                           const std::function<std::string(Variable)>& value);

// Every line break (CR LF, LF CR, lone LF, lone CR) made CR LF; a non-empty text ends
// with one.
std::string normalize_batch_lines(std::string_view text);

// A line that only pauses for a key: "pause" in any case, blanks around it, at most
// one "@" in front, and nothing after it but a redirection ("pause >nul").
bool is_pause_line(std::string_view line);

// The whole "SETUPBAT.BAT": "@echo off", the SET lines, the commands with their line
// breaks normalised; pause lines dropped when `drop_pauses` (silent or hidden runs,
// where nobody could press the key).
std::string batch_file_text(const std::vector<BatchVariable>& variables, std::string_view commands,
                            bool drop_pauses);

// COMSPEC when set and not blank, else "cmd.exe".
std::string batch_interpreter(const std::optional<std::string>& comspec);

// "\"interpreter\" /e:10000 /c batch[ > output]". Paths that hold blanks or characters
// the interpreter treats specially are quoted, and then the whole command after /c is
// quoted once more, which the interpreter strips again. An empty `output_path` means
// no capture.
std::string batch_command_line(std::string_view interpreter, std::string_view batch_path,
                               std::string_view output_path = {});

// "\"interpreter\" /c batch", quoted as above: how "delunins.bat" and "utrri.bat" are started.
std::string self_delete_command_line(std::string_view interpreter, std::string_view batch_path);

// What the log gets for a captured output: nothing when the output is blank, else
// "\r\nRunning <label>...\r\n", the trimmed output ending with a line break, and a
// line break.
std::string batch_log_section(std::string_view label, std::string_view output);

// "delunins.bat": deletes `executable` until it can (the uninstaller has ended), waits
// three seconds, removes the uninstall data folders from the deepest upward, the
// installation directory and then `outer_folders` in their order (only empty ones go),
// then deletes `batch_path`, itself.
std::string self_delete_batch_text(std::string_view executable, std::string_view install_dir,
                                   std::string_view uninstall_subdir, std::string_view batch_path,
                                   std::span<const std::string> outer_folders = {});

// A command line as one batch line that runs it exactly as given: percent signs
// doubled, carets before the interpreter's special characters outside double quotes,
// line breaks dropped.
std::string batch_command_text(std::string_view command);

// "utrri.bat": runs the earlier installation's uninstaller, then the installer again
// with its own command line, then deletes `batch_path`, itself.
inline constexpr std::string_view must_uninstall_batch_name = "utrri.bat";
std::string must_uninstall_batch_text(std::string_view uninstall_command, std::string_view installer_command,
                                      std::string_view batch_path);

}  // namespace halvard
