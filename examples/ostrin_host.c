/*
 * ostrin_host.c: a minimal host program of ostrin.dll, in C89: the five calls of host.c for tuners
 * attached over USB. Counts the tuners, then for each one (1 to 4) switches it on, selects
 * remote-control button 1 (or the button given as the argument, 1 to 12) and prints its status
 * and the programme on air.
 *
 * Build it from the top folder of the package, with MinGW-w64 (x86_64-w64-mingw32-gcc for the
 * 64-bit package):
 *   i686-w64-mingw32-gcc -Iinclude examples/ostrin_host.c -Llib -lostrin -o ostrin_host.exe
 * or with the Microsoft tools:
 *   cl /Iinclude examples\ostrin_host.c lib\ostrin.lib
 *
 * ostrin.dll needs the device maker's kivactl.dll beside it (or on the DLL search path), built for
 * the same machine as the program: without it the program does not start. To try the program
 * without a tuner, put bin/kivactl.dll of the kivactl stand-in's development ZIP beside it; the
 * stand-in simulates one tuner. It is for development only: never ship it.
 */
#include <stdio.h>

#include "ostrin.h"

int main(int argc, char* argv[]) {
  int button = 1;
  int count = 0;
  int failed = 0;
  int result;
  int i;

  if (argc > 2 || (argc == 2 && sscanf(argv[1], "%d", &button) != 1) || button < 1 || button > 12) {
    printf("usage: ostrin_host [BUTTON]   (BUTTON: remote-control button 1 to 12, default 1)\n");
    return 2;
  }

  result = OSTRIN_GetCount(&count);
  printf("OSTRIN_GetCount=%d count=%d\n", result, count);
  if (result != 0) return 1;

  /* Only devices 1 to 4 can be opened, however many are attached. */
  for (i = 1; i <= count && i <= 4; ++i) {
    char name[1024]; /* 1024 bytes always hold the whole name; a smaller buffer gets it cut */
    int size = (int)sizeof name;
    int channel = 0;
    int power = 0;
    int lock = 0;

    /* Every call but OSTRIN_GetCount gives OSTRIN_ERROR_DEVICE (-1) or OSTRIN_ERROR_NO_DEVICE (-2)
     * when no connection to the tuner could be opened, otherwise 0 or its own failure code. */
    result = OSTRIN_SetPower(i, 1);
    printf("tuner %d: OSTRIN_SetPower=%d\n", i, result);
    failed |= result != 0;

    result = OSTRIN_SetChannel(i, button);
    printf("tuner %d: OSTRIN_SetChannel=%d button=%d\n", i, result, button);
    failed |= result != 0;

    result = OSTRIN_GetStatus(i, &power, &lock);
    if (result == 0)
      printf("tuner %d: OSTRIN_GetStatus=0 power=%d lock=%d\n", i, power, lock);
    else
      printf("tuner %d: OSTRIN_GetStatus=%d\n", i, result);
    failed |= result != 0;

    /* Fails with -6 at once when the tuner is off or has no signal. */
    result = OSTRIN_GetProgramName(i, name, &size, &channel);
    if (result == 0)
      printf("tuner %d: OSTRIN_GetProgramName=0 channel=%d name=%s\n", i, channel, name);
    else
      printf("tuner %d: OSTRIN_GetProgramName=%d\n", i, result);
    failed |= result != 0;
  }
  return failed;
}
