// The entry points of libQVLMMSClient.so, which the main program and qvl-sendmms load by name
// (dlopen of the library beside the program, dlsym of the names below).
//
// Texts cross the boundary by value as NUL-terminated UTF-16. The window and instance handles
// of the handheld interface are kept for the call's shape and are not used on Linux: the
// progress window, the message boxes and the message pump reach the library through the UI
// ports its caller hands over with SetMMSUiPorts before calling SendMMS. Without them the
// library shows no progress, cannot be canceled and writes its messages to standard error.
#pragma once

#include "common/ports/uiports.h"

#ifdef QVL_MMSCLIENT_BUILDING
#define QVL_MMS_EXPORT __attribute__((visibility("default")))
#else
#define QVL_MMS_EXPORT
#endif

extern "C" {

// Sends one MMS through the WAP gateway (dotted IPv4 address or host name, port 9201) to the
// relay at uri. to and cc are ";"-separated lists; paths and codes hold count objects (file
// path and MediaTypeCode each). Returns 1 when the relay answered with Response-Status Ok,
// 0 otherwise (refused, failed, canceled).
QVL_MMS_EXPORT int SendMMS(void* ownerWindow, void* instance, const char16_t* gateway,
                           const char16_t* uri, const char16_t* to, const char16_t* cc,
                           const char16_t* subject, const char16_t* text,
                           const char16_t* const* paths, const unsigned char* codes, int count);

// Hands the library the caller's UI ports for the following SendMMS calls (copied; the objects
// they point to must outlive those calls). Null restores the console defaults.
QVL_MMS_EXPORT void SetMMSUiPorts(const qvl::UiPorts* ports);

using SendMMSProc = int (*)(void*, void*, const char16_t*, const char16_t*, const char16_t*,
                            const char16_t*, const char16_t*, const char16_t*,
                            const char16_t* const*, const unsigned char*, int);
using SetMMSUiPortsProc = void (*)(const qvl::UiPorts*);
}
