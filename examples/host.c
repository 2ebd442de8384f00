/*
 * host.c: a minimal host program of varnel.dll, in C89. Counts the tuners, then for each one
 * switches it on, selects remote-control button 1 (or the button given as the argument, 1 to 12)
 * and prints its status and the programme on air: all five functions of the library.
 *
 * Build it from the top folder of the package, with MinGW-w64 (x86_64-w64-mingw32-gcc for the
 * 64-bit package):
 *   i686-w64-mingw32-gcc -Iinclude examples/host.c -Llib -lvarnel -o host.exe
 * or with the Microsoft tools (lib/varnel.lib is their import library):
 *   cl /Iinclude examples\host.c lib\varnel.lib
 * and run it with bin/varnel.dll beside it. It exits with 1 when any call failed.
 *
 * Each call blocks until the tuner has answered: a tuner that stays silent holds a call for 35 s
 * an exchange, VARNEL_GetStatus about 70 s, VARNEL_GetProgramName about six minutes. A program
 * with a user interface makes these calls from a worker thread, never from its UI thread.
 *
 * Programme names are code page 932 text; they are printed as the bytes the library returns.
 */
#include <stdio.h>

#include "varnel.h"

int main(int argc, char* argv[]) {
  int button = 1;
  int count = 0;
  int failed = 0;
  int result;
  int i;

  if (argc > 2 || (argc == 2 && sscanf(argv[1], "%d", &button) != 1) || button < 1 || button > 12) {
    printf("usage: host [BUTTON]   (BUTTON: remote-control button 1 to 12, default 1)\n");
    return 2;
  }

  result = VARNEL_GetCount(&count);
  printf("VARNEL_GetCount=%d count=%d\n", result, count);
  if (result != 0) {
    /* -8: the serial tuner driver's registry entries are missing (driver not installed). With
     * the driver installed but no tuner plugged in, the call succeeds with a count of 0. */
    return 1;
  }

  for (i = 1; i <= count; ++i) {
    char name[1024]; /* 1024 bytes always hold the longest name a tuner can send */
    int size = (int)sizeof name;
    int channel = 0;
    int power = 0;
    int lock = 0;

    result = VARNEL_SetPower(i, 1);
    printf("tuner %d: VARNEL_SetPower=%d\n", i, result);
    failed |= result != 0;

    result = VARNEL_SetChannel(i, button);
    printf("tuner %d: VARNEL_SetChannel=%d button=%d\n", i, result, button);
    failed |= result != 0;

    result = VARNEL_GetStatus(i, &power, &lock);
    if (result == 0)
      printf("tuner %d: VARNEL_GetStatus=0 power=%d lock=%d\n", i, power, lock);
    else
      printf("tuner %d: VARNEL_GetStatus=%d\n", i, result);
    failed |= result != 0;

    result = VARNEL_GetProgramName(i, name, &size, &channel);
    if (result == 0)
      printf("tuner %d: VARNEL_GetProgramName=0 channel=%d name=%s\n", i, channel, name);
    else
      printf("tuner %d: VARNEL_GetProgramName=%d\n", i, result);
    failed |= result != 0;
  }
  return failed;
}
