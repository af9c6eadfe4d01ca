// The D-Bus message layer on the private session bus that scripts/test.sh starts: a window
// published on one connection (in its own thread, with its own event loop) is found and sent
// messages from another connection, as between two programs of the suite.
#include "platform/ipc/ipc_dbus.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEventLoop>
#include <QtCore/QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qvl {
namespace {

struct Received {
    std::uint32_t message;
    std::int64_t wParam;
    std::int64_t lParam;
};

// Runs a publisher in a thread of its own until Stop. With a gate, the handler holds every
// message until the gate opens (a program that is busy).
class PublisherThread {
  public:
    PublisherThread(std::u16string name, std::string connection,
                    std::shared_future<void> gate = {}) {
        std::promise<std::string> published;
        auto result = published.get_future();
        m_thread.reset(QThread::create([this, name, connection, gate, &published] {
            DbusWindowPublisher publisher(
                name,
                [this, gate](std::uint32_t m, std::int64_t w, std::int64_t l) {
                    if (gate.valid()) {
                        gate.wait_for(std::chrono::seconds(60));
                    }
                    std::lock_guard lock(m_mutex);
                    m_received.push_back({m, w, l});
                    m_arrived.notify_all();
                    return w + l;
                },
                connection);
            const bool ok = publisher.Publish();
            published.set_value(ok ? std::string() : publisher.Problem() + " ");
            if (ok) {
                QEventLoop loop;
                loop.exec();
            }
        }));
        m_thread->start();
        m_problem = result.get();
    }
    ~PublisherThread() {
        m_thread->quit();
        m_thread->wait();
    }
    const std::string& Problem() const { return m_problem; }
    std::vector<Received> ReceivedMessages() {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    // Waits (with a generous limit) until count messages have been handled.
    bool WaitForMessages(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, std::chrono::seconds(60),
                                  [&] { return m_received.size() >= count; });
    }

  private:
    std::unique_ptr<QThread> m_thread;
    std::string m_problem;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Received> m_received;
};

class DbusIpcTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "qvl_ipc_dbus_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) {
            s_app = new QCoreApplication(argc, argv);
        }
    }
    void SetUp() override {
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (bus == nullptr || *bus == '\0') {
            GTEST_SKIP() << "no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is not set; "
                            "scripts/test.sh starts a private one)";
        }
    }
    // A name of this test run only, so that parallel runs on one bus do not meet.
    static std::u16string UniqueName(const char* base) {
        const std::string n = std::string(base) + std::to_string(::getpid());
        return std::u16string(n.begin(), n.end());
    }
    static inline QCoreApplication* s_app = nullptr;
};

TEST_F(DbusIpcTest, PublishedWindowIsFoundAndReceivesMessages) {
    const std::u16string name = UniqueName("QVLDialerTodayTest");
    PublisherThread today(name, "qvl-test-publisher");
    ASSERT_EQ(today.Problem(), "");

    DbusWindowMessenger messenger("qvl-test-sender");
    ASSERT_TRUE(messenger.Connected());
    EXPECT_TRUE(messenger.FindWindow(name));
    std::int64_t result = 0;
    EXPECT_TRUE(messenger.SendWindowMessage(name, 1324, 1, 41, &result));
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(messenger.SendWindowMessage(name, 1324, 0, -7));
    const auto received = today.ReceivedMessages();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, 1324u);
    EXPECT_EQ(received[0].wParam, 1);
    EXPECT_EQ(received[0].lParam, 41);
    EXPECT_EQ(received[1].lParam, -7);
}

// A posted message is on its way before the window's handler has even started: the sender
// does not wait for a program that is busy (the handler here holds it until after the post
// returned; a blocking send would run into its time-out and fail).
TEST_F(DbusIpcTest, PostedMessageDoesNotWaitForABusyWindow) {
    const std::u16string name = UniqueName("BusyWindow");
    std::promise<void> open;
    PublisherThread busy(name, "qvl-test-busy", open.get_future().share());
    ASSERT_EQ(busy.Problem(), "");
    DbusWindowMessenger messenger("qvl-test-poster");
    messenger.SetCallTimeoutMs(2000);
    EXPECT_TRUE(messenger.PostWindowMessage(name, 1224, 0, 0));
    EXPECT_TRUE(messenger.PostWindowMessage(name, 1224, 5, 6));
    open.set_value();
    ASSERT_TRUE(busy.WaitForMessages(2));
    const auto received = busy.ReceivedMessages();
    EXPECT_EQ(received[0].message, 1224u);
    EXPECT_EQ(received[1].wParam, 5);
    EXPECT_EQ(received[1].lParam, 6);
}

TEST_F(DbusIpcTest, AbsentWindowIsNotFoundAndNothingIsSent) {
    DbusWindowMessenger messenger("qvl-test-sender-2");
    const std::u16string name = UniqueName("NoSuchWindow");
    EXPECT_FALSE(messenger.FindWindow(name));
    std::int64_t result = 99;
    EXPECT_FALSE(messenger.SendWindowMessage(name, 1324, 1, 1, &result));
    EXPECT_EQ(result, 99);
}

TEST_F(DbusIpcTest, SecondPublisherOfOneNameIsRefused) {
    const std::u16string name = UniqueName("OnlyOnce");
    PublisherThread first(name, "qvl-test-first");
    ASSERT_EQ(first.Problem(), "");
    PublisherThread second(name, "qvl-test-second");
    EXPECT_NE(second.Problem(), "");
}

TEST(WindowBusNameTest, NamesBecomeValidBusNames) {
    EXPECT_EQ(WindowBusName(u"QVLDialerToday"), "org.quorvel.phone.QVLDialerToday");
    EXPECT_EQ(WindowBusName(u"a-b c.d"), "org.quorvel.phone.a_b_c_d");
    EXPECT_EQ(WindowBusName(u"9lives"), "org.quorvel.phone._lives");
    EXPECT_EQ(WindowBusName(u""), "org.quorvel.phone._");
}

TEST(NullWindowMessengerTest, FindsNothing) {
    NullWindowMessenger none;
    EXPECT_FALSE(none.FindWindow(u"QVLDialerToday"));
    EXPECT_FALSE(none.SendWindowMessage(u"QVLDialerToday", 1324, 1, 1, nullptr));
    EXPECT_FALSE(none.PostWindowMessage(u"QVLDialerToday", 1324, 1, 1));
}

}  // namespace
}  // namespace qvl
