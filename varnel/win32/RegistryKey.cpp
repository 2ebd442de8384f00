#include "RegistryKey.h"

namespace varnel {

LONG RegistryKey::Open(HKEY root, const char* path, REGSAM access) {
  if (path == nullptr) return ERROR_INVALID_PARAMETER;
  Close();
  // The key is kept only when the open succeeded, whatever the call left in its output.
  HKEY opened = nullptr;
  const LONG status = RegOpenKeyExA(root, path, 0, access, &opened);
  if (status == ERROR_SUCCESS) key_ = opened;
  return status;
}

LONG RegistryKey::Close() {
  if (key_ == nullptr) return ERROR_INVALID_PARAMETER;
  const LONG status = RegCloseKey(key_);
  key_ = nullptr;
  return status;
}

LONG RegistryKey::QueryInt(const char* name, int* value) {
  if (key_ == nullptr || name == nullptr || value == nullptr) return ERROR_INVALID_PARAMETER;
  DWORD size = sizeof *value;
  return RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
}

LONG RegistryKey::QueryString(const char* name, char* buffer, unsigned* size) {
  if (key_ == nullptr || name == nullptr || buffer == nullptr || size == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  DWORD bytes = *size;
  const LONG status =
      RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes);
  *size = bytes;
  return status;
}

LONG RegistryKey::SetInt(const char* name, int value) {
  if (key_ == nullptr || name == nullptr) return ERROR_INVALID_PARAMETER;
  return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

LONG RegistryKey::SetString(const char* name, const char* text, unsigned byteCount) {
  if (key_ == nullptr || name == nullptr || text == nullptr) return ERROR_INVALID_PARAMETER;
  return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), byteCount);
}

}  // namespace varnel
