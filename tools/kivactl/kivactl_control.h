// Test controls of the kivactl stand-in.
//
// The stand-in kivactl.dll is a development and test stand-in for the closed device-control
// library that ostrin imports; it is never shipped. Besides the eight functions ostrin imports
// it exports these KivaSim_ functions, with which a test sets up the simulated tuners and reads
// back what the library under test asked of them.
//
// The simulated device, after KivaSim_Reset: one tuner attached, none selected or initialised,
// powered, signal locked, on channel 1, answering "getstat" and a CR with
// "CHANNEL:001\r\nPROGRAM:Programme 1\r\nOK\r\n" in chunks of up to 128 bytes.
#ifndef KIVACTL_CONTROL_H
#define KIVACTL_CONTROL_H

#ifdef _WIN32
#define KIVASIM_CALL __cdecl
#else
#define KIVASIM_CALL
#endif

/* `calls` of KivaSim_ForceResult: the forced result stays until cleared. */
#define KIVASIM_ALWAYS -1

#ifdef __cplusplus
extern "C" {
#endif

/* Back to the state described above, with empty logs. */
void KIVASIM_CALL KivaSim_Reset(void);

/* The count DevCtrl_GetEnumDevice reports; may be 0 or negative. Initialize opens a selected
 * index 1 ... count, fails with -2 when the count is 0 and with -1 otherwise. */
void KIVASIM_CALL KivaSim_SetDeviceCount(int count);

/* Makes the kivactl function named `function` (for example "KivaDevCtrl_Initialize") return
 * `result` for its next `calls` calls, or for every call with KIVASIM_ALWAYS; `calls` 0 clears
 * it. A forced call is logged and returns at once: it writes no output and changes no state. */
void KIVASIM_CALL KivaSim_ForceResult(const char* function, int result, int calls);

/* Fixes the first status byte KivaDevCtrl_GetStatus reports (0 ... 255). A negative value
 * returns to the byte the device state gives: 0x80 when powered, and 0x40 when powered and
 * locked. */
void KIVASIM_CALL KivaSim_SetStatus(int status);

/* The exact bytes (up to the NUL) that answer every "getstat" query; null returns to the default
 * reply, built from the current channel. */
void KIVASIM_CALL KivaSim_SetReply(const char* text);

/* How a reply is cut into receives: each receive while a reply is pending takes the next size
 * from `sizes` (0 is an empty receive in the middle of the reply), cut to what is left of the
 * reply and to 128. The list runs on across replies; once it is used up, every receive brings up
 * to 128 bytes. Null or a count of 0 clears the list. Once a reply is delivered, receives bring
 * nothing until the next query. */
void KIVASIM_CALL KivaSim_SetChunking(const int* sizes, int count);

/* Non-zero: queries are taken but never answered; every receive brings nothing. */
void KIVASIM_CALL KivaSim_SetSilent(int silent);

/* The calls made since the last reset, one line each ending in LF: the function name and its
 * integer arguments, for example "DevCtrl_SetGetEnumDevice 3" or
 * "KivaDevCtrl_AccessFlashROM 0 10 10" (direction, length, fourth value); remote keys are
 * written as 0x1F38. Copies at most capacity - 1 bytes and a NUL into `out` (which may be null
 * with capacity 0) and returns the length of the whole log. */
int KIVASIM_CALL KivaSim_GetCallLog(char* out, int capacity);

/* The bytes sent through the pipe since the last reset, copied like the call log. */
int KIVASIM_CALL KivaSim_GetSentBytes(char* out, int capacity);

/* 1 while a device is initialised, else 0. */
int KIVASIM_CALL KivaSim_IsInitialised(void);

#ifdef __cplusplus
}
#endif

#endif /* KIVACTL_CONTROL_H */
