// tel: and sms: links as browsers and mail programs pass them, the contact menu, the hand-over
// to the phone, and reading a contact's file: nothing that is not a number the phone may use is
// ever handed on.
#include "pimplugin/links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>

#include "platform/registry.h"
#include "platform/tests/test_home.h"

namespace qvl::pim {
namespace {

TEST(LinksTest, TelAndSmsLinks) {
    struct Row {
        const char* name;
        const char* uri;
        bool ok;
        LinkAction action;
        std::u16string number;
        std::u16string body;
    };
    const std::vector<Row> rows = {
        {"global", "tel:+4930123456", true, LinkAction::Dial, u"+4930123456", u""},
        {"visual_separators", "tel:+49-30-123.456", true, LinkAction::Dial, u"+4930123456", u""},
        {"parentheses_escaped", "tel:%2B49%20(30)%20123456", true, LinkAction::Dial, u"+4930123456",
         u""},
        {"extension_and_context_left_out", "tel:7042;ext=12;phone-context=example.com", true,
         LinkAction::Dial, u"7042", u""},
        {"scheme_in_capitals", "TEL:0301", true, LinkAction::Dial, u"0301", u""},
        {"slashes_tolerated", "tel://0301", true, LinkAction::Dial, u"0301", u""},
        {"service_code", "tel:*31%23", true, LinkAction::Dial, u"*31#", u""},
        {"empty_number", "tel:", false, LinkAction::Dial, u"", u""},
        {"letters", "tel:1-800-FLOWERS", false, LinkAction::Dial, u"", u""},
        {"line_break_command", "tel:123%0D%0AAT+CMGD=1,4", false, LinkAction::Dial, u"", u""},
        {"semicolon_is_a_parameter", "tel:123;AT", true, LinkAction::Dial, u"123", u""},
        {"plus_not_first", "tel:49+30", false, LinkAction::Dial, u"", u""},
        {"other_scheme", "mailto:a@b.c", false, LinkAction::Dial, u"", u""},
        {"sms_with_body", "sms:+4930123456?body=Hi", true, LinkAction::Message, u"+4930123456",
         u"Hi"},
        {"sms_body_escaped_utf8", "sms:0301?body=Gr%C3%BC%C3%9Fe%20aus%0ABerlin+1", true,
         LinkAction::Message, u"0301", u"Gr\u00FC\u00DFe aus\nBerlin+1"},
        {"sms_first_of_several", "sms:+49301,+49302?body=x", true, LinkAction::Message, u"+49301",
         u"x"},
        {"sms_body_among_fields", "sms:0301?subject=s&BODY=b", true, LinkAction::Message, u"0301",
         u"b"},
        {"sms_without_recipient", "sms:?body=Hello", true, LinkAction::Message, u"", u"Hello"},
        {"sms_service_code_no_address", "sms:*100%23", false, LinkAction::Message, u"", u""},
        {"sms_line_break", "sms:0301%0AAT?body=x", false, LinkAction::Message, u"", u""},
        {"cut_escape_stays_text", "sms:0301?body=50%", true, LinkAction::Message, u"0301", u"50%"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const auto link = ParseLink(r.uri);
        ASSERT_EQ(link.has_value(), r.ok);
        if (link) {
            EXPECT_EQ(link->action, r.action);
            EXPECT_EQ(link->number, r.number);
            EXPECT_EQ(link->body, r.body);
        }
    }
    const std::string huge = "sms:0301?body=" + std::string(5000, 'a');
    EXPECT_EQ(ParseLink(huge)->body.size(), kMaxLinkBody);
}

ContactItem Contact(std::u16string work, std::u16string mobile, std::u16string home) {
    ContactItem c;
    c.Set(ContactProperty::BusinessTelephoneNumber, work);
    c.Set(ContactProperty::MobileTelephoneNumber, mobile);
    c.Set(ContactProperty::HomeTelephoneNumber, home);
    return c;
}

TEST(LinksTest, ContactMenus) {
    // Only a mobile number: dial entry, separator, SMS entry, commands 11 and 21.
    const auto mobile = ContactMenu(Contact(u"", u"(0170) 123 4567", u""), u"Dial ");
    ASSERT_EQ(mobile.size(), 3u);
    EXPECT_EQ(mobile[0].command, 11u);
    EXPECT_EQ(mobile[0].text, u"Dial (0170) 123 4567");
    EXPECT_EQ(mobile[0].number, u"01701234567");
    EXPECT_EQ(mobile[1].command, 0u);
    EXPECT_EQ(mobile[2].command, 21u);
    EXPECT_EQ(mobile[2].text, u"SMS (0170) 123 4567");
    // All three, in the order work, mobile, home; a number that is no number is left out.
    const auto all = ContactMenu(Contact(u"030 1", u"0170;ATH", u"+49 40 2"), u"W\u00E4hlen ");
    std::vector<std::uint32_t> commands;
    for (const auto& e : all) {
        commands.push_back(e.command);
    }
    EXPECT_EQ(commands, (std::vector<std::uint32_t>{10, 12, 0, 20, 22}));
    EXPECT_EQ(all[1].number, u"+49402");
    EXPECT_TRUE(ContactMenu(Contact(u"", u"", u""), u"Dial ").empty());
    EXPECT_TRUE(ContactMenu(Contact(u"n/a", u"", u""), u"Dial ").empty());
}

class RecordingMessenger final : public IWindowMessenger {
  public:
    bool FindWindow(std::u16string_view name) override {
        return windows.count(std::u16string(name));
    }
    bool SendWindowMessage(std::u16string_view, std::uint32_t, std::int64_t, std::int64_t,
                           std::int64_t*) override {
        ++blocking;
        return false;
    }
    bool PostWindowMessage(std::u16string_view name, std::uint32_t m, std::int64_t w,
                           std::int64_t) override {
        if (!FindWindow(name)) {
            return false;
        }
        posted.push_back({m, w});
        return true;
    }
    std::map<std::u16string, bool> windows;
    std::vector<std::pair<std::uint32_t, std::int64_t>> posted;
    int blocking = 0;
};

constexpr const char16_t* kPhone = u"QVL SMS/Phone";

class HandOverTest : public qvl::testing::TestHome {
  protected:
    static std::optional<std::u16string> Value(const char16_t* name) {
        return RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer").ReadString(name);
    }
};

TEST_F(HandOverTest, NumberAndBodyThenOnePostedRequest) {
    RecordingMessenger m;
    Link sms{LinkAction::Message, u"+4930123456", u"Hi"};
    EXPECT_FALSE(HandOver(m, std::u16string(kPhone),
                          &sms));  // no phone window: nothing written, nothing sent
    EXPECT_FALSE(Value(u"Number").has_value());
    m.windows[kPhone] = true;
    ASSERT_TRUE(HandOver(m, std::u16string(kPhone), &sms));
    EXPECT_EQ(Value(u"Number"), u"+4930123456");
    EXPECT_EQ(Value(u"Body"), u"Hi");
    Link dial{LinkAction::Dial, u"0301", u""};
    ASSERT_TRUE(HandOver(m, std::u16string(kPhone), &dial));
    EXPECT_EQ(Value(u"Number"), u"0301");
    EXPECT_FALSE(Value(u"Body").has_value());  // a dial leaves no text for a later message
    // Dismissed: the empty number, and nothing is asked.
    ASSERT_TRUE(HandOver(m, std::u16string(kPhone), nullptr));
    EXPECT_EQ(Value(u"Number"), u"");
    EXPECT_EQ(m.posted,
              (std::vector<std::pair<std::uint32_t, std::int64_t>>{{1124, 2}, {1124, 1}}));
    EXPECT_EQ(m.blocking, 0);
}

TEST_F(HandOverTest, ContactFiles) {
    const std::string card = Home() + "/anna.vcf";
    WriteText(card,
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nTEL;TYPE=CELL:(0170) 123 4567\r\n"
              "TEL;TYPE=WORK:030 1\r\nEND:VCARD\r\n");
    std::string problem;
    const auto anna = ReadContactFile(card, problem);
    ASSERT_TRUE(anna.has_value()) << problem;
    EXPECT_EQ(anna->Get(ContactProperty::MobileTelephoneNumber), u"(0170) 123 4567");
    EXPECT_EQ(anna->Get(ContactProperty::BusinessTelephoneNumber), u"030 1");

    WriteText(Home() + "/empty.vcf", "no card here");
    WriteText(Home() + "/big.vcf", std::string(kMaxCardFileSize, 'x'));
    ASSERT_EQ(::mkfifo((Home() + "/pipe.vcf").c_str(), 0600), 0);
    struct Row {
        const char* name;
        std::string path;
        const char* problemPart;
    };
    const std::vector<Row> rows = {
        {"missing", Home() + "/none.vcf", "No such file"},
        {"no_card", Home() + "/empty.vcf", "no contact card"},
        {"too_large", Home() + "/big.vcf", "too large"},
        {"a_pipe_does_not_block", Home() + "/pipe.vcf", "not a file"},
        {"a_folder", Home(), "not a file"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        problem.clear();
        EXPECT_FALSE(ReadContactFile(r.path, problem).has_value());
        EXPECT_NE(problem.find(r.problemPart), std::string::npos) << problem;
    }
}

}  // namespace
}  // namespace qvl::pim
