// A library with the five functions of varnel's interface under their names, built with the
// wrong calling convention (stdcall: each function pops its own arguments), for the calling
// convention check to find. Every function fails at once.
#include <windows.h>

extern "C" {

__declspec(dllexport) int __stdcall VARNEL_GetCount(int* count) {
  if (count != nullptr) *count = 0;
  return -8;
}
__declspec(dllexport) int __stdcall VARNEL_SetPower(int, int) {
  return -4;
}
__declspec(dllexport) int __stdcall VARNEL_SetChannel(int, int) {
  return -5;
}
__declspec(dllexport) int __stdcall VARNEL_GetProgramName(int, char*, int*, int*) {
  return -6;
}
__declspec(dllexport) int __stdcall VARNEL_GetStatus(int, int*, int*) {
  return -7;
}

}  // extern "C"
