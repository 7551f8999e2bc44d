#pragma once
// Keeps the engine's windows responsive while it waits or works on its one thread.

namespace halvard {

// Handles every window message that is waiting, then returns.
void pump_messages();

}  // namespace halvard
