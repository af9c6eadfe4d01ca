#include "today/itemloader.h"

#include <dlfcn.h>

#include <algorithm>

#include "base/text.h"
#include "platform/registry.h"

namespace qvl::today {
namespace {

template <std::size_t N>
void CopyText(char16_t (&to)[N], std::u16string_view from) {
    const std::size_t n = std::min(from.size(), N - 1);
    std::copy_n(from.begin(), n, to);
    to[n] = 0;
}

}  // namespace

std::vector<ItemEntry> ReadItems() {
    std::vector<ItemEntry> items;
    const RegKey root = RegKey::Open(RegRoot::LocalMachine, kItemsKey);
    if (!root) {
        return items;
    }
    for (const std::u16string& name : root.SubKeyNames()) {
        const RegKey key = root.OpenSub(name);
        const auto dll = key.ReadString(kValueDll);
        if (key.ReadDword(kValueType).value_or(0) != kTodayItemCustom || !dll || dll->empty()) {
            continue;
        }
        ItemEntry e;
        e.name = name;
        e.dll = *dll;
        e.order = key.ReadDword(kValueOrder).value_or(0);
        e.options = key.ReadDword(kValueOptions).value_or(0);
        e.flags = key.ReadDword(kValueFlags).value_or(0);
        e.enabled = key.ReadDword(kValueEnabled).value_or(1) != 0;
        items.push_back(std::move(e));
    }
    std::stable_sort(items.begin(), items.end(), [](const ItemEntry& a, const ItemEntry& b) {
        return a.order != b.order ? a.order < b.order : a.name < b.name;
    });
    return items;
}

std::unique_ptr<LoadedItem> LoadedItem::Load(const ItemEntry& entry, const std::string& programDir,
                                             std::string& problem) {
    // The descriptor holds the path: one that does not fit would name another file.
    if (entry.dll.empty() || entry.dll.size() >= std::size(TodayListItem{}.dllPath) ||
        entry.name.size() >= std::size(TodayListItem{}.name)) {
        problem = "the item's name or library path is empty or too long";
        return nullptr;
    }
    std::string path = WideToUtf8(entry.dll);
    if (path.front() != '/') {
        path = programDir + "/" + path;
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        problem = "its library cannot be loaded: " + std::string(why ? why : path);
        return nullptr;
    }
    auto init = reinterpret_cast<InitializeCustomItemFn>(::dlsym(handle, kInitializeEntry));
    if (init == nullptr) {
        ::dlclose(handle);
        problem = path + " has no entry " + kInitializeEntry;
        return nullptr;
    }
    std::unique_ptr<LoadedItem> item(new LoadedItem());
    item->m_entry = entry;
    item->m_path = path;
    item->m_handle = handle;
    item->m_initialize = init;
    TodayListItem& d = item->m_descriptor;
    CopyText(d.name, entry.name);
    CopyText(d.dllPath, entry.dll);
    d.type = kTodayItemCustom;
    d.order = entry.order;
    d.enabled = entry.enabled ? 1 : 0;
    d.options = static_cast<std::int32_t>(entry.options);
    d.flags = entry.flags;
    d.library = handle;
    return item;
}

LoadedItem::~LoadedItem() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
    }
}

void* LoadedItem::Initialize(void* parent) {
    m_descriptor.window = m_initialize(&m_descriptor, parent);
    return m_descriptor.window;
}

bool LibraryLoaded(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    ::dlclose(handle);
    return true;
}

}  // namespace qvl::today
