// The Today screen's side of its items: which items the registry lists, and the loading,
// initialisation and unloading of an item's library. Plain C++ (dlopen); the host makes the
// windows part of its screen.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "today/todayapi.h"

namespace qvl::today {

struct ItemEntry {
    std::u16string name;  // the key's name
    std::u16string dll;   // value "DLL"
    std::uint32_t order = 0;
    std::uint32_t options = 0;
    std::uint32_t flags = 0;
    bool enabled = true;  // "Enabled" missing counts as enabled
};

// The items of type kTodayItemCustom that name a library, lowest "Order" first (then by name).
// Items of other types (the screen's built-in ones) and keys without "DLL" are left out.
std::vector<ItemEntry> ReadItems();

// One item's library, loaded. Destroy the item's window (and everything the library made)
// before the library goes: its code goes with it.
class LoadedItem {
  public:
    // Loads the library of entry (a relative path is taken beside programDir) and finds its
    // initialisation entry. Null with a reason in problem when either fails.
    static std::unique_ptr<LoadedItem> Load(const ItemEntry& entry, const std::string& programDir,
                                            std::string& problem);
    ~LoadedItem();
    LoadedItem(const LoadedItem&) = delete;
    LoadedItem& operator=(const LoadedItem&) = delete;

    // Calls the initialisation entry with the descriptor and the screen's window; the item's
    // window, or null when the item shows none.
    void* Initialize(void* parent);

    const ItemEntry& Entry() const { return m_entry; }
    TodayListItem& Descriptor() { return m_descriptor; }
    const std::string& LibraryPath() const { return m_path; }

  private:
    LoadedItem() = default;
    ItemEntry m_entry;
    TodayListItem m_descriptor{};
    std::string m_path;
    void* m_handle = nullptr;
    InitializeCustomItemFn m_initialize = nullptr;
};

// Whether the library at path is loaded in this process now (without loading it).
bool LibraryLoaded(const std::string& path);

}  // namespace qvl::today
