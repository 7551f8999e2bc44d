#include "machine/firewall_win.h"

#include <windows.h>
#include <netfw.h>
#include <oleauto.h>

#include "foundation/file.h"

namespace halvard {
namespace {

constexpr CLSID firewall_manager_class = {0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
constexpr IID firewall_manager_interface = {0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};

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
