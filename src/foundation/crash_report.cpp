#include "foundation/crash_report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "foundation/date_time.h"

namespace halvard {
namespace {

struct NamedCode {
  uint32_t code;
  const char* name;
};

constexpr NamedCode exception_names[] = {
    {0xC0000005, "Illegal memory access."},
    {0xC000008C, "Array element is out of bounds."},
    {0x80000003, "Breakpoint encountered."},
    {0x80000002, "Misaligned memory access."},
    {0xC000008D, "One of the operands in a floating-point operation is denormal (too small to represent)."},
    {0xC000008E, "Floating-point division by zero."},
    {0xC000008F, "Floating-point operation cannot be represented exactly as a decimal fraction."},
    {0xC0000090, "Invalid floating point operation."},
    {0xC0000091,
     "The exponent of a floating-point operation is greater than the magnitude allowed by the corresponding type."},
    {0xC0000092, "The stack overflowed or underflowed as the result of a floating-point operation."},
    {0xC0000093,
     "The exponent of a floating-point operation is less than the magnitude allowed by the corresponding type."},
    {0xC000001D, "Invalid instruction executed."},
    {0xC0000006, "Failed to load page into physical memory."},
    {0xC0000094, "Integer divide by zero."},
    {0xC0000095, "Integer overflow."},
    {0xC0000026, "An exception handler returned an invalid disposition."},
    {0xC0000025, "Cannot continue after a noncontinuable exception occurred."},
    {0xC0000096, "Attempt to execute a privileged instruction."},
    {0x80000004, "Single step."},
    {0xC00000FD, "Stack overflow."},
    {0xC000013A, "Ctrl+C pressed."},
    {0x80000001, "Memory Allocated as PAGE_GUARD by VirtualAlloc() was accessed."},
    {0xC0000017,
     "Called by HeapAlloc() if you specify HEAP_GENERATE_EXCEPTIONS and there is no memory or heap corruption."},
    {0xC015000F, "The activation context being deactivated is not the most recently activated one."},
    {0xE06D7363, "Visual C++ structured exception handling."},
};

std::string hex(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
  return text;
}

const char* plural(int64_t n) { return n == 1 ? "" : "s"; }

}  // namespace

const char* exception_name(uint32_t code) {
  for (const NamedCode& entry : exception_names)
    if (entry.code == code) return entry.name;
  return "";
}

std::string milliseconds_phrase(int64_t milliseconds) {
  char text[96];
  if (milliseconds < 1000) {
    std::snprintf(text, sizeof text, "%" PRId64 " millisecond%s", milliseconds, plural(milliseconds));
  } else if (milliseconds < 100000) {
    // Tenths in whole numbers, a half rounded up, whatever C runtime formats it.
    const int64_t tenths = (milliseconds + 50) / 100;
    std::snprintf(text, sizeof text, "%" PRId64 ".%" PRId64 " seconds", tenths / 10, tenths % 10);
  } else {
    int64_t seconds = milliseconds / 1000;
    int64_t minutes = seconds / 60;
    int64_t hours = minutes / 60;
    if (seconds <= 3599) {
      std::snprintf(text, sizeof text, "%" PRId64 " minute%s, %" PRId64 " seconds", minutes, plural(minutes),
                    seconds % 60);
    } else if (minutes <= 1439) {
      std::snprintf(text, sizeof text, "%" PRId64 " hour%s, %" PRId64 " minutes", hours, plural(hours), minutes % 60);
    } else {
      int64_t days = hours / 24;
      std::snprintf(text, sizeof text, "%" PRId64 " day%s, %" PRId64 " hours", days, plural(days), hours % 24);
    }
  }
  return text;
}

std::string build_report(const CrashFacts& facts) {
  const int digits = facts.address_digits;
  std::string out = "Exception: " + std::string(exception_name(facts.code)) + "\r\n";
  out += "\r\nProduct: " + facts.product + "\r\n";
  out += "Exception code: " + hex(facts.code, 8) + "\r\nAddress: " + hex(facts.address, digits) + "\r\n";
  if (!facts.module.empty()) out += "Module: " + facts.module + "\r\n";
  if (facts.access_violation_details) {
    out += std::string("Read/write: ") + (facts.write_access ? "write" : "read") +
           "\r\nMemory address: " + hex(facts.memory_address, digits) + "\r\n";
  }
  out += "Thread ID: " + std::to_string(facts.thread_id) + "  Main Thread: " + std::to_string(facts.main_thread_id) +
         "\r\n";
  if (facts.times) {
    out += "Process/kernel/user time: " + length_of_time(facts.times->seconds_running) + " / " +
           milliseconds_phrase(facts.times->kernel_ms) + " / " + milliseconds_phrase(facts.times->user_ms) + "\r\n";
  }
  char locale[16];
  std::snprintf(locale, sizeof locale, "%X", unsigned(facts.locale));
  out += "OS: " + facts.os + "\r\nIE: " + facts.ie + "\r\nLanguage: " + facts.language + "\r\nLocale: 0x" + locale +
         "  Codepage: " + std::to_string(facts.code_page) + "\r\n";
  if (facts.earlier_out_of_memory) out += "A previous out-of-memory condition occurred.\r\n";

  out += "\r\nCPU Registers:\r\n";
  for (size_t i = 0; i < facts.registers.size(); ++i) {
    const CrashRegister& r = facts.registers[i];
    if (i == 0) {
      out += std::string(r.name) + ": " + hex(r.value, r.digits);
      continue;
    }
    char label[16];
    std::snprintf(label, sizeof label, "\r\n%5s: ", r.name);
    out += label + hex(r.value, r.digits);
  }

  if (!facts.modules.empty()) {
    std::vector<CrashModule> modules = facts.modules;
    std::sort(modules.begin(), modules.end(),
              [](const CrashModule& a, const CrashModule& b) { return a.base < b.base; });
    out += "\r\n\r\nModules:\r\n";
    for (const CrashModule& m : modules)
      out += hex(m.base, digits) + " " + hex(m.base + m.size - (m.size ? 1 : 0), digits) + " " + m.path + "\r\n";
  }
  out += "\r\nCall Stack:\r\n";
  for (const CrashFrame& f : facts.frames) {
    out += hex(f.frame, digits) + " " + hex(f.address, digits) + " " + f.module;
    if (!f.symbol.empty()) out += " " + f.symbol;
    out += "\r\n";
  }
  return out;
}

}  // namespace halvard
