// halvard-build: the package builder's command line.

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

#include <iostream>

#include "cli.h"
#include "engine_locator.h"

int main(int argc, char** argv) {
  halvard::builder::CliContext context;
  context.builder_exe = halvard::builder::own_executable();
  if (context.builder_exe.empty() && argc > 0) context.builder_exe = std::filesystem::absolute(argv[0]);
  context.terminal = isatty(2) != 0;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return halvard::builder::run_cli(args, std::cout, std::cerr, context);
}
