#include "foundation/disk.h"

namespace halvard {

unsigned drive_kind_from_type(unsigned drive_type) {
  switch (drive_type) {
    case 2: return drive_exists | drive_removable;
    case 3: return drive_exists | drive_fixed;
    case 4: return drive_exists | drive_remote;
    case 5: return drive_exists | drive_removable | drive_read_only_media;
    case 6: return drive_exists | drive_ram_disk;
  }
  return 0;
}

}  // namespace halvard
