// Crash safety of the message store's save, as a program of its own:
//
//   qvl_store_crash_test [--kills N] [--messages M] [--seed S]
//
// A child process saves two different stores of M messages (default 10,000) in turn, without
// end, and is killed with SIGKILL at a random instant; this is repeated N times (default 100).
// After every kill the file, and its ".bak" copy, must load completely as one of the two
// stores, byte for byte. Temporary files a kill leaves behind must be gone after the next save.
// Exit status 0 when every round held, 1 otherwise; one line of figures is printed either way.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/sms/store/recordstore.h"

namespace {

using qvl::sms::CRecordStore;
using qvl::sms::RecordType;
using qvl::sms::SmsRecord;

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

void Fill(CRecordStore& store, int messages, const std::u16string& tag) {
    for (int i = 0; i < messages; ++i) {
        SmsRecord m;
        m.number = u"+4917" + Wide(std::to_string(1000000 + i % 5000));
        m.text = tag + u" message " + Wide(std::to_string(i)) + u" " +
                 std::u16string(static_cast<std::size_t>(i % 300), u'x');
        m.time = u"24/12/04,18:30:05,GMT+1";
        m.folder = i % 4;
        store.Append(std::move(m));
    }
}

int Temporaries(const std::string& dir, bool print = false) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const bool temp = e.path().filename().string().find(".tmp-") != std::string::npos;
        n += temp ? 1 : 0;
        if (temp && print) {
            std::fprintf(stderr, "left: %s\n", e.path().filename().c_str());
        }
    }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    int kills = 100;
    int messages = 10000;
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const long v = std::strtol(argv[i + 1], nullptr, 10);
        if (a == "--kills" && v > 0) {
            kills = static_cast<int>(v);
        } else if (a == "--messages" && v > 0) {
            messages = static_cast<int>(v);
        } else if (a == "--seed") {
            seed = static_cast<unsigned>(v);
        } else {
            std::fprintf(stderr, "usage: %s [--kills N] [--messages M] [--seed S]\n", argv[0]);
            return 2;
        }
    }
    char pattern[] = "/tmp/qvl-store-crash-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string dir = pattern;
    ::setenv("QVL_HOME", dir.c_str(), 1);
    const std::string path = dir + "/QVLPhoneSMS.dat";

    CRecordStore oldStore;
    CRecordStore newStore;
    Fill(oldStore, messages, u"old");
    Fill(newStore, messages, u"new");
    const auto oldBytes = oldStore.Serialize();
    const auto newBytes = newStore.Serialize();
    const auto start = std::chrono::steady_clock::now();
    if (!oldStore.Save(path) || !oldStore.Save(path)) {
        std::fprintf(stderr, "the first saves failed\n");
        return 2;
    }
    // Kills land anywhere within the time of about four saves, so every step of a save (the
    // temporary file, its writing, the fsync, the backup link, the rename) is hit.
    const auto saveUs = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count() /
                        2;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<long> delayUs(0, std::max<long>(4 * saveUs, 1000));

    int sawOld = 0;
    int sawNew = 0;
    int leftTemporaries = 0;
    int failures = 0;
    for (int round = 0; round < kills; ++round) {
        const pid_t child = ::fork();
        if (child < 0) {
            std::perror("fork");
            return 2;
        }
        if (child == 0) {
            for (;;) {
                newStore.Save(path);
                oldStore.Save(path);
            }
        }
        ::usleep(static_cast<useconds_t>(delayUs(rng)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        for (const std::string& file : {path, path + ".bak"}) {
            const auto bytes = ReadBytes(file);
            const bool isOld = bytes == oldBytes;
            const bool isNew = bytes == newBytes;
            CRecordStore loaded;
            const bool whole = loaded.Load(file) && loaded.Count(RecordType::kMessage) == messages;
            if (!(isOld || isNew) || !whole) {
                std::fprintf(stderr, "round %d: %s holds %zu octets, neither store\n", round,
                             file.c_str(), bytes.size());
                ++failures;
            }
            if (file == path) {
                sawOld += isOld ? 1 : 0;
                sawNew += isNew ? 1 : 0;
            }
        }
        leftTemporaries += Temporaries(dir);
    }
    // The next save removes what the killed saves left behind.
    const int beforeCleanSave = Temporaries(dir);
    const bool saved = oldStore.Save(path);
    const int afterCleanSave = Temporaries(dir, true);
    if (!saved || afterCleanSave != 0) {
        std::fprintf(stderr, "the save after the kills left %d temporary files\n", afterCleanSave);
        ++failures;
    }
    std::printf(
        "kills %d, messages %d, file %zu octets, save %.1f ms, seed %u: old content %d times, "
        "new content %d times, damaged %d; temporary files seen after kills %d, left before the "
        "next save %d, after it %d\n",
        kills, messages, oldBytes.size(), static_cast<double>(saveUs) / 1000.0, seed, sawOld,
        sawNew, failures, leftTemporaries, beforeCleanSave, afterCleanSave);
    std::fflush(stdout);
    std::filesystem::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
