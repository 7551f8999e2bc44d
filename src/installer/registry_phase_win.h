#pragma once
// The installation's registry work after the shortcuts: the product's own key and the
// package's registry script, the file associations, the firewall exceptions. Each
// reports its failures (summary or log) and records what the uninstaller undoes.

#include "installer/run_state.h"
#include "machine/firewall_win.h"
#include "package/install_settings.h"

namespace halvard {

void apply_registry_key_and_script(const InstallSettings& settings, RunState& state);

// Nothing for a package without associations; the shell hears of the change after them.
void apply_associations(const InstallSettings& settings, RunState& state);

// Through `firewall` (a session with the system's firewall service, or a test's own).
void apply_firewall_exceptions(const InstallSettings& settings, RunState& state, FirewallExceptions& firewall);

}  // namespace halvard
