#include "connmgrplus/guid.h"

#include <gtest/gtest.h>

#include <set>

namespace qvl {
namespace {

TEST(GuidTest, TextFormOfTheRegistry) {
    std::array<std::uint8_t, 16> octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) {
        octets[i] = static_cast<std::uint8_t>(0x10 * i + 0x0A);
    }
    EXPECT_EQ(GuidText(octets), u"{0A1A2A3A-4A5A-6A7A-8A9A-AABACADAEAFA}");
}

TEST(GuidTest, FromTheRandomSourceVersionFourAndUnique) {
    std::set<std::u16string> seen;
    for (int i = 0; i < 2000; ++i) {
        const std::u16string guid = MakeGuidString();
        ASSERT_EQ(guid.size(), 38u);
        for (std::size_t at : {9u, 14u, 19u, 24u}) {
            EXPECT_EQ(guid[at], u'-');
        }
        for (const char16_t c : guid) {
            EXPECT_TRUE(c == u'{' || c == u'}' || c == u'-' || (c >= u'0' && c <= u'9') ||
                        (c >= u'A' && c <= u'F'))
                << "upper-case hexadecimal";
        }
        EXPECT_EQ(guid[15], u'4');
        EXPECT_TRUE(guid[20] == u'8' || guid[20] == u'9' || guid[20] == u'A' || guid[20] == u'B');
        EXPECT_TRUE(seen.insert(guid).second);
    }
}

}  // namespace
}  // namespace qvl
