// The interface between the Today screen (our host, qvl-today) and the items it shows: the
// registry key that lists the items, the item descriptor handed to an item's initialisation
// entry, and the window messages the two exchange. Shared by the host, the loader and the
// items; plain C++ (the Qt form of a window message is in today/qt/todaymessage.h).
#pragma once

#include <cstdint>

extern "C" {

// The descriptor of one item, filled by the Today screen from the item's registry key and
// handed to the item's initialisation entry. Texts are UTF-16 and NUL-terminated.
struct TodayListItem {
    char16_t name[32];      // the item's key name
    std::uint32_t type;     // kTodayItemCustom for an item in a library
    std::uint32_t order;    // position on the screen, lowest first
    std::uint32_t height;   // the item's height in pixels; 0 until the item gives it
    std::int32_t enabled;   // 0: the user switched the item off
    std::int32_t options;   // the item has an options dialog
    std::uint32_t flags;    // the item's own value "Flags"
    char16_t dllPath[260];  // the library
    void* library;          // its dlopen handle
    void* window;           // the item's window (a QWidget), once created
};

// The initialisation entry every item library exports by this name: parent is the Today
// screen's window (a QWidget); the result is the item's window, a child of parent, or null when
// the item shows nothing (it is disabled).
using InitializeCustomItemFn = void* (*)(TodayListItem* item, void* parent);
}

namespace qvl::today {

inline constexpr const char* kInitializeEntry = "InitializeCustomItem";

// HKEY_LOCAL_MACHINE key whose subkeys are the items, with the values below.
inline constexpr const char16_t* kItemsKey = u"SOFTWARE\\Microsoft\\Today\\Items";
inline constexpr const char16_t* kValueDll = u"DLL";
inline constexpr const char16_t* kValueType = u"Type";
inline constexpr const char16_t* kValueEnabled = u"Enabled";
inline constexpr const char16_t* kValueOrder = u"Order";
inline constexpr const char16_t* kValueOptions = u"Options";
inline constexpr const char16_t* kValueFlags = u"Flags";
inline constexpr std::uint32_t kTodayItemCustom = 4;

// The phone's own item: its key name and the library's file name.
inline constexpr const char16_t* kPhoneItemName = u"Quorvel SMS Phone";
inline constexpr const char* kPhoneItemLibrary = "libQVLDialerToday.so";

// Window messages (message numbers as on the handheld).
inline constexpr std::uint32_t kWmUser = 0x0400;
inline constexpr std::uint32_t kWmLButtonUp = 0x0202;
// Item -> screen: the colour for a part of the item (wParam: kTodayColor...), as 0x00BBGGRR.
inline constexpr std::uint32_t kTodaymGetColor = kWmUser + 100;
// Item -> screen: paint the screen's background into the item (lParam: TodayWatermark*).
inline constexpr std::uint32_t kTodaymDrawWatermark = kWmUser + 101;
// Item -> screen, our host's addition: what the item shows has changed (wParam: the count of
// new things it reports, lParam: TodayItemStatus*, its line of text and its window). The host's
// tray icon shows it; a screen that does not know the message ignores it.
inline constexpr std::uint32_t kTodaymItemStatus = kWmUser + 120;
// Screen -> item: drop cached data.
inline constexpr std::uint32_t kWmTodayCustomClearCache = kWmUser + 242;
// Screen -> item (lParam: TodayListItem*): 1 when the item changed its height in the
// descriptor and must be laid out again, else 0.
inline constexpr std::uint32_t kWmTodayCustomQueryRefreshCache = kWmUser + 243;

inline constexpr std::uint32_t kTodayColorText = 0x10000004;
inline constexpr std::uint32_t kTodayColorHighlight = 0x10000022;

}  // namespace qvl::today
