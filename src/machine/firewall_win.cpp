#include "machine/firewall_win.h"

#include <windows.h>
#include <netfw.h>
#include <oleauto.h>

#include "foundation/file.h"

namespace halvard {
namespace {

constexpr CLSID firewall_manager_class = {0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
constexpr IID firewall_manager_interface = {0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};
constexpr CLSID application_class = {0xEC9846B3, 0x2762, 0x4A6B, {0xA2, 0x14, 0x6A, 0xCB, 0x60, 0x34, 0x62, 0xD2}};
constexpr IID application_interface = {0xB5E64FFA, 0xC2C5, 0x444E, {0xA3, 0x01, 0xFB, 0x5E, 0x00, 0x01, 0x80, 0x50}};
constexpr CLSID port_class = {0x0CA545C6, 0x37AD, 0x4A6C, {0xBF, 0x92, 0x9F, 0x76, 0x10, 0x06, 0x7E, 0xF5}};
constexpr IID port_interface = {0xE0483BA0, 0x47FF, 0x4D9C, {0xA6, 0xD6, 0x77, 0x41, 0xD0, 0xB1, 0x95, 0xF7}};

// A BSTR that frees itself.
class Text {
 public:
  explicit Text(const std::string& text) : bstr_(SysAllocString(name_to_wide(text).c_str())) {}
  ~Text() { SysFreeString(bstr_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_;
};

template <typename T>
void release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

}  // namespace

struct FirewallSession::Interfaces {
  INetFwMgr* manager = nullptr;
  INetFwPolicy* policy = nullptr;
  INetFwProfile* profile = nullptr;
};

FirewallSession::FirewallSession() : com_(new Interfaces) {
  void* manager = nullptr;
  if (FAILED(CoCreateInstance(firewall_manager_class, nullptr, CLSCTX_INPROC_SERVER, firewall_manager_interface,
                              &manager)) ||
      !manager) {
    status_ = 2;
    return;
  }
  com_->manager = static_cast<INetFwMgr*>(manager);
  if (FAILED(com_->manager->get_LocalPolicy(&com_->policy)) || !com_->policy) {
    status_ = 3;
    return;
  }
  if (FAILED(com_->policy->get_CurrentProfile(&com_->profile)) || !com_->profile) {
    status_ = 4;
    return;
  }
  status_ = 0;
}

FirewallSession::~FirewallSession() {
  release(com_->profile);
  release(com_->policy);
  release(com_->manager);
  delete com_;
}

int FirewallSession::add_application(const std::string& path, const std::string& name) {
  if (status_) return status_;
  if (path.empty()) return 7;
  INetFwAuthorizedApplications* applications = nullptr;
  if (FAILED(com_->profile->get_AuthorizedApplications(&applications)) || !applications) return 8;
  Text image(path), label(name);
  int outcome = 0;
  INetFwAuthorizedApplication* present = nullptr;
  if (SUCCEEDED(applications->Item(image.get(), &present)) && present) {
    release(present);  // already there
  } else {
    void* made = nullptr;
    if (FAILED(CoCreateInstance(application_class, nullptr, CLSCTX_INPROC_SERVER, application_interface, &made)) ||
        !made) {
      outcome = 10;
    } else {
      auto* application = static_cast<INetFwAuthorizedApplication*>(made);
      if (FAILED(application->put_ProcessImageFileName(image.get())))
        outcome = 11;
      else if (FAILED(application->put_Name(label.get())))
        outcome = 12;
      else if (FAILED(applications->Add(application)))
        outcome = 13;
      release(application);
    }
  }
  release(applications);
  return outcome;
}

int FirewallSession::add_port(long port, long protocol, const std::string& name) {
  if (status_) return status_;
  INetFwOpenPorts* ports = nullptr;
  if (FAILED(com_->profile->get_GloballyOpenPorts(&ports)) || !ports) return 15;
  int outcome = 0;
  INetFwOpenPort* present = nullptr;
  if (SUCCEEDED(ports->Item(port, static_cast<NET_FW_IP_PROTOCOL>(protocol), &present)) && present) {
    release(present);
  } else {
    void* made = nullptr;
    Text label(name);
    if (FAILED(CoCreateInstance(port_class, nullptr, CLSCTX_INPROC_SERVER, port_interface, &made)) || !made) {
      outcome = 18;
    } else {
      auto* open_port = static_cast<INetFwOpenPort*>(made);
      if (FAILED(open_port->put_Port(port)))
        outcome = 19;
      else if (FAILED(open_port->put_Protocol(static_cast<NET_FW_IP_PROTOCOL>(protocol))))
        outcome = 20;
      else if (FAILED(open_port->put_Name(label.get())))
        outcome = 12;
      else if (FAILED(ports->Add(open_port)))
        outcome = 13;
      release(open_port);
    }
  }
  release(ports);
  return outcome;
}

int FirewallSession::remove_application(const std::string& path) {
  if (status_) return status_;
  if (path.empty()) return 7;
  INetFwAuthorizedApplications* applications = nullptr;
  if (FAILED(com_->profile->get_AuthorizedApplications(&applications)) || !applications) return 8;
  BSTR name = SysAllocString(name_to_wide(path).c_str());
  HRESULT removed = name ? applications->Remove(name) : E_OUTOFMEMORY;
  SysFreeString(name);
  release(applications);
  return SUCCEEDED(removed) ? 0 : 14;
}

int FirewallSession::remove_port(long port, long protocol) {
  if (status_) return status_;
  INetFwOpenPorts* ports = nullptr;
  if (FAILED(com_->profile->get_GloballyOpenPorts(&ports)) || !ports) return 15;
  HRESULT removed = ports->Remove(port, static_cast<NET_FW_IP_PROTOCOL>(protocol));
  release(ports);
  return SUCCEEDED(removed) ? 0 : 14;
}

}  // namespace halvard
