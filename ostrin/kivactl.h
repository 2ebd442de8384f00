// The eight functions ostrin imports from the device-control library kivactl. They are bound by
// name through the import table when ostrin is loaded. All use the C calling convention with the
// caller removing the arguments, and return 0 for success.
#pragma once

#ifdef _WIN32
#define KIVACTL_CALL __cdecl
#else
#define KIVACTL_CALL
#endif

extern "C" {

// Writes the number of attached tuners to *count.
int KIVACTL_CALL DevCtrl_GetEnumDevice(int* count);

// Chooses the device that the next KivaDevCtrl_Initialize opens.
int KIVACTL_CALL DevCtrl_SetGetEnumDevice(int index);

// Opens the chosen device: 0, -2 for the distinguished failure, anything else another failure.
int KIVACTL_CALL KivaDevCtrl_Initialize();

// Closes the device again.
int KIVACTL_CALL KivaDevCtrl_Uninitialize();

// Switches the tuner's STi7710 chip on or off. `unit` is always 0.
int KIVACTL_CALL KivaDevCtrl_SetSTi7710Power(int unit, int on);

// Injects one remote-control key. `unit` is always 0.
int KIVACTL_CALL KivaDevCtrl_SendRemoteCommand(int unit, unsigned short key);

// Reads three status bytes; in the first, bit 0x80 is powered and bit 0x40 signal locked.
// `unit` is always 0.
int KIVACTL_CALL KivaDevCtrl_GetStatus(int unit, unsigned char* status, unsigned char* second,
                                       unsigned char* third);

// The byte pipe: direction 1 sends `length` bytes of `buffer`, direction 0 receives into it.
// *transferred gives the number of bytes moved; a receive never brings more than 128 bytes.
int KIVACTL_CALL KivaDevCtrl_AccessFlashROM(int direction, char* buffer, int length, int fourth,
                                            unsigned* transferred);

}  // extern "C"
