#include "package/package_error.h"

#include "crash/fatal_error.h"

namespace halvard {

void package_error(int code) {
  // The package's own text (message 13) takes over here once the message table is read.
  fatal_error(
      "This installation program is corrupt.  This is usually caused by a faulty download, but it can also be "
      "caused by a virus on your computer.  The installation cannot proceed.\r\n\r\nDelete the corrupted installer "
      "(to prevent caching), then re-download it.  If the problem persists, check your system for viruses.\r\n\r\n"
      "Error code: %d",
      code);
}

}  // namespace halvard
