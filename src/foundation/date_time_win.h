#pragma once
// The system's clock as the date library's record.

#include "foundation/date_time.h"

namespace halvard {

// The current local time.
DateTime local_now();

}  // namespace halvard
