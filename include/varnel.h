/*
 * varnel: control of a tuner attached as a virtual serial port.
 *
 * Every function finds the tuner, opens its port, does its work and closes the port again; there is
 * no initialisation or shutdown call. Results: 0 on success, otherwise the function's failure code
 * below, the same code for every cause.
 *
 * Calls block: one lock serialises every call of the library, and a call holds it until the tuner
 * has answered or given up. A tuner that does not answer costs 35 s an exchange: SetPower and
 * SetChannel about 35 s, GetStatus about 70 s, GetProgramName about six minutes. Call these
 * functions from a worker thread, never from a user-interface thread (GetCount too: it waits for
 * the lock).
 *
 * Transcript: when a file logfile.txt exists in the process's current directory, every call
 * empties it and writes the bytes it receives from the tuner there; nothing creates the file.
 * Traces: discovery and failures are written with OutputDebugString ("unknown: ..."), visible in a
 * debugger or any tool that shows that output (under wine: WINEDEBUG=+debugstr).
 * A tuner whose port another process holds open fails every call at once with its code.
 *
 * Tuner index: 1-based position in the library's discovery order; 0 acts like 1, a negative index
 * or one above the number of tuners fails.
 *
 * Text: a programme name comes back as the tuner's own bytes, Japanese in code page 932
 * (Shift-JIS), on every platform and whatever the process's locale or code page; the library steps
 * through replies with the code page 932 lead bytes, so a double-byte character is never split.
 * Convert the name for display (MultiByteToWideChar with code page 932, or iconv from "CP932").
 *
 * Linux (libvarnel.so.1): the tuners are the USB serial ttys of the tuner's vendor and product
 * (fedc:ba98), ordered by USB bus and port chain, then interface, so a socket keeps its index; the
 * user needs access to them (the dialout group on Debian). A call holds its tty exclusively, so a
 * second process gets the function's failure code. GetCount gives -8 when the system has no
 * /sys/class/tty, 0 with *count 0 when no tuner is attached. The traces go to standard error when
 * the environment variable VARNEL_DEBUG is set, nowhere otherwise.
 */
#ifndef VARNEL_H
#define VARNEL_H

#ifdef _WIN32
#define VARNEL_CALL __cdecl
#else
#define VARNEL_CALL
#endif

/* The library's one export macro. The Windows DLL exports through its .def file; elsewhere the
 * library is built with hidden visibility and only what carries this macro is exported. */
#if defined(VARNEL_BUILDING) && !defined(_WIN32) && defined(__GNUC__)
#define VARNEL_API __attribute__((visibility("default")))
#else
#define VARNEL_API
#endif

/* Channel selectors for VARNEL_SetChannel, besides 1 ... 12 (remote-control buttons 1 ... 12). */
#define VARNEL_CHANNEL_UP 0    /* next channel */
#define VARNEL_CHANNEL_DOWN -1 /* previous channel */
#define VARNEL_NETWORK_DTT -2  /* terrestrial digital broadcasting */
#define VARNEL_NETWORK_BS -3   /* BS digital broadcasting */

/* Failure codes, one per function. */
#define VARNEL_ERROR_SET_POWER -4
#define VARNEL_ERROR_SET_CHANNEL -5
#define VARNEL_ERROR_GET_PROGRAM_NAME -6
#define VARNEL_ERROR_GET_STATUS -7
#define VARNEL_ERROR_GET_COUNT -8

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the number of tuners found to *count. -8 when count is null or the serial tuner driver's
 * registry entries cannot be read (the driver is not installed); 0 with *count 0 when the driver
 * is installed and no tuner is attached. Reads only the registry: it sends nothing. */
VARNEL_API int VARNEL_CALL VARNEL_GetCount(int* count);

/* Switches tuner `index` off (on == 0) or on (any other value). Succeeds once the tuner's port
 * opened, whether or not the tuner answered. -4 otherwise. */
VARNEL_API int VARNEL_CALL VARNEL_SetPower(int index, int on);

/* Sends the remote-control key for `selector`: 1 ... 12, VARNEL_CHANNEL_UP, VARNEL_CHANNEL_DOWN,
 * VARNEL_NETWORK_DTT or VARNEL_NETWORK_BS. -5 for any other selector or when the tuner does not
 * acknowledge the key. */
VARNEL_API int VARNEL_CALL VARNEL_SetChannel(int index, int selector);

/* Reads the programme on air. `name` receives the NUL-terminated name when it fits in *size bytes
 * (with its NUL, and shorter than the whole buffer); *size is not changed. *channel receives the
 * channel number. Up to ten attempts; -6 when no name could be read or an argument is null. A name
 * that does not fit is refused, never cut: the call then ends with -6 after its ten attempts. A
 * 1024-byte buffer always holds the whole name. */
VARNEL_API int VARNEL_CALL VARNEL_GetProgramName(int index, char* name, int* size, int* channel);

/* Writes 1 or 0 to *power (powered) and *lock (signal locked). `power` may be null; then only the
 * lock state is read. -7 when lock is null or the tuner's status cannot be read. */
VARNEL_API int VARNEL_CALL VARNEL_GetStatus(int index, int* power, int* lock);

#ifdef __cplusplus
}
#endif

#endif /* VARNEL_H */
