// Load and save of a store of 100,000 messages, next to copying the same file in the same run:
// with cp (started with argv, no shell) and with an in-process copy that also syncs, as Save
// does. Prints the times and the ratios. Usage: bench_record_store [messages] [folder]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/sms/store/recordstore.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool RunCp(const std::string& from, const std::string& to) {
    std::string prog = "cp";
    std::vector<char*> argv{prog.data(), const_cast<char*>(from.c_str()), const_cast<char*>(to.c_str()),
                            nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool CopyWithSync(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY);
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0) {
        return false;
    }
    std::vector<char> buf(1 << 20);
    ssize_t n;
    while ((n = read(in, buf.data(), buf.size())) > 0) {
        if (write(out, buf.data(), static_cast<std::size_t>(n)) != n) {
            return false;
        }
    }
    fsync(out);
    close(in);
    close(out);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    char pattern[] = "/tmp/qvl-store-bench-XXXXXX";
    const std::string dir = argc > 2 ? std::string(argv[2]) : std::string(mkdtemp(pattern));
    const std::string path = dir + "/QVLPhoneSMS.dat";

    qvl::sms::CRecordStore store;
    for (int i = 0; i < count; ++i) {
        qvl::sms::SmsRecord m;
        m.folder = i % 4;
        m.number = u"+49170" + std::u16string(std::to_string(1000000 + i).begin(),
                                              std::to_string(1000000 + i).end());
        m.time = u"24/12/04,18:30:05,GMT+1";
        m.text = u"Message number " + m.number + u": " + std::u16string(static_cast<std::size_t>(i % 140), u'x');
        store.Append(std::move(m));
    }
    store.Save(path);  // warm up, and the file the copies start from

    const int rounds = 3;
    double save = 1e9, load = 1e9, loadCpu = 1e9, cp = 1e9, copySync = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto t = Clock::now();
        store.Save(path);
        save = std::min(save, Seconds(t));
        qvl::sms::CRecordStore loaded;
        t = Clock::now();
        const double c = CpuNow();
        loaded.Load(path);
        load = std::min(load, Seconds(t));
        loadCpu = std::min(loadCpu, CpuNow() - c);
        if (loaded.Count(qvl::sms::RecordType::kMessage) != count) {
            std::fprintf(stderr, "load lost messages\n");
            return 1;
        }
        t = Clock::now();
        RunCp(path, dir + "/copy.dat");
        cp = std::min(cp, Seconds(t));
        t = Clock::now();
        CopyWithSync(path, dir + "/copy2.dat");
        copySync = std::min(copySync, Seconds(t));
    }
    const auto bytes = std::filesystem::file_size(path);
    std::printf("messages %d, file %.1f MB (best of %d)\n", count, bytes / 1e6, rounds);
    std::printf("load  %8.1f ms   %.2f x cp (CPU %.1f ms)\n", load * 1e3, load / cp, loadCpu * 1e3);
    std::printf("save  %8.1f ms   %.2f x cp, %.2f x copy with fsync\n", save * 1e3, save / cp,
                save / copySync);
    std::printf("cp    %8.1f ms\ncopy with fsync %8.1f ms\n", cp * 1e3, copySync * 1e3);
    if (argc <= 2) {
        std::filesystem::remove_all(dir);
    }
    return 0;
}
