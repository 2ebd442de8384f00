/*
 * host.c: a minimal host program of varnel.dll. Counts the tuners, then prints each one's status
 * and the programme on air.
 *
 * Build it from the top directory of the package with MinGW-w64:
 *   i686-w64-mingw32-gcc -Iinclude examples/host.c -Llib -lvarnel -o host.exe
 * and run it with bin/varnel.dll beside it. It exits with 1 when any call failed.
 *
 * Programme names are code page 932 text; they are printed as the bytes the library returns.
 */
#include <stdio.h>

#include "varnel.h"

int main(void) {
  int count = 0;
  int result = VARNEL_GetCount(&count);
  printf("VARNEL_GetCount=%d count=%d\n", result, count);
  if (result != 0) return 1;

  int failed = 0;
  for (int i = 1; i <= count; ++i) {
    int power = 0, lock = 0;
    result = VARNEL_GetStatus(i, &power, &lock);
    if (result == 0)
      printf("tuner %d: VARNEL_GetStatus=0 power=%d lock=%d\n", i, power, lock);
    else
      printf("tuner %d: VARNEL_GetStatus=%d\n", i, result);
    failed |= result != 0;

    char name[256] = "";
    int size = (int)sizeof name;
    int channel = 0;
    result = VARNEL_GetProgramName(i, name, &size, &channel);
    if (result == 0)
      printf("tuner %d: VARNEL_GetProgramName=0 channel=%d name=%s\n", i, channel, name);
    else
      printf("tuner %d: VARNEL_GetProgramName=%d\n", i, result);
    failed |= result != 0;
  }
  return failed;
}
