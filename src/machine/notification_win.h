#pragma once
// The notification request: one background request of the publisher's address when a
// run has finished, its answer ignored and its failure never shown.
//
// Two changes from the way such requests are often made. An "https:" address goes only
// through WinINet, which speaks TLS; the engine's own client takes "http:" addresses
// only, as the address may carry what the publisher wants private. And the exit waits
// for the request at most notification_wait_ms: a server that accepts the connection
// and never answers must not keep a finished installer alive.

#include <string>

namespace halvard {

// Long enough for a request to a reachable server, short enough that a user who has
// seen "completed" does not notice the process still running.
inline constexpr unsigned notification_wait_ms = 10000;

// Starts the request of `address` with "%version%" replaced by `version`; nothing for
// an empty address, or when a request has already been started in this process.
void start_notification(const std::string& address, const std::string& version);

// Waits for the request started here, at most notification_wait_ms; at once when none.
void wait_for_notification();

}  // namespace halvard
