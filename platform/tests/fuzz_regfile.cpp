// Any bytes as a hive file: parsing never crashes, and what the writer makes of the parsed
// content reads back without issues and unchanged.
#include "platform/registry_format.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qvl::regfile;
    const std::string text =
        DecodeRegBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    const ParseResult parsed = ParseRegText(text);
    for (qvl::RegRoot root : {qvl::RegRoot::LocalMachine, qvl::RegRoot::CurrentUser}) {
        Node tree;
        ApplyOps(tree, parsed.ops, root);
        const std::string written = SerializeHive(root, tree);
        const ParseResult again = ParseRegText(written);
        if (!again.issues.empty()) {
            std::abort();
        }
        Node reread;
        ApplyOps(reread, again.ops, root);
        if (SerializeHive(root, reread) != written) {
            std::abort();
        }
    }
    return 0;
}
