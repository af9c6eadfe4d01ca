#include "platform/atomicfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "platform/tests/test_home.h"

namespace qvl {
namespace {

class AtomicFileTest : public testing::TestHome {
  protected:
    std::string Path(const std::string& name) const { return Home() + "/" + name; }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Home())) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }
};

TEST_F(AtomicFileTest, ReplacesWithOrWithoutBackupAndSetsTheMode) {
    struct Row {
        const char* label;
        bool existing;
        KeepBackup backup;
        mode_t mode;
        bool wantBak;
    } rows[] = {
        {"new_file", false, KeepBackup::Yes, kPrivateFileMode, false},
        {"replace_keeping_backup", true, KeepBackup::Yes, kPrivateFileMode, true},
        {"replace_without_backup", true, KeepBackup::No, kPrivateFileMode, false},
        {"shared_mode", true, KeepBackup::No, 0644, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.label);
        const std::string target = Path(std::string(r.label) + ".dat");
        if (r.existing) {
            WriteText(target, "old content");
            ::chmod(target.c_str(), 0666);
        }
        std::string error;
        ASSERT_TRUE(ReplaceFileAtomically(target, "new content", r.backup, r.mode, &error))
            << error;
        EXPECT_EQ(error, "");
        EXPECT_EQ(ReadText(target), "new content");
        EXPECT_EQ(ModeOf(target), r.mode);
        EXPECT_EQ(std::filesystem::exists(target + ".bak"), r.wantBak);
        if (r.wantBak) {
            EXPECT_EQ(ReadText(target + ".bak"), "old content");
            // A second replacement moves the backup on by one generation.
            ASSERT_TRUE(ReplaceFileAtomically(target, "third", KeepBackup::Yes));
            EXPECT_EQ(ReadText(target + ".bak"), "new content");
            EXPECT_EQ(ModeOf(target + ".bak"), kPrivateFileMode);
        }
    }
    // Nothing but targets and backups remains.
    for (const auto& name : Entries()) {
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
    }
}

// A save killed right after its backup step leaves the backup and the target as two links to
// one file; the next save must still leave nothing behind.
TEST_F(AtomicFileTest, BackupThatAlreadyIsTheTargetLeavesNoLink) {
    const std::string target = Path("QVLPhoneSMS.dat");
    WriteText(target, "current");
    ASSERT_EQ(::link(target.c_str(), (target + ".bak").c_str()), 0);
    ASSERT_TRUE(ReplaceFileAtomically(target, "next", KeepBackup::Yes));
    EXPECT_EQ(ReadText(target), "next");
    EXPECT_EQ(ReadText(target + ".bak"), "current");
    EXPECT_EQ(Entries(), (std::set<std::string>{"QVLPhoneSMS.dat", "QVLPhoneSMS.dat.bak"}));
}

TEST_F(AtomicFileTest, FailuresLeaveTheTargetAndNoTemporaryFile) {
    // The folder does not exist: nothing can be created.
    std::string error;
    EXPECT_FALSE(ReplaceFileAtomically(Path("missing/x.dat"), "x", KeepBackup::No, kPrivateFileMode,
                                       &error));
    EXPECT_NE(error.find("creating a temporary file"), std::string::npos) << error;

    // The target is a folder: the rename fails and the folder stays as it was.
    const std::string folder = Path("folder.dat");
    std::filesystem::create_directories(folder + "/inside");
    EXPECT_FALSE(ReplaceFileAtomically(folder, "x", KeepBackup::No, kPrivateFileMode, &error));
    EXPECT_NE(error.find("renaming"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/inside"));

    // A writer given up before Commit leaves no file.
    {
        AtomicFile file(Path("abandoned.dat"));
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write(std::string_view("partial")));
    }
    EXPECT_EQ(Entries(), (std::set<std::string>{"folder.dat"}));
}

// A temporary file as an interrupted replacement by process pid leaves it.
std::string LeftBehind(const std::string& target, pid_t pid, const std::string& random) {
    return target + ".tmp-" + std::to_string(pid) + "-" + random;
}

pid_t DeadProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(AtomicFileTest, TheNextReplacementRemovesWhatInterruptedOnesLeft) {
    const std::string target = Path("QVLPhoneSMS.dat");
    WriteText(target, "current");
    const pid_t dead = DeadProcess();
    // Left by writers that no longer run: a dead process, and an earlier process that had our
    // own process id.
    WriteText(LeftBehind(target, dead, "a1b2c3"), "half");
    WriteText(LeftBehind(target + ".bak", dead, "zzzzzz"), "half a backup");
    WriteText(LeftBehind(target, ::getpid(), "q9q9q9"), "half");
    // Not left behind: files of other names, and the file of a writer still at work.
    WriteText(target + ".backup", "the user's own");
    WriteText(Path("QVLPhoneSMS.dat2.tmp-1-abcdef"), "another store's");
    WriteText(target + ".tmp-x-abcdef", "not a process id");
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(pipeFds[0]);
        const std::string name = LeftBehind(target, ::getpid(), "w0w0w0");
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ::flock(fd, LOCK_EX);
        const char ready = 'r';
        (void)::write(pipeFds[1], &ready, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char ready = 0;
    ASSERT_EQ(::read(pipeFds[0], &ready, 1), 1);
    ::close(pipeFds[0]);

    ASSERT_TRUE(ReplaceFileAtomically(target, "next", KeepBackup::Yes));
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);

    const std::set<std::string> want = {
        "QVLPhoneSMS.dat",
        "QVLPhoneSMS.dat.bak",
        "QVLPhoneSMS.dat.backup",
        "QVLPhoneSMS.dat2.tmp-1-abcdef",
        "QVLPhoneSMS.dat.tmp-x-abcdef",
        "QVLPhoneSMS.dat.tmp-" + std::to_string(writer) + "-w0w0w0",
    };
    EXPECT_EQ(Entries(), want);
    // Now that its writer is gone, that one goes too.
    EXPECT_EQ(RemoveStaleTemporaries(target), 1);
}

TEST_F(AtomicFileTest, DamagedCopyIsMadeOnceAndFromTheWholeFile) {
    const std::string file = Path("damaged.dat");
    std::string big(3 * 1024 * 1024 + 17, 'd');  // more than one copy slice
    big[12345] = 'X';
    WriteText(file, big);
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    std::string copy;
    ASSERT_TRUE(KeepDamagedCopy(file, fd, st, copy));
    EXPECT_NE(copy.find("damaged.dat.corrupt-"), std::string::npos);
    EXPECT_EQ(ReadText(copy), big);
    EXPECT_EQ(ModeOf(copy), kPrivateFileMode);
    std::string again;
    EXPECT_TRUE(KeepDamagedCopy(file, fd, st, again));  // already there
    EXPECT_EQ(again, copy);
    ::close(fd);
    EXPECT_EQ(Entries().size(), 2u);
}

}  // namespace
}  // namespace qvl
