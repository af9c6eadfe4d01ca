// A Today item library without Qt, for the loader's tests: it counts its initialisations in a
// variable of its own, so a test sees whether a reload gave a fresh copy of the library.
#include "today/todayapi.h"

#include <cstring>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_initializations = 0;

struct FakeWindow {
    void* parent;
    std::uint32_t order;
};
}  // namespace

FAKE_EXPORT void* InitializeCustomItem(TodayListItem* item, void* parent) {
    ++g_initializations;
    if (item == nullptr || item->enabled == 0) {
        return nullptr;
    }
    return new FakeWindow{parent, item->order};
}

FAKE_EXPORT int FakeItemInitializations() {
    return g_initializations;
}

FAKE_EXPORT void* FakeItemParent(void* window) {
    return static_cast<FakeWindow*>(window)->parent;
}

FAKE_EXPORT void FakeItemDestroy(void* window) {
    delete static_cast<FakeWindow*>(window);
}
