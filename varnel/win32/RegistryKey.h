// Owner of one open registry key; the key is closed when the owner goes out of scope. Every
// operation returns the operating system's status, 0 on success, and 87 (invalid parameter) when
// no key is open or an argument is null.
#pragma once

#include <windows.h>

namespace varnel {

class RegistryKey {
 public:
  RegistryKey() = default;
  // Opens at once; the status of the open shows in the first query made.
  RegistryKey(HKEY root, const char* path, REGSAM access) { Open(root, path, access); }
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  LONG Open(HKEY root, const char* path, REGSAM access);
  LONG Close();
  // The stored value type is not examined by the two queries.
  LONG QueryInt(const char* name, int* value);
  LONG QueryString(const char* name, char* buffer, unsigned* size);
  LONG SetInt(const char* name, int value);
  LONG SetString(const char* name, const char* text, unsigned byteCount);

 private:
  HKEY key_ = nullptr;
};

}  // namespace varnel
