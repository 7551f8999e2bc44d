// The installation log: the lines a run writes while it works, kept in memory, and the
// text that the end of the run appends to "Install.LOG" (header, lines, outcome).
// Pure: the date, the system description and the file's state are passed in; the
// Windows layer (uninstall_data_win.h) opens and writes the file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/date_time.h"
#include "package/install_settings.h"

namespace halvard {

inline constexpr std::string_view install_date_format = "d-M-yy h:ii:ssap";
inline constexpr std::string_view installer_version_text = "26.1";
inline constexpr std::string_view log_run_separator =
    "\r\n\r\n**********************************************\r\n";

// The log lines of one run, in memory until the end of the run. Texts are appended
// exactly as given: callers include their own line ends.
class InstallLog {
 public:
  void write(std::string_view text) { text_.append(text); }
  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  // Frees the memory (the last step of finishing the log).
  void release() { std::string().swap(text_); }

 private:
  std::string text_;
};

// What the log's header says about the run.
struct LogHeader {
  std::string product_name;
  DateTime now;                    // local time
  bool uninstall_support = false;  // ProductFlags low bit 2
  bool reinstall = false;
  std::string install_dir;
  std::string product_version;                     // left out when blank
  std::optional<std::string> overwriting_version;  // the installed version, when one was found
  std::string os_description;
};

// `uninstall_support`: as the run gives it (the package may want it and the drive refuse).
LogHeader make_log_header(const InstallSettings& settings, const DateTime& now, std::string os_description,
                          bool reinstall, std::optional<std::string> overwriting_version, bool uninstall_support);

// The header lines, the last ended by a blank line.
std::string log_header_text(const LogHeader& header);

// Everything appended to the file at the end of a run: the separator when the file
// already holds text, the header, the run's lines and a line end, then the failure
// summary under "*** FAILURE SUMMARY ***" or, without failures, `completed_line`
// (message 43) and a line end.
std::string finish_log_text(const LogHeader& header, bool file_has_text, std::string_view run_lines,
                            std::string_view failure_summary, std::string_view completed_line);

// How the end of the run tells the user.
enum class FinishReport {
  None,          // silent, not asked to report, or the package wants no report
  CompletedBox,  // message 42, title 43, information icon
  SummaryPage,   // the wizard's summary page
  AskToViewLog,  // message 40 with the log's path, title 41, yes/no
};

struct FinishLogPlan {
  FinishReport report = FinishReport::None;
  bool withdraw_view_log = false;  // clear ProductFlags high bit 25 before the page
  bool write_file = false;
};

struct FinishLogInputs {
  ProductFlagWords flags;
  bool automatic_mode = false;
  bool report = false;              // the caller wants the outcome told (the crash path does not)
  bool has_finish_choices = false;  // ExitViewFile, ExitLaunchProgram or ExitOpenFile set
  bool failures = false;            // the failure summary is not empty
  bool reboot_wanted = false;       // the package or the run wants a restart
};

FinishLogPlan plan_finish_log(const FinishLogInputs& inputs);
FinishLogInputs finish_log_inputs(const InstallSettings& settings, bool report, std::string_view failure_summary,
                                  bool reboot_wanted);

// Message `text` with its first "%s" replaced by `value` (other "%" are left alone;
// the package's texts never reach a printf format).
std::string fill_message(std::string_view text, std::string_view value);

}  // namespace halvard
