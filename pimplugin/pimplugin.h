// QVLDialerPlugin (libQVLDialerPlugin.so): the phone's command for a contact. CePimCommand reads
// the contact's work, mobile and home numbers, offers them in a pop-up menu ("Dial " + number,
// a separator, "SMS " + number) and hands the chosen one to the running phone, which asks and
// dials or opens a new message. Our host command qvl-contact runs it on a vCard file.
#pragma once

#include <cstdint>

namespace qvl::pim {
inline constexpr const char* kPluginLibrary = "libQVLDialerPlugin.so";
inline constexpr const char* kPimCommandEntry = "CePimCommand";
inline constexpr const char16_t* kPhoneWindow = u"QVL SMS/Phone";
// owner: the owner's window (a QWidget, or null); command: the menu extension's command (not
// used); items: the selected contacts as vCard file paths, of which the first is used.
using PimCommandFn = std::int32_t (*)(void* owner, std::uint32_t command, const char* const* items,
                                      std::uint32_t count);
}  // namespace qvl::pim

// Returns 0 in every case: a contact that cannot be read or has no number ends the command
// without effect, as does a phone that is neither running nor installed.
extern "C" __attribute__((visibility("default"))) std::int32_t CePimCommand(
    void* owner, std::uint32_t command, const char* const* items, std::uint32_t count);
