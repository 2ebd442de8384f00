/*
 * The start of a console program, for linking the examples with clang in Microsoft mode and
 * lld-link where no Microsoft C runtime is installed: it takes the arguments from msvcrt.dll,
 * calls main and exits through msvcrt.dll, as the runtime's own start would. check_package.py
 * makes the import library of the few msvcrt.dll functions that this and the examples call.
 */
typedef struct {
  int newMode;
} StartupInfo;

int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expandWildcards,
                          StartupInfo* info);
void __cdecl exit(int status);
int __cdecl main(int argc, char* argv[]);

void __cdecl mainCRTStartup(void) {
  int argc = 0;
  char** argv = 0;
  char** env = 0;
  StartupInfo info;
  info.newMode = 0;
  __getmainargs(&argc, &argv, &env, 0, &info);
  exit(main(argc, argv));
}
