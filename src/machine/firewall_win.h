#pragma once
// Windows Firewall exceptions through the firewall manager's COM interface: program
// authorisations and open ports of the current profile.
#include <string>

namespace halvard {

// The firewall operations' outcomes: 0 on success, else the code of the step that
// failed (1 no connection to the firewall, 2 manager not created, 3 no local policy,
// 4 no current profile, 7 missing argument, 8 no authorised-application collection,
// 10 application object not created, 11 setting the path failed, 12 setting the name
// failed, 13 adding failed, 14 removing failed, 15 no open-port collection, 18 port
// object not created, 19 setting the port failed, 20 setting the protocol failed, 27
// an exception inside the service). Adding what is already there succeeds.
class FirewallExceptions {
 public:
  virtual ~FirewallExceptions() = default;
  // 0 when the current profile could be reached, else its code.
  virtual int status() const = 0;
  virtual int add_application(const std::string& path, const std::string& name) = 0;
  // `protocol` 6 (TCP) or 17 (UDP).
  virtual int add_port(long port, long protocol, const std::string& name) = 0;
};

class FirewallSession : public FirewallExceptions {
 public:
  FirewallSession();
  ~FirewallSession() override;
  FirewallSession(const FirewallSession&) = delete;
  FirewallSession& operator=(const FirewallSession&) = delete;

  int status() const override { return status_; }
  int add_application(const std::string& path, const std::string& name) override;
  int add_port(long port, long protocol, const std::string& name) override;
  int remove_application(const std::string& path);
  int remove_port(long port, long protocol);

 private:
  struct Interfaces;
  Interfaces* com_ = nullptr;
  int status_ = 1;
};

}  // namespace halvard
