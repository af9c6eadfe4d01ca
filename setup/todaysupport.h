// QVLDialerTodaySupport (libQVLDialerTodaySupport.so): the setup library that the install step
// calls around installing and removing the suite. It makes the Today screen notice the phone's
// item: after installing it asks the screen to read its items again; before removal it deletes
// the item's key and asks again. The key itself is written by the install step.
//
// Every entry returns 0 ("continue"/"done") in every case: the results of the deletion and the
// broadcast are not the installer's concern, and removal always goes on. Nothing here waits for
// another program: the broadcast is a signal that nobody answers, and without a session bus it
// is skipped at once.
#pragma once

#include <cstdint>

#define QVL_TODAYSUPPORT_EXPORT extern "C" __attribute__((visibility("default")))

// The installer's handle and flags are passed through unused; the entries take none of their
// meaning from them.
QVL_TODAYSUPPORT_EXPORT std::int32_t Install_Init(void* parent, std::int32_t firstCall,
                                                  std::int32_t previouslyInstalled,
                                                  const char16_t* installDir);
QVL_TODAYSUPPORT_EXPORT std::int32_t Install_Exit(
    void* parent, const char16_t* installDir, std::uint32_t failedDirs, std::uint32_t failedFiles,
    std::uint32_t failedRegKeys, std::uint32_t failedRegValues, std::uint32_t failedShortcuts);
QVL_TODAYSUPPORT_EXPORT std::int32_t Uninstall_Init(void* parent, const char16_t* installDir);
QVL_TODAYSUPPORT_EXPORT std::int32_t Uninstall_Exit(void* parent);

namespace qvl::setup {
// The entries by name, for the programs that load the library.
inline constexpr const char* kInstallInit = "Install_Init";
inline constexpr const char* kInstallExit = "Install_Exit";
inline constexpr const char* kUninstallInit = "Uninstall_Init";
inline constexpr const char* kUninstallExit = "Uninstall_Exit";
inline constexpr const char* kLibraryFile = "libQVLDialerTodaySupport.so";
using InstallInitFn = std::int32_t (*)(void*, std::int32_t, std::int32_t, const char16_t*);
using InstallExitFn = std::int32_t (*)(void*, const char16_t*, std::uint32_t, std::uint32_t,
                                       std::uint32_t, std::uint32_t, std::uint32_t);
using UninstallInitFn = std::int32_t (*)(void*, const char16_t*);
using UninstallExitFn = std::int32_t (*)(void*);
}  // namespace qvl::setup
