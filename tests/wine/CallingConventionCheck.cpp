// Calls each of the five functions of a tuner library the way a cdecl caller does and checks
// that the stack pointer is where it was afterwards: the caller pushes the arguments, calls, and
// removes the arguments itself, so a function that popped them as well (stdcall) leaves the
// stack pointer higher by their size. The call sits in a few lines of assembly of its own, so
// that no frame pointer of the compiler's can restore the stack pointer and hide the fault.
//
//   callconv_check.exe DLL PREFIX [--expect-callee-pops]
//
// Loads DLL, finds PREFIX_GetCount ... PREFIX_GetStatus by name and calls each with arguments
// that fail at once (no driver entries, an index beyond every tuner). Exits 0 when every function
// left the stack as a cdecl function does; with --expect-callee-pops, when every function popped
// its own arguments (the check must see a stdcall library).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

#if !defined(__i386__)
#error "calling conventions differ only on i686"
#endif

// Pushes args[n-1] ... args[0], calls fn, removes n arguments as a cdecl caller does and returns
// how far the stack pointer then lies above where it was before the pushes (0 for a cdecl
// function, 4n for one that pops its own arguments). The stack pointer is put back afterwards
// whatever the function did.
int CallAsCdecl(void* fn, const int* args, int n, int* result) {
  int ret, after, before;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "movl %%ebx, %%ecx\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edi,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%edx\n\t"
      "leal (%%esp,%%ebx,4), %%esp\n\t"
      "movl %%esp, %%ecx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(ret), "=c"(after), "=S"(before), "+d"(fn), "+D"(args)
      : "b"(n)
      : "memory", "cc");
  *result = ret;
  return after - before;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: callconv_check.exe DLL PREFIX [--expect-callee-pops]\n");
    return 2;
  }
  const bool expectCalleePops = argc > 3 && std::strcmp(argv[3], "--expect-callee-pops") == 0;
  HMODULE library = LoadLibraryA(argv[1]);
  if (library == nullptr) {
    std::printf("cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }

  int count = 0, size = 8, channel = 0, power = 0, lock = 0;
  char name[8] = {};
  const int beyond = 99;  // no tuner has this index: the call fails before it opens anything
  const int countArgs[] = {reinterpret_cast<int>(&count)};
  const int powerArgs[] = {beyond, 1};
  const int channelArgs[] = {beyond, 1};
  const int nameArgs[] = {beyond, reinterpret_cast<int>(name), reinterpret_cast<int>(&size),
                          reinterpret_cast<int>(&channel)};
  const int statusArgs[] = {beyond, reinterpret_cast<int>(&power), reinterpret_cast<int>(&lock)};
  const struct {
    const char* suffix;
    const int* args;
    int n;
  } calls[] = {
      {"GetCount", countArgs, 1},      {"SetPower", powerArgs, 2},   {"SetChannel", channelArgs, 2},
      {"GetProgramName", nameArgs, 4}, {"GetStatus", statusArgs, 3},
  };

  int wrong = 0;
  for (const auto& call : calls) {
    const std::string function = std::string(argv[2]) + "_" + call.suffix;
    void* address = reinterpret_cast<void*>(GetProcAddress(library, function.c_str()));
    if (address == nullptr) {
      std::printf("%s: not exported\n", function.c_str());
      ++wrong;
      continue;
    }
    int result = 0;
    const int moved = CallAsCdecl(address, call.args, call.n, &result);
    const bool popped = moved == 4 * call.n;
    std::printf("%s: %d arguments, result %d, stack pointer %+d after the caller's clean-up%s\n",
                function.c_str(), call.n, result, moved,
                moved == 0 ? " (cdecl)"
                : popped   ? " (the function popped its arguments)"
                           : "");
    if (expectCalleePops ? !popped : moved != 0) ++wrong;
  }
  FreeLibrary(library);
  return wrong == 0 ? 0 : 1;
}
