// qvl-install: the install step of the suite. Run by "cmake --install" and by the run script
// from the build tree.
#include "tools/install/install.h"
#include "tools/install/systemfiles.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace qvl::install;
    std::vector<std::string> args(argv + 1, argv + argc);
    // The system part (run as root) is a step of its own: it writes nothing of the user's.
    if (!args.empty() && args[0] == "--system") {
        if (args.size() != 1 && !(args.size() == 3 && args[1] == "--system-root")) {
            std::fprintf(stderr, "usage: qvl-install --system [--system-root DIR]\n");
            return 2;
        }
        const SystemResult system = InstallSystemFiles(args.size() == 3 ? args[2] : "/");
        for (const auto& line : system.notes) {
            std::printf("qvl-install: %s\n", line.c_str());
        }
        if (!system.ok) {
            std::fprintf(stderr, "qvl-install: %s\n", system.error.c_str());
            return 1;
        }
        return 0;
    }
    std::string error;
    const auto options = ParseArgs(args, SelfDir(), error);
    if (!options) {
        const bool help = error == "help";
        if (!help) {
            std::fprintf(stderr, "qvl-install: %s\n", error.c_str());
        }
        std::fprintf(help ? stdout : stderr,
                     "usage: qvl-install [--prefix-bin DIR] [--language 1-5] [--no-desktop]\n"
                     "       qvl-install --uninstall [--prefix-bin DIR]\n"
                     "       qvl-install --system [--system-root DIR]\n"
                     "  --prefix-bin DIR  folder holding the main program (default: this "
                     "program's folder)\n"
                     "  --language N      store the language choice (1 English, 2 German, "
                     "3 Italian, 4 Spanish, 5 French)\n"
                     "  --no-desktop      no autostart entry, no tel:/sms: and vCard handlers\n"
                     "  --uninstall       remove what the install step wrote (the user's\n"
                     "                    messages, contacts and settings stay)\n"
                     "  --system          as root: the pppd files for data calls (below DIR,\n"
                     "                    default /)\n"
                     "The device folder is $QVL_HOME, else $XDG_DATA_HOME/quorvel-phone.\n");
        return help ? 0 : 2;
    }
    const Result result = options->uninstall ? RunUninstall(*options) : RunInstall(*options);
    for (const auto& line : result.notes) {
        std::printf("qvl-install: %s\n", line.c_str());
    }
    if (!result.ok) {
        std::fprintf(stderr, "qvl-install: %s\n", result.error.c_str());
        return 1;
    }
    return 0;
}
