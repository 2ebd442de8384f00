// tunerctl on Windows: varnel linked through the import table; ostrin loaded only for --usb,
// from the program's own folder, so that the program starts and answers everything else where
// ostrin.dll or the device-control library kivactl.dll it needs is missing. Text goes to a
// console as the console's own characters (WriteConsoleW), to a file or pipe as UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "TunerCtl.h"
#include "varnel.h"

namespace {

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], n);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &text[0], n, nullptr, nullptr);
  return text;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

void WriteLine(DWORD which, const std::string& line) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (IsConsole(handle)) {
    const std::wstring wide = Widen(line + "\r\n", CP_UTF8);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    const std::string text = line + "\r\n";
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

std::string ErrorText(const char* what, DWORD error) {
  return std::string(what) + " (error " + std::to_string(error) + ")";
}

// The folder this program was started from, with its final backslash.
std::wstring ProgramFolder() {
  std::vector<wchar_t> path(32768);  // the longest path Windows has
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring folder(path.data(), n < path.size() ? n : 0);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

template <typename Function>
bool Bind(HMODULE module, const char* name, Function* function, std::string* problem) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (*function == nullptr) *problem = std::string("ostrin.dll has no function ") + name;
  return *function != nullptr;
}

// Whether kivactl.dll is where ostrin.dll would look for it; looked at as a file only, so that
// none of its code runs.
bool KivactlFound() {
  const std::wstring beside = ProgramFolder() + L"kivactl.dll";
  HMODULE module = LoadLibraryExW(beside.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) module = LoadLibraryExW(L"kivactl.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module != nullptr) FreeLibrary(module);
  return module != nullptr;
}

// ostrin.dll beside this program; the search for its own import kivactl.dll starts in that same
// folder and goes on along the usual DLL search path.
bool LoadOstrin(tunerctl::TunerLibrary* library, std::string* problem) {
  const std::wstring path = ProgramFolder() + L"ostrin.dll";
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    const DWORD error = GetLastError();
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      *problem = ErrorText("--usb needs ostrin.dll beside tunerctl.exe; it is missing", error);
    } else if (error == ERROR_MOD_NOT_FOUND && !KivactlFound()) {
      *problem = ErrorText(
          "--usb needs kivactl.dll, the USB tuner's device-control library, beside ostrin.dll "
          "or on the DLL search path; it is missing",
          error);
    } else if (error == ERROR_MOD_NOT_FOUND) {
      // The file is there but does not load, as when it is built for another machine.
      *problem = ErrorText(
          "--usb: ostrin.dll or kivactl.dll does not load; both must be built for the same "
          "machine as tunerctl.exe",
          error);
    } else {
      *problem = ErrorText("ostrin.dll cannot be loaded", error);
    }
    return false;
  }
  library->prefix = "OSTRIN";
  return Bind(module, "OSTRIN_GetCount", &library->getCount, problem) &&
         Bind(module, "OSTRIN_SetPower", &library->setPower, problem) &&
         Bind(module, "OSTRIN_SetChannel", &library->setChannel, problem) &&
         Bind(module, "OSTRIN_GetProgramName", &library->getProgramName, problem) &&
         Bind(module, "OSTRIN_GetStatus", &library->getStatus, problem);
}

class Win32Platform : public tunerctl::Platform {
 public:
  bool OpenLibrary(bool usb, tunerctl::TunerLibrary* library, std::string* problem) override {
    if (usb) return LoadOstrin(library, problem);
    *library = tunerctl::SerialLibrary();
    return true;
  }
  std::string Cp932ToUtf8(const std::string& text) override { return Utf8(Widen(text, 932)); }
  void WriteOut(const std::string& line) override { WriteLine(STD_OUTPUT_HANDLE, line); }
  void WriteErr(const std::string& line) override { WriteLine(STD_ERROR_HANDLE, line); }
  bool ErrIsTerminal() override { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }
  tunerctl::Clock& GetClock() override { return clock_; }

 private:
  tunerctl::SteadyClock clock_;
};

}  // namespace

int main(int argc, char** argv) {
  Win32Platform platform;
  return tunerctl::Main(std::vector<std::string>(argv + 1, argv + argc), platform);
}
