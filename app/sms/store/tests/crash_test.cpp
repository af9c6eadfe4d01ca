// Crash safety of Save: a child saves two different stores in turn and is killed at random
// instants; the file then always loads completely as one of the two.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "app/sms/store/recordstore.h"
#include "app/sms/store/tests/testutil.h"

namespace qvl::sms {
namespace {

using testing::ReadFile;
using testing::TempHome;

void Fill(CRecordStore& store, int messages, const std::u16string& tag) {
    for (int i = 0; i < messages; ++i) {
        SmsRecord m;
        m.number = u"+4917" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
        const std::string n = std::to_string(i);
        m.text = tag + u" message " + std::u16string(n.begin(), n.end()) +
                 std::u16string(static_cast<std::size_t>(i % 300), u'x');
        m.time = u"24/12/04,18:30:05,GMT+1";
        m.folder = i % 4;
        store.Append(m);
    }
}

TEST(CrashSafety, KilledSaverLeavesOldOrNewFile) {
    TempHome home;
    const std::string path = home.File("QVLPhoneSMS.dat");
    CRecordStore a;
    CRecordStore b;
    Fill(a, 2000, u"A");
    Fill(b, 2500, u"B");
    const auto bytesA = a.Serialize();
    const auto bytesB = b.Serialize();
    ASSERT_TRUE(a.Save(path));

    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> delayUs(200, 40000);
    int sawA = 0;
    int sawB = 0;
    for (int round = 0; round < 25; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                a.Save(path);
                b.Save(path);
            }
        }
        ::usleep(static_cast<useconds_t>(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const auto bytes = ReadFile(path);
        const bool isA = bytes == bytesA;
        const bool isB = bytes == bytesB;
        ASSERT_TRUE(isA || isB) << "round " << round << ": " << bytes.size() << " octets";
        sawA += isA ? 1 : 0;
        sawB += isB ? 1 : 0;
        CRecordStore loaded;
        ASSERT_TRUE(loaded.Load(path));
        EXPECT_EQ(loaded.Count(RecordType::kMessage), isA ? 2000 : 2500);
    }
    EXPECT_GT(sawA + sawB, 0);
}

}  // namespace
}  // namespace qvl::sms
