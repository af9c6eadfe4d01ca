#include "app/contacts/callernames.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/engine/testing/scriptedengine.h"
#include "platform/tests/test_home.h"

namespace qvl {
namespace {

using qvl::testing::Esc;

class CallerNamesTest : public qvl::testing::TestHome {};

TEST_F(CallerNamesTest, HomeRegionFromTheSimThenLookupWithoutTheModem) {
    qvl::testing::ScriptedEngine scripted;
    scripted.io.On(u"AT+CIMI", {Esc("AT+CIMI\r\r\n262011234567890\r\n\r\nOK\r\n")});
    ASSERT_TRUE(scripted.StartReady());
    ::setenv("LC_ALL", "fr_FR.UTF-8", 1);  // the SIM's country wins over the locale's
    const int mcc = ReadSimCountryCode(*scripted.engine);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(mcc, 262);

    const std::string folder = Home() + "/cards";
    WriteText(folder + "/a.vcf",
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Bea;;;\r\nTEL;TYPE=CELL:0171 2223334\r\n"
              "END:VCARD\r\n");
    CallerNames names(folder);
    names.SetSimCountryCode(mcc);
    EXPECT_EQ(names.Region(), "DE");
    int simReads = 0;
    names.SetSimBook([&simReads] {
        ++simReads;
        return std::vector<NamedNumber>{{u"Zero", u"0"}, {u"Anna", u"+49301234567"}};
    });
    scripted.io.written.clear();
    EXPECT_EQ(names.Lookup(u"0301234567"), u"Anna");
    EXPECT_EQ(names.Lookup(u"+491712223334"), u"Bea Berg");
    EXPECT_EQ(names.Lookup(u"+491710000000"), u"");
    EXPECT_EQ(simReads, 3);
    EXPECT_TRUE(scripted.io.written.empty());  // nothing was sent to the modem

    scripted.io.On(u"AT+CIMI", {Esc("AT+CIMI\r\r\n+CME ERROR: 10\r\n")});
    EXPECT_EQ(ReadSimCountryCode(*scripted.engine), -1);
}

}  // namespace
}  // namespace qvl
