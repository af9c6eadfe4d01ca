// Record files that cannot be read whole: nothing that was not read is ever written over.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/store/tests/testutil.h"

namespace qvl::sms {
namespace {

using testing::Bytes;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

SmsRecord Message(std::u16string number, std::u16string text, std::int32_t folder = 0) {
    SmsRecord m;
    m.folder = folder;
    m.number = std::move(number);
    m.text = std::move(text);
    return m;
}

// Three messages; the first ends at kFirstEnd.
std::vector<std::uint8_t> ThreeMessages() {
    CRecordStore store;
    store.Append(Message(u"+491", u"first"));
    store.Append(Message(u"+492", u"second"));
    store.Append(Message(u"+493", u"third"));
    return store.Serialize();
}
constexpr std::size_t kFirstEnd = 8 + 4 + 664 + 2 * 6;

std::vector<std::string> CopiesBeside(const TempHome& home) {
    std::vector<std::string> copies;
    for (const auto& e : std::filesystem::directory_iterator(home.Dir())) {
        if (e.path().filename().string().find(".corrupt-") != std::string::npos) {
            copies.push_back(e.path().string());
        }
    }
    return copies;
}

std::string CopyNameOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    char stamp[32];
    struct tm tmv {};
    const time_t t = st.st_mtim.tv_sec;
    gmtime_r(&t, &tmv);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tmv);
    return path + ".corrupt-" + stamp;
}

// The fault this guards against: one failed load followed by "Save in Drafts" left a store
// holding the one new message.
TEST(FailedLoad, SaveInDraftsNeverLosesWhatTheLoadCouldNotRead) {
    const auto full = ThreeMessages();
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } rows[] = {
        {"newer_version",
         [&] {
             auto b = full;
             b[4] = 2;
             return b;
         }()},
        {"damage_in_the_middle",
         [&] {
             auto b = full;
             b[kFirstEnd] = 9;  // an unknown tag where the second message starts
             return b;
         }()},
        {"cut_short", std::vector<std::uint8_t>(full.begin(), full.end() - 3)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TempHome home;
        WriteFile(SmsStorePath(), r.bytes);
        SaveMessageInFile(u"+499", u"draft", kFolderDrafts);
        // Every octet of the old file is still on disk: in place, or in the copy kept aside.
        bool kept = ReadFile(SmsStorePath()) == r.bytes;
        for (const auto& copy : CopiesBeside(home)) {
            kept = kept || ReadFile(copy) == r.bytes;
        }
        EXPECT_TRUE(kept);
    }
}

