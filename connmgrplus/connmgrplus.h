// The entry points of libQVLConnMgrPlus.so, the connection manager. It is never linked: the
// dial-up library and the main program load it by name (dlopen of the library beside them)
// and look these names up.
//
// The manager keeps its destinations and connections in the registry (HKEY_LOCAL_MACHINE
// "Software\Microsoft\ConnMgr"): a destination has a GUID, a connection names the dial-up entry
// that reaches a destination. Connecting dials that entry through pppd. Texts cross by value
// as NUL-terminated UTF-16; the window and instance handles are not used on Linux (see
// SetConnMgrPlusUiPorts). Handles are opaque: 0 means none.
#pragma once

#include "common/ports/uiports.h"

#ifdef QVL_CONNMGRPLUS_BUILDING
#define QVL_CONNMGRPLUS_EXPORT __attribute__((visibility("default")))
#else
#define QVL_CONNMGRPLUS_EXPORT
#endif

extern "C" {

// Writes the destination and the connection that reaches it through the dial-up entry named
// connectionName, with a new GUID; with proxyFlag 1 also the HTTP proxy entry of that
// destination (replacing only its own earlier one).
QVL_CONNMGRPLUS_EXPORT void CreateConnectionPlus(const char16_t* destinationName,
                                                 const char16_t* connectionName, int proxyFlag);

// Connects to the destination: *connectionHandle is 0 unless connected. Shows the progress
// window with Cancel; a destination that is not known returns at once.
QVL_CONNMGRPLUS_EXPORT void ConnectInternetPlus(void** connectionHandle,
                                                const char16_t* destinationName, void* ownerWindow,
                                                void* instance);

// Releases the connection (ends the call).
QVL_CONNMGRPLUS_EXPORT void DisconnectInternetPlus(void* connectionHandle, void* ownerWindow,
                                                   void* instance);

// Hands the library the caller's UI ports for the following calls (copied). Null restores the
// console defaults.
QVL_CONNMGRPLUS_EXPORT void SetConnMgrPlusUiPorts(const qvl::UiPorts* ports);

using CreateConnectionPlusProc = void (*)(const char16_t*, const char16_t*, int);
using ConnectInternetPlusProc = void (*)(void**, const char16_t*, void*, void*);
using DisconnectInternetPlusProc = void (*)(void*, void*, void*);
using SetConnMgrPlusUiPortsProc = void (*)(const qvl::UiPorts*);
}
