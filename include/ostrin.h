/*
 * ostrin: control of a tuner attached over USB, through the device-control library kivactl.
 *
 * Every function opens a connection to the tuner, does its work and closes the connection again;
 * there is no initialisation or shutdown call. One lock serialises every call of the library, and a
 * call holds it for as long as kivactl takes; GetProgramName makes up to ten attempts half a second
 * apart. Call these functions from a worker thread, never from a user-interface thread.
 *
 * kivactl.dll comes from the device's maker and must match the program's machine: a 64-bit host
 * needs a 64-bit kivactl.dll.
 *
 * Tuner index: 1 ... 4, the device number kivactl opens. 0, 5 and above, and negative indexes
 * are refused with OSTRIN_ERROR_DEVICE before the device library is asked anything.
 *
 * Results: 0 on success; OSTRIN_ERROR_DEVICE or OSTRIN_ERROR_NO_DEVICE when no connection could
 * be opened (every function but OSTRIN_GetCount); otherwise the function's own failure code.
 */
#ifndef OSTRIN_H
#define OSTRIN_H

#ifdef _WIN32
#define OSTRIN_CALL __cdecl
#else
#define OSTRIN_CALL
#endif

/* Channel selectors for OSTRIN_SetChannel, besides 1 ... 12 (remote-control buttons 1 ... 12). */
#define OSTRIN_CHANNEL_UP 0    /* next channel */
#define OSTRIN_CHANNEL_DOWN -1 /* previous channel */

/* Opening the connection failed. */
#define OSTRIN_ERROR_DEVICE -1    /* index out of range, or the device library failed */
#define OSTRIN_ERROR_NO_DEVICE -2 /* no tuner attached, or the device library reported none */

/* Failure codes, one per function. */
#define OSTRIN_ERROR_SET_POWER -4
#define OSTRIN_ERROR_SET_CHANNEL -5
#define OSTRIN_ERROR_GET_PROGRAM_NAME -6
#define OSTRIN_ERROR_GET_STATUS -7
#define OSTRIN_ERROR_GET_COUNT -8

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the number of attached tuners to *count (0 when none; it may be above 4, although only
 * indexes 1 ... 4 can be used). -8 when count is null or the device library cannot count. */
int OSTRIN_CALL OSTRIN_GetCount(int* count);

/* Switches tuner `index` off (on == 0) or on; `on` is passed to the tuner unchanged. -1 or -2
 * when no connection opened, -4 when the tuner refused. */
int OSTRIN_CALL OSTRIN_SetPower(int index, int on);

/* Sends the remote-control key for `selector`: 1 ... 12, OSTRIN_CHANNEL_UP or
 * OSTRIN_CHANNEL_DOWN. -1 or -2 when no connection opened; -5 for any other selector (the network
 * selectors -2 and -3 included) or when the tuner refused the key. */
int OSTRIN_CALL OSTRIN_SetChannel(int index, int selector);

/* Reads the programme on air of a powered tuner with a locked signal. `name` receives at most
 * *size - 1 bytes of the name and a NUL (a longer name is cut, possibly inside a double-byte
 * character; a 1024-byte buffer always holds the whole name); *size is not changed. *channel
 * receives the channel number. Up to ten attempts, half a second apart. -1 or -2 when no
 * connection opened; -6 when an argument is null, *size is below 1, the tuner is off or not
 * locked, or no name could be read; then neither `name` nor *channel is written. */
int OSTRIN_CALL OSTRIN_GetProgramName(int index, char* name, int* size, int* channel);

/* Writes 1 or 0 to *power (powered) and *lock (signal locked). -1 or -2 when no connection
 * opened; -7 when an argument is null or the status cannot be read. */
int OSTRIN_CALL OSTRIN_GetStatus(int index, int* power, int* lock);

#ifdef __cplusplus
}
#endif

#endif /* OSTRIN_H */
