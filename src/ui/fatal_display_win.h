#pragma once

namespace halvard {

// The library's own way to show a fatal error: a task-modal stop box captioned
// "FATAL ERROR - " and the tool name. The installer replaces it with its own hook
// once it starts; this one covers everything before that.
void install_fatal_display();

}  // namespace halvard
