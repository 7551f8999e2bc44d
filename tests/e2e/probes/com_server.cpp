// A COM server DLL for the component tests, built in several behaviours: it registers
// and unregisters its class key; its registration fails with E_FAIL; it crashes in the
// registration routine; or it has no registration routine at all.
#include <windows.h>

#ifndef SERVER_CLSID
#error SERVER_CLSID names the class this server registers
#endif

namespace {

HMODULE own_module = nullptr;
const wchar_t class_key[] = L"CLSID\\" SERVER_CLSID;
const wchar_t server_key[] = L"CLSID\\" SERVER_CLSID L"\\InprocServer32";

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) own_module = instance;
  return TRUE;
}

#if !defined(SERVER_WITHOUT_REGISTRATION)

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
#if defined(SERVER_CRASHES)
  volatile uintptr_t address = 0x10;
  *reinterpret_cast<volatile int*>(address) = 1;
  return S_OK;
#elif defined(SERVER_FAILS)
  return E_FAIL;
#else
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(own_module, path, MAX_PATH);
  HKEY key = nullptr;
  LONG created = RegCreateKeyExW(HKEY_CLASSES_ROOT, server_key, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (created != ERROR_SUCCESS) return HRESULT_FROM_WIN32(created);
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), (length + 1) * sizeof(wchar_t));
  RegCloseKey(key);
  return S_OK;
#endif
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, class_key);
  return S_OK;
}

#endif
