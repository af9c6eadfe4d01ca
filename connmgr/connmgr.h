// The entry points of libQVLConnMgr.so, the dial-up connection library. The main program links
// it; it loads libQVLConnMgrPlus.so (the connection manager) by name from its own folder.
//
// Texts cross the boundary by value as NUL-terminated UTF-16. The window and instance handles
// keep the calls' shape and are not used on Linux: the progress window, the message boxes and
// the message pump reach the library through the UI ports its caller hands over with
// SetConnMgrUiPorts (without them it shows no progress, cannot be canceled and writes its
// messages to standard error). Handles are opaque: 0 means none.
//
// Calling order: CreateConnection, ConnectInternet, then, when connected, DisconnectInternet.
#pragma once

#include "common/ports/uiports.h"

#ifdef QVL_CONNMGR_BUILDING
#define QVL_CONNMGR_EXPORT __attribute__((visibility("default")))
#else
#define QVL_CONNMGR_EXPORT
#endif

extern "C" {

// Creates (replaces) the data connection entry: the device name is looked up among the
// modems (exactly, then as a part of a name), mode 1 dials at 19200 baud, 2 and 3 at 57600;
// an init command of at most 38 characters goes into the dial script, a longer one into the
// registry value "LongInitString" and is sent before the dial. The user name and password are
// checked and kept in a file of mode 0600 until the call. The PIN is kept in memory until the
// next ConnectInternet ("PINNumber" is written empty). The gateway for the host route is the
// REG_SZ "GatewayAddress" of HKEY_LOCAL_MACHINE "\Software\Quorvel\ConnMgr", when it holds a
// dotted IPv4 address. Any failure is shown and leaves no entry.
QVL_CONNMGR_EXPORT void CreateConnection(const char16_t* entryName, const char16_t* deviceName,
                                         const char16_t* dialString, int mode,
                                         const char16_t* initCommand, const char16_t* userName,
                                         const char16_t* password, const char16_t* dns,
                                         const char16_t* alternateDns, const char16_t* simPin,
                                         void* ownerWindow, void* instance);

// Unlocks the SIM on the port when it asks for its PIN, sends a long init command, then dials:
// itself when Is2000PPC returns 1 (rasHandle), else through the connection manager whose
// library handle (from dlopen) *connMgrPlusLibrary holds (connectionHandle). The handles stay
// 0 when no connection was made; the reason has been shown.
QVL_CONNMGR_EXPORT void ConnectInternet(const char16_t* entryName, const char16_t* portName,
                                        void* ownerWindow, void* instance,
                                        void** connMgrPlusLibrary, void** rasHandle,
                                        void** connectionHandle);

// Ends the connection. 0 when it was ended, 6 (invalid handle) when there was none.
QVL_CONNMGR_EXPORT int DisconnectInternet(void** connMgrPlusLibrary, void* rasHandle,
                                          void* connectionHandle, void* ownerWindow,
                                          void* instance);

// 1 when the platform type text is "Palm PC2" (the first platform, which dials itself), else 0.
QVL_CONNMGR_EXPORT int Is2000PPC();

// Hands the library the caller's UI ports for the following calls (copied; the objects they
// point to must outlive those calls). Null restores the console defaults.
QVL_CONNMGR_EXPORT void SetConnMgrUiPorts(const qvl::UiPorts* ports);

using CreateConnectionProc = void (*)(const char16_t*, const char16_t*, const char16_t*, int,
                                      const char16_t*, const char16_t*, const char16_t*,
                                      const char16_t*, const char16_t*, const char16_t*, void*,
                                      void*);
using ConnectInternetProc = void (*)(const char16_t*, const char16_t*, void*, void*, void**, void**,
                                     void**);
using DisconnectInternetProc = int (*)(void**, void*, void*, void*, void*);
using Is2000PPCProc = int (*)();
using SetConnMgrUiPortsProc = void (*)(const qvl::UiPorts*);
}