TEST(FailedLoad, EachKindIsRememberedToldOnceAndKeptFromBeingWrittenOver) {
    const auto full = ThreeMessages();
    enum class Make { kBytes, kFifo, kFolder };
    struct Row {
        const char* name;
        Make make;
        std::vector<std::uint8_t> bytes;
        bool blockCopy;  // a folder stands where the copy would go
        LoadStatus status;
        int recordsRead;
        bool canSave;
        StoreProblem::Kind told;
    } rows[] = {
        {"fifo",
         Make::kFifo,
         {},
         false,
         LoadStatus::kCannotOpen,
         0,
         false,
         StoreProblem::Kind::kCannotOpen},
        {"folder",
         Make::kFolder,
         {},
         false,
         LoadStatus::kCannotOpen,
         0,
         false,
         StoreProblem::Kind::kCannotOpen},
        {"newer_version", Make::kBytes, Bytes().U32(0).U32(2).U32(1).Get(), false,
         LoadStatus::kNewerVersion, 0, false, StoreProblem::Kind::kNewerVersion},
        {"damage_in_the_middle", Make::kBytes,
         [&] {
             auto b = full;
             b[kFirstEnd] = 9;
             return b;
         }(),
         false, LoadStatus::kDamaged, 1, true, StoreProblem::Kind::kDamaged},
        {"cut_short", Make::kBytes, std::vector<std::uint8_t>(full.begin(), full.end() - 3), false,
         LoadStatus::kDamaged, 2, true, StoreProblem::Kind::kDamaged},
        {"damaged_and_no_copy_possible", Make::kBytes,
         std::vector<std::uint8_t>(full.begin(), full.end() - 3), true, LoadStatus::kDamaged, 2,
         false, StoreProblem::Kind::kDamaged},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TempHome home;
        const std::string path = SmsStorePath();
        switch (r.make) {
            case Make::kBytes:
                WriteFile(path, r.bytes);
                break;
            case Make::kFifo:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                break;
            case Make::kFolder:
                std::filesystem::create_directory(path);
                break;
        }
        if (r.blockCopy) {
            std::filesystem::create_directory(CopyNameOf(path));
        }
        TakeStoreProblems();

        CRecordStore store;
        EXPECT_FALSE(store.Load(path));
        EXPECT_EQ(store.LastLoadStatus(), r.status);
        EXPECT_EQ(store.Count(RecordType::kMessage), r.recordsRead);
        EXPECT_EQ(store.CanSave(path), r.canSave);
        EXPECT_TRUE(store.CanSave(home.File("other.dat")));
        auto problems = TakeStoreProblems();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].kind, r.told);
        EXPECT_EQ(problems[0].path, path);
        if (r.told == StoreProblem::Kind::kDamaged) {
            EXPECT_EQ(problems[0].recordsKept, r.recordsRead);
            EXPECT_EQ(problems[0].copyPath.empty(), r.blockCopy);
        } else if (r.told == StoreProblem::Kind::kCannotOpen) {
            EXPECT_FALSE(problems[0].reason.empty());
        }
        // Loaded again by the next screen: not told again.
        CRecordStore again;
        again.Load(path);
        EXPECT_TRUE(TakeStoreProblems().empty());

        EXPECT_EQ(SaveMessageInFile(u"+499", u"draft", kFolderDrafts), r.canSave);
        problems = TakeStoreProblems();
        if (!r.canSave) {
            // The change is refused, and the user learns that it was not kept.
            ASSERT_EQ(problems.size(), 1u);
            EXPECT_EQ(problems[0].kind, StoreProblem::Kind::kNotSaved);
            if (r.make == Make::kBytes) {
                EXPECT_EQ(ReadFile(path), r.bytes);
            } else {
                EXPECT_FALSE(std::filesystem::is_regular_file(path));
            }
            continue;
        }
        // Damaged: the whole file was kept aside first; the store now holds what was read and
        // the new message, and loads cleanly.
        EXPECT_TRUE(problems.empty());
        const auto copies = CopiesBeside(home);
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(ReadFile(copies[0]), r.bytes);
        CRecordStore healed;
        EXPECT_TRUE(healed.Load(path));
        EXPECT_EQ(healed.Count(RecordType::kMessage), r.recordsRead + 1);
    }
}

TEST(FailedLoad, FoldersAndMessagesChangeTogetherOrNotAtAll) {
    TempHome home;
    ASSERT_EQ(AddFolderFile(u"Work"), 4);
    ASSERT_TRUE(SaveMessageInFile(u"+491", u"filed", 4));
    const auto folders = ReadFile(FolderStorePath());
    auto newer = ReadFile(SmsStorePath());
    newer[4] = 2;
    WriteFile(SmsStorePath(), newer);
    EXPECT_EQ(DeleteFolderFile(4), -1);
    EXPECT_EQ(ReadFile(FolderStorePath()), folders);
    EXPECT_EQ(ReadFile(SmsStorePath()), newer);
    EXPECT_EQ(AddFolderFile(u""), -1);  // nothing to do
    TakeStoreProblems();
}

// Another program cuts the file short while it is being read: with the file mapped this was a
// SIGBUS; read into memory it is a short, damaged read.
TEST(FailedLoad, FileCutShortWhileBeingReadGivesADamagedStoreNotAFault) {
    TempHome home;
    const std::string path = home.File("QVLPhoneSMS.dat");
    CRecordStore big;
    for (int i = 0; i < 3000; ++i) {
        big.Append(Message(u"+49170", u"message " +
                                          std::u16string(static_cast<std::size_t>(i % 97), u'x') +
                                          static_cast<char16_t>(u'0' + i % 10) +
                                          static_cast<char16_t>(u'a' + i / 10 % 26) +
                                          static_cast<char16_t>(u'A' + i / 260 % 26)));
    }
    const auto bytes = big.Serialize();
    WriteFile(path, bytes);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::atomic<bool> stop{false};
        std::thread cutter([&] {
            const int fd = ::open(path.c_str(), O_WRONLY);
            while (!stop) {
                (void)::ftruncate(fd, static_cast<off_t>(bytes.size() / 3));
                (void)::pwrite(fd, bytes.data(), bytes.size(), 0);
            }
            ::close(fd);
        });
        int bad = 0;
        for (int i = 0; i < 60; ++i) {
            CRecordStore s;
            const bool whole = s.Load(path);
            const int n = s.Count(RecordType::kMessage);
            bad += (whole && n != 3000) || (!whole && n >= 3000) ? 1 : 0;
        }
        stop = true;
        cutter.join();
        ::_exit(bad == 0 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    TakeStoreProblems();
}

}  // namespace
}  // namespace qvl::sms
