// Test helper: moves one file to the recycle bin through delete_file, in a process of
// its own so that the test can point the recycle bin somewhere harmless first.
// Usage: file_recycler <file>; exit code 0 when delete_file succeeded.
#include "foundation/file_functions.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  return halvard::delete_file(argv[1], halvard::delete_to_recycle_bin) ? 0 : 1;
}
