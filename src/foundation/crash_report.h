#pragma once
// The crash report's text, from facts the exception filter and the handler gather.
// Both engines write the same report; the x64 engine's addresses have 16 hexadecimal
// digits and its registers are its own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvard {

struct CrashModule {
  uint64_t base = 0;
  uint64_t size = 0;
  std::string path;
};

struct CrashFrame {
  uint64_t frame = 0;    // the frame pointer (x86) or stack pointer (x64) of the frame
  uint64_t address = 0;  // where it runs
  std::string module;    // upper-case base name of the module holding `address`, or empty
  std::string symbol;    // from the debugging help, or empty
};

struct CrashRegister {
  const char* name;  // "Flags", "EAX", ..., as the report labels it
  uint64_t value;
  int digits;  // 8 or 16
};

struct CrashProcessTimes {
  int64_t seconds_running = 0;
  int64_t kernel_ms = 0;
  int64_t user_ms = 0;
};

struct CrashFacts {
  uint32_t code = 0;
  uint64_t address = 0;
  int address_digits = 8;  // 16 in the x64 engine
  bool access_violation_details = false;
  bool write_access = false;
  uint64_t memory_address = 0;
  std::string product;  // tool name, engine version and edition, each after a blank
  std::string module;   // base name of the module holding the address, or empty
  uint32_t thread_id = 0;
  uint32_t main_thread_id = 0;
  std::optional<CrashProcessTimes> times;
  std::string os;
  std::string ie;
  std::string language;
  uint32_t locale = 0;
  uint32_t code_page = 0;
  bool earlier_out_of_memory = false;
  std::vector<CrashRegister> registers;  // Flags first
  std::vector<CrashModule> modules;      // any order
  std::vector<CrashFrame> frames;
};

// The report's name of an exception code; empty for a code the table does not hold.
const char* exception_name(uint32_t code);

// Kernel or user time: "12 milliseconds", "1.5 seconds", then minutes, hours, days.
std::string milliseconds_phrase(int64_t milliseconds);

std::string build_report(const CrashFacts& facts);

}  // namespace halvard
