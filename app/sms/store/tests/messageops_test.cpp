// Folder, template and message operations of the message screens.
#include "app/sms/store/messageops.h"

#include <gtest/gtest.h>

#include "app/sms/store/tests/testutil.h"

namespace qvl::sms {
namespace {

using testing::ReadFile;
using testing::TempHome;

SmsRecord Message(std::u16string number, std::u16string text, std::int32_t folder) {
    SmsRecord m;
    m.number = std::move(number);
    m.text = std::move(text);
    m.folder = folder;
    return m;
}

TEST(Folders, KeyRules) {
    struct Row {
        const char* name;
        std::vector<std::int32_t> existing;
        std::int32_t next;
    } rows[] = {
        {"first_user_folder", {}, 4},
        {"after_4", {4}, 5},
        {"after_4_and_9998_skips_drafts", {4, 9998}, 10000},
        {"highest_not_last", {12, 5}, 13},
        {"after_10000", {10000}, 10001},
    };
    for (const auto& r : rows) {
        CRecordStore folders;
        for (auto key : r.existing) {
            folders.Append(FolderRecord{0, key, u"f"});
        }
        EXPECT_EQ(AddFolder(folders, u"New"), r.next) << r.name;
    }
}

TEST(Folders, NamesAreTrimmedAndMustNotBeEmpty) {
    CRecordStore folders;
    EXPECT_EQ(AddFolder(folders, u"   \t"), -1);
    EXPECT_EQ(folders.Count(RecordType::kFolder), 0);
    EXPECT_EQ(AddFolder(folders, u"  Work \n"), 4);
    EXPECT_FALSE(RenameFolder(folders, 4, u"  "));
    EXPECT_FALSE(RenameFolder(folders, 5, u"Other"));
    EXPECT_TRUE(RenameFolder(folders, 4, u" Job "));
    const auto list = FolderList(folders);
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[0].key, kFolderInUnread);
    EXPECT_EQ(list[0].textId, 5136);
    EXPECT_EQ(list[3].key, kFolderOutSent);
    EXPECT_EQ(list[3].textId, 5139);
    EXPECT_EQ(list[4].key, kFolderDrafts);
    EXPECT_EQ(list[4].name, u"Drafts");
    EXPECT_EQ(list[5].key, 4);
    EXPECT_EQ(list[5].name, u"Job");
}

TEST(Folders, DeleteRemovesItsMessagesOnly) {
    CRecordStore folders;
    CRecordStore messages;
    AddFolder(folders, u"Work");
    AddFolder(folders, u"Home");
    messages.Append(Message(u"1", u"a", 4));
    messages.Append(Message(u"2", u"b", 0));
    messages.Append(Message(u"3", u"c", 4));
    messages.Append(Message(u"4", u"d", 5));
    messages.Append(Message(u"5", u"e", 4));
    EXPECT_EQ(DeleteFolder(folders, messages, 4), 3);
    EXPECT_EQ(folders.Count(RecordType::kFolder), 1);
    std::vector<std::u16string> left;
    for (const auto& r : messages.Records()) {
        left.push_back(std::get<SmsRecord>(r).text);
    }
    EXPECT_EQ(left, (std::vector<std::u16string>{u"b", u"d"}));
    EXPECT_EQ(DeleteFolder(folders, messages, 4), -1);
}

TEST(Templates, KeysEditAndDelete) {
    CRecordStore templates;
    EXPECT_EQ(AddTemplate(templates, u"Late", u"I'm late"), 0);
    EXPECT_EQ(AddTemplate(templates, u"Call", u"Call me"), 1);
    EXPECT_TRUE(EditTemplate(templates, 0, u"Running late"));
    const auto* t = templates.FindAs<TemplateRecord>(0);
    EXPECT_EQ(t->title, u"Late");
    EXPECT_EQ(t->text, u"Running late");
    EXPECT_TRUE(DeleteTemplate(templates, 0));
    EXPECT_FALSE(DeleteTemplate(templates, 0));
    EXPECT_EQ(AddTemplate(templates, u"Again", u"x"), 2);
    EXPECT_FALSE(EditTemplate(templates, 7, u"x"));
}

TEST(Messages, MoveSaveDeleteAndMarkRead) {
    CRecordStore messages;
    messages.Append(Message(u"1", u"unread", kFolderInUnread));
    messages.Append(Message(u"2", u"sent", kFolderOutSent));
    EXPECT_TRUE(MarkReadOnClose(messages, 0));
    EXPECT_EQ(messages.FindAs<SmsRecord>(0)->folder, kFolderInRead);
    EXPECT_FALSE(MarkReadOnClose(messages, 1));  // not in "In Unread"
    EXPECT_EQ(messages.FindAs<SmsRecord>(1)->folder, kFolderOutSent);
    EXPECT_TRUE(MoveMessage(messages, 1, kFolderDrafts));
    EXPECT_EQ(MessagesIn(messages, kFolderDrafts).size(), 1u);
    EXPECT_TRUE(SaveMessageIn(messages, u"+49 170", u"draft", kFolderDrafts));
    EXPECT_EQ(messages.FindAs<SmsRecord>(2)->number, u"+49 170");
    EXPECT_EQ(messages.FindAs<SmsRecord>(2)->time, u"");
    EXPECT_TRUE(DeleteMessage(messages, 0));
    EXPECT_EQ(messages.FindAs<SmsRecord>(0)->text, u"sent");
    EXPECT_FALSE(DeleteMessage(messages, 5));
    EXPECT_FALSE(MoveMessage(messages, 5, 1));
}

TEST(Messages, ExportFolderText) {
    CRecordStore messages;
    SmsRecord a = Message(u"+491", u"Hallo\nWelt", 1);
    a.time = u"24/12/04,18:30:05,GMT+1";
    messages.Append(a);
    messages.Append(Message(u"+492", u"other folder", 0));
    messages.Append(Message(u"+493", u"\u03B1\u03B2 \U0001F600", 1));
    EXPECT_EQ(ExportFolderText(messages, 1),
              "Number:\n+491\nTime:\n24/12/04,18:30:05,GMT+1\nMessage:\nHallo\nWelt\n\n"
              "Number:\n+493\nTime:\n\nMessage:\n\xCE\xB1\xCE\xB2 \xF0\x9F\x98\x80\n\n");
    EXPECT_EQ(ExportFolderText(messages, 7), "");
    TempHome home;
    ASSERT_TRUE(WriteExportFile(home.File("out.txt"), "abc"));
    const auto bytes = ReadFile(home.File("out.txt"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abc");
}

TEST(Messages, FileFormsLoadChangeAndSave) {
    TempHome home;
    EXPECT_EQ(AddFolderFile(u"Work"), 4);
    EXPECT_EQ(AddFolderFile(u"Home"), 5);
    EXPECT_TRUE(SaveMessageInFile(u"+491", u"one", 4));
    EXPECT_TRUE(SaveMessageInFile(u"+492", u"two", kFolderInUnread));
    EXPECT_FALSE(SaveMessageInFile(u"+492", u"two", kFolderInUnread));  // duplicate
    EXPECT_TRUE(MarkReadOnCloseFile(1));
    EXPECT_TRUE(MoveMessageFile(1, 5));
    EXPECT_EQ(DeleteFolderFile(4), 1);
    CRecordStore messages;
    ASSERT_TRUE(messages.Load(SmsStorePath()));
    ASSERT_EQ(messages.Count(RecordType::kMessage), 1);
    EXPECT_EQ(messages.FindAs<SmsRecord>(0)->text, u"two");
    EXPECT_EQ(messages.FindAs<SmsRecord>(0)->folder, 5);
    EXPECT_TRUE(DeleteMessageFile(0));
    ASSERT_TRUE(messages.Load(SmsStorePath()));
    EXPECT_EQ(messages.Count(RecordType::kMessage), 0);
    CRecordStore folders;
    ASSERT_TRUE(folders.Load(FolderStorePath()));
    ASSERT_EQ(folders.Count(RecordType::kFolder), 1);
    EXPECT_EQ(std::get<FolderRecord>(folders.Records().front()).name, u"Home");
}

}  // namespace
}  // namespace qvl::sms
