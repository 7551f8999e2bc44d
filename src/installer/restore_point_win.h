#pragma once
// The system restore point around an installation, through System Restore's
// SRSetRestorePointW (srclient.dll, loaded from the system folder when present).

#include <cstdint>
#include <string>

namespace halvard {

struct RestorePoint {
  bool begun = false;
  int64_t sequence = 0;
};

// Begins the point; returns the log text of the attempt ("Creating restore point..."
// and "OK" or "FAILED" with the reason).
std::string begin_restore_point(const std::string& description, RestorePoint& point);

// Commits a begun point; the log text of a failure, else empty.
std::string commit_restore_point(RestorePoint& point);

}  // namespace halvard
