// The Today screen's core: the items the registry lists, loading, initialising, unloading and
// reloading an item's library (a Qt-free fake item, so that this runs in the sanitizer build),
// and the tap that posts to or starts the main program.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"
#include "platform/tests/test_home.h"
#include "today/activation.h"
#include "today/itemloader.h"

namespace qvl::today {
namespace {

using qvl::testing::TestHome;

class TodayItemsTest : public TestHome {
  protected:
    static void AddItem(const std::u16string& name, const std::u16string& dll,
                        std::optional<std::uint32_t> type, std::optional<std::uint32_t> order,
                        std::optional<std::uint32_t> enabled) {
        const RegKey key = RegKey::Open(RegRoot::LocalMachine,
                                        std::u16string(kItemsKey) + u"\\" + name, RegOpen::Create);
        if (!dll.empty()) {
            key.WriteString(kValueDll, dll);
        }
        if (type) {
            key.WriteDword(kValueType, *type);
        }
        if (order) {
            key.WriteDword(kValueOrder, *order);
        }
        if (enabled) {
            key.WriteDword(kValueEnabled, *enabled);
        }
    }
    static ItemEntry FakeEntry(bool enabled = true) {
        ItemEntry e;
        e.name = u"Fake";
        e.dll = u"" QVL_FAKE_ITEM_FILE;
        e.enabled = enabled;
        e.order = 3;
        return e;
    }
};

TEST_F(TodayItemsTest, ListedItemsInTheirOrder) {
    AddItem(u"Calendar", u"", 2, 1, 1);  // a built-in item: not ours to load
    AddItem(u"Quorvel SMS Phone", u"/opt/q/libQVLDialerToday.so", 4, 5, 1);
    AddItem(u"Tasks", u"libtasks.so", 4, 0, 0);  // switched off: listed as such
    AddItem(u"Broken", u"", 4, 2, 1);            // no library
    AddItem(u"Weather", u"/opt/w/libweather.so", 4, 5, std::nullopt);  // same order: by name
    AddItem(u"Notes", u"/opt/n/libnotes.so", 4, std::nullopt, 1);
    const std::vector<ItemEntry> items = ReadItems();
    std::vector<std::u16string> names;
    for (const auto& e : items) {
        names.push_back(e.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u"Notes", u"Tasks", u"Quorvel SMS Phone", u"Weather"}));
    EXPECT_FALSE(items[1].enabled);
    EXPECT_TRUE(items[3].enabled);
    EXPECT_EQ(items[2].dll, u"/opt/q/libQVLDialerToday.so");
}

TEST_F(TodayItemsTest, NoItemsKey) {
    EXPECT_TRUE(ReadItems().empty());
}

TEST_F(TodayItemsTest, LibrariesThatCannotBeItems) {
    struct Row {
        const char* name;
        std::u16string dll;
        std::u16string itemName;
        const char* problemPart;
    };
    const std::vector<Row> rows = {
        {"missing_file", u"/nonexistent-qvl/libitem.so", u"X", "cannot be loaded"},
        {"no_entry", u"" QVL_FAKE_NOENTRY_FILE, u"X", "no entry InitializeCustomItem"},
        {"not_a_library", u"/etc/passwd", u"X", "cannot be loaded"},
        {"empty_path", u"", u"X", "empty or too long"},
        {"path_too_long", std::u16string(260, u'a'), u"X", "empty or too long"},
        {"name_too_long", u"" QVL_FAKE_ITEM_FILE, std::u16string(32, u'n'), "empty or too long"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ItemEntry e;
        e.name = r.itemName;
        e.dll = r.dll;
        std::string problem;
        EXPECT_EQ(LoadedItem::Load(e, "/tmp", problem), nullptr);
        EXPECT_NE(problem.find(r.problemPart), std::string::npos) << problem;
    }
}

// The library really goes on unload (its own variables start again on the next load), and a
// disabled item makes no window.
TEST_F(TodayItemsTest, UnloadAndReloadGiveAFreshLibrary) {
    int parent = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::string problem;
        auto item = LoadedItem::Load(FakeEntry(), "/tmp", problem);
        ASSERT_NE(item, nullptr) << problem;
        EXPECT_TRUE(LibraryLoaded(QVL_FAKE_ITEM_FILE));
        EXPECT_EQ(item->Descriptor().order, 3u);
        EXPECT_EQ(std::u16string(item->Descriptor().name), u"Fake");
        EXPECT_EQ(item->Descriptor().height, 0u);
        void* handle = item->Descriptor().library;
        auto calls = reinterpret_cast<int (*)()>(::dlsym(handle, "FakeItemInitializations"));
        auto parentOf = reinterpret_cast<void* (*)(void*)>(::dlsym(handle, "FakeItemParent"));
        auto destroy = reinterpret_cast<void (*)(void*)>(::dlsym(handle, "FakeItemDestroy"));
        ASSERT_TRUE(calls && parentOf && destroy);
        EXPECT_EQ(calls(), 0);
        void* window = item->Initialize(&parent);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(item->Descriptor().window, window);
        EXPECT_EQ(parentOf(window), &parent);
        EXPECT_EQ(calls(), 1);
        destroy(window);
        item.reset();
        EXPECT_FALSE(LibraryLoaded(QVL_FAKE_ITEM_FILE));
    }
    std::string problem;
    auto disabled = LoadedItem::Load(FakeEntry(false), "/tmp", problem);
    ASSERT_NE(disabled, nullptr);
    EXPECT_EQ(disabled->Initialize(&parent), nullptr);
    EXPECT_EQ(disabled->Descriptor().window, nullptr);
}

TEST_F(TodayItemsTest, RelativeLibraryIsTakenBesideTheProgram) {
    const std::string file = QVL_FAKE_ITEM_FILE;
    const std::string dir = file.substr(0, file.rfind('/'));
    ItemEntry e = FakeEntry();
    e.dll = Utf8ToWide(file.substr(file.rfind('/') + 1));
    std::string problem;
    auto item = LoadedItem::Load(e, dir, problem);
    ASSERT_NE(item, nullptr) << problem;
    EXPECT_EQ(item->LibraryPath(), file);
}

// ---- the tap ------------------------------------------------------------------------------

class FakeMessenger final : public IWindowMessenger {
  public:
    bool FindWindow(std::u16string_view name) override {
        return windows.count(std::u16string(name));
    }
    bool SendWindowMessage(std::u16string_view, std::uint32_t, std::int64_t, std::int64_t,
                           std::int64_t*) override {
        ++blockingSends;
        return false;
    }
    bool PostWindowMessage(std::u16string_view name, std::uint32_t message, std::int64_t wParam,
                           std::int64_t lParam) override {
        if (!FindWindow(name) || refusePosts) {
            return false;
        }
        posted.push_back({std::u16string(name), message, wParam, lParam});
        return true;
    }
    struct Post {
        std::u16string name;
        std::uint32_t message;
        std::int64_t wParam, lParam;
    };
    std::map<std::u16string, bool> windows;
    std::vector<Post> posted;
    int blockingSends = 0;
    bool refusePosts = false;
};

class FakeStarter final : public IProgramStarter {
  public:
    std::optional<pid_t> Start(const std::string& path,
                               const std::vector<std::string>& args) override {
        starts.push_back(path);
        argCounts.push_back(args.size());
        if (fail) {
            return std::nullopt;
        }
        running[nextPid] = true;
        return nextPid++;
    }
    bool Running(pid_t pid) override { return running[pid]; }
    std::vector<std::string> starts;
    std::vector<std::size_t> argCounts;
    std::map<pid_t, bool> running;
    pid_t nextPid = 100;
    bool fail = false;
};

struct TapFixture {
    FakeMessenger messenger;
    FakeStarter starter;
    bool installed = true;
    MainProgramActivator activator{messenger, starter, u"QVL SMS/Phone",
                                   [this](std::u16string& path) {
                                       path = u"/opt/q/Parlino";
                                       return installed;
                                   }};
};

TEST(TodayTapTest, RunningProgramGetsOnePostedRequest) {
    TapFixture f;
    f.messenger.windows[u"QVL SMS/Phone"] = true;
    EXPECT_EQ(f.activator.Activate(), Activation::Posted);
    ASSERT_EQ(f.messenger.posted.size(), 1u);
    EXPECT_EQ(f.messenger.posted[0].message, 1224u);
    EXPECT_EQ(f.messenger.posted[0].wParam, 0);
    EXPECT_EQ(f.messenger.posted[0].lParam, 0);
    EXPECT_EQ(f.messenger.blockingSends, 0);
    EXPECT_TRUE(f.starter.starts.empty());
    f.messenger.refusePosts = true;
    EXPECT_EQ(f.activator.Activate(), Activation::Failed);
}

// A second tap while the started program is still coming up starts nothing; once it has
// ended without showing a window, a tap starts it again; once its window is up, taps post.
TEST(TodayTapTest, DoubleTapStartsOneCopy) {
    TapFixture f;
    EXPECT_EQ(f.activator.Activate(), Activation::Started);
    EXPECT_EQ(f.activator.Activate(), Activation::AlreadyStarting);
    EXPECT_EQ(f.activator.Activate(), Activation::AlreadyStarting);
    ASSERT_EQ(f.starter.starts, std::vector<std::string>{"/opt/q/Parlino"});
    EXPECT_EQ(f.starter.argCounts, std::vector<std::size_t>{0});
    f.starter.running[100] = false;
    EXPECT_EQ(f.activator.Activate(), Activation::Started);
    EXPECT_EQ(f.starter.starts.size(), 2u);
    f.messenger.windows[u"QVL SMS/Phone"] = true;
    EXPECT_EQ(f.activator.Activate(), Activation::Posted);
    EXPECT_EQ(f.starter.starts.size(), 2u);
    EXPECT_TRUE(f.messenger.posted.size() == 1u);
}

TEST(TodayTapTest, NothingToStart) {
    TapFixture f;
    f.installed = false;
    EXPECT_EQ(f.activator.Activate(), Activation::NotInstalled);
    EXPECT_TRUE(f.starter.starts.empty());
    f.installed = true;
    f.starter.fail = true;
    EXPECT_EQ(f.activator.Activate(), Activation::Failed);
    // A failed start is not a start under way: the next tap tries again.
    EXPECT_EQ(f.activator.Activate(), Activation::Failed);
    EXPECT_EQ(f.starter.starts.size(), 2u);
}

}  // namespace
}  // namespace qvl::today
