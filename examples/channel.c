/*
 * channel.c: changes the channel of one serial tuner through varnel.dll and shows the programme
 * now on air, in C89.
 *
 *   channel TUNER KEY
 *
 * TUNER is the tuner's number (1 for the first varnel finds); KEY is a remote-control button,
 * 1 to 12, or up, down (next and previous channel), dtt (terrestrial digital) or bs (BS digital).
 *
 * Build it from the top folder of the package, with MinGW-w64 (x86_64-w64-mingw32-gcc for the
 * 64-bit package):
 *   i686-w64-mingw32-gcc -Iinclude examples/channel.c -Llib -lvarnel -o channel.exe
 * or with the Microsoft tools:
 *   cl /Iinclude examples\channel.c lib\varnel.lib
 */
#include <stdio.h>
#include <string.h>

#include "varnel.h"

/* The selector VARNEL_SetChannel takes for `key`; 0 with *known = 0 when there is none. */
static int Selector(const char* key, int* known) {
  int button = 0;
  char rest = 0;
  *known = 1;
  if (strcmp(key, "up") == 0) return VARNEL_CHANNEL_UP;
  if (strcmp(key, "down") == 0) return VARNEL_CHANNEL_DOWN;
  if (strcmp(key, "dtt") == 0) return VARNEL_NETWORK_DTT;
  if (strcmp(key, "bs") == 0) return VARNEL_NETWORK_BS;
  if (sscanf(key, "%d%c", &button, &rest) == 1 && button >= 1 && button <= 12) return button;
  *known = 0;
  return 0;
}

int main(int argc, char* argv[]) {
  char name[1024]; /* 1024 bytes always hold the longest name a tuner can send */
  int size = (int)sizeof name;
  int tuner = 0;
  int channel = 0;
  int known = 0;
  int selector = 0;
  int result;

  if (argc == 3) selector = Selector(argv[2], &known);
  if (argc != 3 || sscanf(argv[1], "%d", &tuner) != 1 || tuner < 1 || !known) {
    printf("usage: channel TUNER KEY   (KEY: 1 to 12, up, down, dtt or bs)\n");
    return 2;
  }

  /* The call returns once the tuner has acknowledged the key, or after 35 s without an answer. */
  result = VARNEL_SetChannel(tuner, selector);
  printf("VARNEL_SetChannel=%d\n", result);
  if (result != 0) {
    /* The same code for every failure: no tuner with this number, its port held by another
     * program, or the tuner did not acknowledge the key. */
    return 1;
  }

  /* The programme now on air. A name that does not fit the buffer is refused, never cut. */
  result = VARNEL_GetProgramName(tuner, name, &size, &channel);
  if (result == 0)
    printf("VARNEL_GetProgramName=0 channel=%d name=%s\n", channel, name);
  else
    printf("VARNEL_GetProgramName=%d\n", result);
  return result != 0;
}
