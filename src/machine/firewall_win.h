#pragma once
// Windows Firewall exceptions through the firewall manager's COM interface: program
// authorisations and open ports of the current profile.
#include <string>

namespace halvard {

// The firewall operations' outcomes: 0 on success, else the code of the step that
// failed (1 no connection to the firewall, 2 manager not created, 3 no local policy,
// 4 no current profile, 7 missing argument, 8 no authorised-application collection,
// 14 removing failed, 15 no open-port collection, 27 an exception inside the service).
class FirewallSession {
 public:
  FirewallSession();
  ~FirewallSession();
  FirewallSession(const FirewallSession&) = delete;
  FirewallSession& operator=(const FirewallSession&) = delete;

  // 0 when the current profile could be reached, else its code.
  int status() const { return status_; }
  int remove_application(const std::string& path);
  // `protocol` 6 (TCP) or 17 (UDP).
  int remove_port(long port, long protocol);

 private:
  struct Interfaces;
  Interfaces* com_ = nullptr;
  int status_ = 1;
};

}  // namespace halvard
