// Replaces, for the life of the object, one function that a loaded module imports by name: the
// module's import address table entry is pointed at another function. Used to take varnel's
// library lock out (its critical-section calls become no-ops) and show that the load test's
// overlap check then fails.
#pragma once

#include <windows.h>

#include <cstring>

class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
      auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
        slot_ = reinterpret_cast<void**>(&addresses->u1.Function);
        original_ = *slot_;
        Write(replacement);
        return;
      }
    }
  }
  ~ImportPatch() {
    if (slot_ != nullptr) Write(original_);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  bool patched() const { return slot_ != nullptr; }

 private:
  void Write(void* value) {
    DWORD protection = 0;
    VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
    *slot_ = value;
    VirtualProtect(slot_, sizeof *slot_, protection, &protection);
  }
  void** slot_ = nullptr;
  void* original_ = nullptr;
};
