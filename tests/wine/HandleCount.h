// Counting the process's open handles in a way that works under wine, where
// GetProcessHandleCount is a stub that always says 0: every value a kernel handle can take in a
// small process is probed with GetHandleInformation, which fails for a value that names no open
// handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

using HandleSet = std::set<std::uintptr_t>;

inline HandleSet OpenHandles() {
  HandleSet open;
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) open.insert(value);
  }
  return open;
}

inline int CountOpenHandles() {
  return static_cast<int>(OpenHandles().size());
}

// The handles of `after` that `before` does not hold, each with its object type ("Event",
// "Thread", ...), for the message of a failed comparison.
inline std::string DescribeNewHandles(const HandleSet& before, const HandleSet& after) {
  using QueryObject = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
  std::string text;
  for (std::uintptr_t value : after) {
    if (before.count(value) != 0) continue;
    char line[160];
    std::snprintf(line, sizeof line, "0x%llx", static_cast<unsigned long long>(value));
    text += line;
    struct {
      USHORT length, maximum;
      WCHAR* buffer;
      char rest[512];
    } type = {};
    const int kObjectTypeInformation = 2;
    if (query != nullptr &&
        query(reinterpret_cast<HANDLE>(value), kObjectTypeInformation, &type, sizeof type,
              nullptr) >= 0 &&
        type.buffer != nullptr) {
      std::snprintf(line, sizeof line, " %.*ls", static_cast<int>(type.length / sizeof(WCHAR)),
                    type.buffer);
      text += line;
    }
    text += "; ";
  }
  return text;
}
