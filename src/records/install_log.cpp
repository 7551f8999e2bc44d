#include "records/install_log.h"

#include <utility>

#include "records/uninstall_data_csv.h"

namespace halvard {

LogHeader make_log_header(const InstallSettings& settings, const DateTime& now, std::string os_description,
                          bool reinstall, std::optional<std::string> overwriting_version, bool uninstall_support) {
  LogHeader header;
  header.product_name = settings.ProductName;
  header.now = now;
  header.uninstall_support = uninstall_support;
  header.reinstall = reinstall;
  header.install_dir = settings.InstallDir;
  header.product_version = settings.DisplayVersion;
  header.overwriting_version = std::move(overwriting_version);
  header.os_description = std::move(os_description);
  return header;
}

std::string log_header_text(const LogHeader& header) {
  std::string out = "Installation log for: ";
  out.append(header.product_name).append("\r\n");
  out.append("Install date: ").append(format(header.now, install_date_format)).append("\r\n");
  if (header.uninstall_support)
    out.append("Install type: ").append(header.reinstall ? "Reinstall" : "New").append("\r\n");
  out.append("Install location: ").append(header.install_dir).append("\r\n");
  out.append("Installer version: ").append(installer_version_text).append("\r\n");
  if (!trim_blanks(header.product_version).empty())
    out.append("Product version: ").append(header.product_version).append("\r\n");
  if (header.overwriting_version)
    out.append("Overwriting version: ").append(*header.overwriting_version).append("\r\n");
  out.append("Operating system: ").append(header.os_description).append("\r\n\r\n");
  return out;
}

std::string finish_log_text(const LogHeader& header, bool file_has_text, std::string_view run_lines,
                            std::string_view failure_summary, std::string_view completed_line) {
  std::string out;
  if (file_has_text) out.append(log_run_separator);
  out.append(log_header_text(header));
  out.append(run_lines).append("\r\n");
  if (!failure_summary.empty())
    out.append("*** FAILURE SUMMARY ***\r\n").append(failure_summary);
  else
    out.append(completed_line).append("\r\n");
  return out;
}

FinishLogPlan plan_finish_log(const FinishLogInputs& in) {
  FinishLogPlan plan;
  plan.write_file = (in.flags.low & product_flag::low_keep_log) || in.failures;
  if (!in.report || in.automatic_mode) return plan;
  if (in.failures) {
    plan.report = FinishReport::AskToViewLog;
    return plan;
  }
  if (in.flags.low & product_flag::low_no_completion_notice) return plan;
  plan.withdraw_view_log = !(in.flags.low & product_flag::low_keep_log);
  const bool view_log_offered =
      (in.flags.high & product_flag::high_offer_view_log) && !plan.withdraw_view_log;
  plan.report = (!in.has_finish_choices && !view_log_offered) || in.reboot_wanted
                    ? FinishReport::CompletedBox
                    : FinishReport::SummaryPage;
  return plan;
}

FinishLogInputs finish_log_inputs(const InstallSettings& settings, bool report, std::string_view failure_summary,
                                  bool reboot_wanted) {
  FinishLogInputs in;
  in.flags = settings.ProductFlags;
  in.automatic_mode = settings.AutomaticMode;
  in.report = report;
  in.has_finish_choices = !settings.ExitViewFile.empty() || !settings.ExitLaunchProgram.empty() ||
                          !settings.ExitOpenFile.empty();
  in.failures = !failure_summary.empty();
  in.reboot_wanted = reboot_wanted;
  return in;
}

std::string fill_message(std::string_view text, std::string_view value) {
  std::string out(text);
  std::size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

}  // namespace halvard
