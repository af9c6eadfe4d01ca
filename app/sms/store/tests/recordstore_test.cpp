// The record file format byte for byte, list maintenance and damaged files.
#include "app/sms/store/recordstore.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/sms/store/tests/testutil.h"

namespace qvl::sms {
namespace {

using testing::Bytes;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

SmsRecord Message(std::u16string number, std::u16string text, std::int32_t folder = 0,
                  std::u16string time = u"") {
    SmsRecord m;
    m.folder = folder;
    m.number = std::move(number);
    m.text = std::move(text);
    m.time = std::move(time);
    return m;
}

// Tag 1 and the 664-octet payload plus text, built by hand.
void AddMessageBytes(Bytes& b, std::uint32_t id, std::uint32_t folder, std::u16string_view number,
                     std::u16string_view time, std::u16string_view text) {
    b.U32(1).U32(id).U32(folder).Text(u"", 20).Text(number, 20).Text(u"", 255).Text(time, 31);
    b.U32(static_cast<std::uint32_t>(text.size() + 1)).Text(text, text.size() + 1);
}

TEST(RecordStore, TwoMessagesByteForByte) {
    TempHome home;
    CRecordStore store;
    ASSERT_TRUE(store.Append(Message(u"+491701234567", u"hello", 0, u"24/12/04,18:30:05,GMT+1")));
    ASSERT_TRUE(store.Append(Message(u"0170123", u"\u00BFQu\u00E9?", 3)));
    ASSERT_TRUE(store.Save(home.File("QVLPhoneSMS.dat")));

    Bytes expected;
    expected.U32(0).U32(1);
    AddMessageBytes(expected, 0, 0, u"+491701234567", u"24/12/04,18:30:05,GMT+1", u"hello");
    AddMessageBytes(expected, 1, 3, u"0170123", u"", u"\u00BFQu\u00E9?");
    EXPECT_EQ(ReadFile(home.File("QVLPhoneSMS.dat")), expected.Get());
    EXPECT_EQ(expected.Size(), 8u + 2 * (4 + 664) + 2 * 6 + 2 * 6);
    EXPECT_EQ(store.Version(), 1);

    CRecordStore loaded;
    ASSERT_TRUE(loaded.Load(home.File("QVLPhoneSMS.dat")));
    ASSERT_EQ(loaded.Count(RecordType::kMessage), 2);
    const auto* first = loaded.FindAs<SmsRecord>(0);
    const auto* second = loaded.FindAs<SmsRecord>(1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->number, u"+491701234567");
    EXPECT_EQ(first->time, u"24/12/04,18:30:05,GMT+1");
    EXPECT_EQ(second->text, u"\u00BFQu\u00E9?");
    EXPECT_EQ(second->folder, 3);
}

TEST(RecordStore, OtherTypesByteForByte) {
    CRecordStore store;
    store.Append(FolderRecord{0, 4, u"Work"});
    store.Append(TemplateRecord{0, 0, u"Late", u"I'm late"});
    MmsProfileRecord p;
    p.key = 7;
    p.operatorCode = 26201;
    p.name = u"Op";
    p.apn = u"mms.op";
    p.uri = u"http://mms/";
    store.Append(p);
    MmsMessageRecord mms;
    mms.folder = 2;
    mms.to = u"+4917";
    mms.subject = u"Hi";
    mms.text = u"body";
    mms.objects = u"/a.jpg\n";
    store.Append(mms);

    Bytes b;
    b.U32(0).U32(1);
    b.U32(2).U32(0).U32(4).Text(u"Work", 256);
    b.U32(3).U32(1).U32(0).Text(u"Late", 255).Text(u"I'm late", 255);
    b.U32(4).U32(2).U32(7).U32(26201).Text(u"Op", 40).Text(u"mms.op", 40).Text(u"", 20);
    b.Text(u"", 20).Text(u"", 20).Text(u"", 20).Text(u"http://mms/", 80);
    b.U32(5).U32(3).U32(2).Text(u"+4917", 100).Text(u"", 100).Text(u"Hi", 100).Text(u"", 30);
    b.U32(5).U32(8).Text(u"body", 5).Text(u"/a.jpg\n", 8);
    EXPECT_EQ(store.Serialize(), b.Get());
    EXPECT_EQ(b.Size(), 8u + (4 + 520) + (4 + 1028) + (4 + 492) + (4 + 676) + 10 + 16);

    CRecordStore loaded;
    ASSERT_TRUE(loaded.Deserialize(b.Get()));
    EXPECT_EQ(loaded.Serialize(), b.Get());
    const auto* m = loaded.FindAs<MmsMessageRecord>(3);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->objects, u"/a.jpg\n");
    EXPECT_EQ(loaded.FindAs<MmsProfileRecord>(2)->operatorCode, 26201);
}

TEST(RecordStore, VersionZeroFileIsConverted) {
    // Old layout: no version record, 2660-octet messages with the text inline before the time.
    Bytes old;
    old.U32(1).U32(5).U32(1).Text(u"", 20).Text(u"+4930", 20).Text(u"", 255);
    old.Text(u"old text", 1000).Text(u"01/02/03,04:05:06,GMT+1", 31);
    old.U32(1).U32(6).U32(3).Text(u"", 20).Text(u"112", 20).Text(u"", 255);
    old.Text(u"second", 1000).Text(u"", 31);
    ASSERT_EQ(old.Size(), 2u * (4 + 2660));
    CRecordStore store;
    ASSERT_TRUE(store.Deserialize(old.Get()));
    EXPECT_EQ(store.Version(), 0);
    ASSERT_EQ(store.Count(RecordType::kMessage), 2);
    const auto* m = store.FindAs<SmsRecord>(0);  // ids are positions, not the old ids
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->number, u"+4930");
    EXPECT_EQ(m->text, u"old text");
    EXPECT_EQ(m->time, u"01/02/03,04:05:06,GMT+1");
    EXPECT_EQ(m->folder, 1);

    Bytes converted;
    converted.U32(0).U32(1);
    AddMessageBytes(converted, 0, 1, u"+4930", u"01/02/03,04:05:06,GMT+1", u"old text");
    AddMessageBytes(converted, 1, 3, u"112", u"", u"second");
    EXPECT_EQ(store.Serialize(), converted.Get());
    EXPECT_EQ(store.Version(), 1);

    // An explicit version 0 record means the same layout.
    Bytes withRecord;
    withRecord.U32(0).U32(0);
    auto bytes = withRecord.Get();
    bytes.insert(bytes.end(), old.Get().begin(), old.Get().end());
    CRecordStore again;
    ASSERT_TRUE(again.Deserialize(bytes));
    EXPECT_EQ(again.Count(RecordType::kMessage), 2);
}

TEST(RecordStore, DuplicatesAreDroppedWhileLoading) {
    Bytes b;
    b.U32(0).U32(1);
    AddMessageBytes(b, 0, 0, u"+49", u"t", u"same");
    AddMessageBytes(b, 1, 1, u"+49", u"t", u"same");     // equal: folder does not count
    AddMessageBytes(b, 2, 0, u"+49", u"t", u"Same");     // differs in case
    AddMessageBytes(b, 3, 0, u"+49", u"t2", u"same");    // differs in time
    AddMessageBytes(b, 4, 0, u"+491", u"t", u"same");    // differs in number
    CRecordStore store;
    ASSERT_TRUE(store.Deserialize(b.Get()));
    EXPECT_EQ(store.Count(RecordType::kMessage), 4);
    EXPECT_EQ(store.FindAs<SmsRecord>(1)->text, u"Same");
    EXPECT_FALSE(store.Append(Message(u"+49", u"same", 3, u"t")));
    EXPECT_EQ(store.Count(RecordType::kMessage), 4);
    // After the original is removed the same message can be filed again.
    ASSERT_TRUE(store.Remove(RecordType::kMessage, 0));
    EXPECT_TRUE(store.Append(Message(u"+49", u"same", 3, u"t")));
}

TEST(RecordStore, IdsFollowPositions) {
    CRecordStore store;
    for (auto t : {u"a", u"b", u"c"}) {
        store.Append(Message(u"1", t));
    }
    ASSERT_TRUE(store.Remove(RecordType::kMessage, 0));
    EXPECT_EQ(store.FindAs<SmsRecord>(0)->text, u"b");
    EXPECT_EQ(store.FindAs<SmsRecord>(1)->text, u"c");
    EXPECT_EQ(store.Find(RecordType::kMessage, 2), nullptr);

    store.InsertAfter(RecordType::kMessage, 0, Message(u"1", u"x"));
    std::vector<std::u16string> order;
    std::vector<std::int32_t> ids;
    for (const auto& r : store.Records()) {
        order.push_back(std::get<SmsRecord>(r).text);
        ids.push_back(IdOf(r));
    }
    EXPECT_EQ(order, (std::vector<std::u16string>{u"b", u"x", u"c"}));
    EXPECT_EQ(ids, (std::vector<std::int32_t>{0, 1, 2}));
    // No such record: appended.
    store.InsertAfter(RecordType::kMessage, 42, Message(u"1", u"y"));
    EXPECT_EQ(store.FindAs<SmsRecord>(3)->text, u"y");
    EXPECT_FALSE(store.Remove(RecordType::kFolder, 0));  // (type, id) must both match
    EXPECT_EQ(store.Count(RecordType::kMessage), 4);
    store.Clear();
    EXPECT_EQ(store.Count(RecordType::kMessage), 0);
    EXPECT_TRUE(store.Append(Message(u"1", u"a")));
    EXPECT_EQ(IdOf(store.Records().front()), 0);
}

TEST(RecordStore, LongTextsAreCutAtCharacterBoundaries) {
    struct Row {
        const char* name;
        std::u16string number;
        std::u16string expected;
    } rows[] = {
        {"fits", u"1234567890123456789", u"1234567890123456789"},
        {"cut_to_19", u"123456789012345678901234", u"1234567890123456789"},
        {"pair_kept_whole", u"123456789012345678\U0001F600", u"123456789012345678"},
        {"nul_ends", std::u16string(u"12\0" u"34", 5), u"12"},
    };
    for (const auto& r : rows) {
        CRecordStore store;
        store.Append(Message(r.number, u"t"));
        EXPECT_EQ(store.FindAs<SmsRecord>(0)->number, r.expected) << r.name;
        CRecordStore loaded;
        ASSERT_TRUE(loaded.Deserialize(store.Serialize())) << r.name;
        EXPECT_EQ(loaded.FindAs<SmsRecord>(0)->number, r.expected) << r.name;
    }
    CRecordStore store;
    const std::u16string longText(5000, u'x');
    store.Append(Message(u"1", longText));
    CRecordStore loaded;
    ASSERT_TRUE(loaded.Deserialize(store.Serialize()));
    EXPECT_EQ(loaded.FindAs<SmsRecord>(0)->text, longText);
}

std::vector<std::uint8_t> SampleFile() {
    CRecordStore store;
    store.Append(Message(u"+491", u"first", 0, u"24/12/04,18:30:05,GMT+1"));
    store.Append(Message(u"+492", u"second \u20AC", 1));
    store.Append(FolderRecord{0, 4, u"Work"});
    MmsMessageRecord mms;
    mms.text = u"mms body";
    mms.objects = u"/x.png\n";
    store.Append(mms);
    store.Append(Message(u"+493", u"third", 2));
    return store.Serialize();
}

// Every cut of a valid file loads the records that are whole before the cut, unchanged.
TEST(RecordStore, TruncatedFilesLoadWhatIsWhole) {
    const auto full = SampleFile();
    CRecordStore reference;
    ASSERT_TRUE(reference.Deserialize(full));
    std::vector<Record> all(reference.Records().begin(), reference.Records().end());
    for (std::size_t len = 0; len < full.size(); ++len) {
        CRecordStore store;
        store.Deserialize(
            std::vector<std::uint8_t>(full.begin(), full.begin() + static_cast<long>(len)));
        std::size_t i = 0;
        for (const auto& r : store.Records()) {
            ASSERT_LT(i, all.size());
            EXPECT_TRUE(r == all[i]) << len << " record " << i;
            ++i;
        }
    }
}

TEST(RecordStore, DamagedFiles) {
    const auto full = SampleFile();
    const std::size_t firstEnd = 8 + 4 + 664 + 2 * 6;  // after the first message
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int records;
    } rows[] = {
        {"unknown_tag", [&] {
             auto b = full;
             b[firstEnd] = 9;
             return b;
         }(), 1},
        {"text_length_past_end", [&] {
             auto b = full;
             const std::size_t lengthAt = firstEnd + 4 + 660;
             b[lengthAt + 3] = 0x7F;
             return b;
         }(), 1},
        {"text_length_huge", [&] {
             auto b = full;
             const std::size_t lengthAt = firstEnd + 4 + 660;
             for (int i = 0; i < 4; ++i) b[lengthAt + static_cast<std::size_t>(i)] = 0xFF;
             return b;
         }(), 1},
        {"unknown_version", Bytes().U32(0).U32(2).U32(1).Get(), 0},
        {"folder_in_version_0", Bytes().U32(2).U32(0).U32(4).Text(u"x", 256).Get(), 0},
        {"tag_only", Bytes().U32(0).U32(1).U32(1).Get(), 0},
    };
    for (const auto& r : rows) {
        CRecordStore store;
        EXPECT_FALSE(store.Deserialize(r.bytes)) << r.name;
        EXPECT_EQ(static_cast<int>(store.Records().size()), r.records) << r.name;
    }
    // Type-5 counts beyond the file.
    Bytes b;
    b.U32(0).U32(1).U32(5).U32(0).U32(3).Text(u"", 100).Text(u"", 100).Text(u"", 100).Text(u"", 30);
    b.U32(3).U32(0x40000000).Text(u"ab", 3);
    CRecordStore store;
    EXPECT_FALSE(store.Deserialize(b.Get()));
    EXPECT_EQ(store.Records().size(), 0u);
}

TEST(RecordStore, SaveKeepsBackupAndPrivateMode) {
    TempHome home;
    const std::string path = home.File("QVLPhoneSMS.dat");
    CRecordStore store;
    EXPECT_TRUE(store.Load(path));  // missing file: an empty store
    EXPECT_EQ(store.Records().size(), 0u);
    store.Append(Message(u"1", u"one"));
    ASSERT_TRUE(store.Save(path));
    const auto firstBytes = ReadFile(path);
    store.Append(Message(u"2", u"two"));
    ASSERT_TRUE(store.Save(path));
    EXPECT_EQ(ReadFile(path + ".bak"), firstBytes);
    EXPECT_EQ(ReadFile(path), store.Serialize());
    store.Append(Message(u"3", u"three"));
    const auto secondBytes = ReadFile(path);
    ASSERT_TRUE(store.Save(path));
    EXPECT_EQ(ReadFile(path + ".bak"), secondBytes);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the file and its backup is left behind.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(home.Dir())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2);
    // A folder that cannot take the file: Save fails and leaves nothing.
    EXPECT_FALSE(store.Save(home.File("missing/QVLPhoneSMS.dat")));
}

TEST(RecordStore, DevicePathsAreInTheDeviceRoot) {
    TempHome home;
    EXPECT_EQ(SmsStorePath(), home.File("QVLPhoneSMS.dat"));
    EXPECT_EQ(FolderStorePath(), home.File("QVLSMSFolder.dat"));
    EXPECT_EQ(TemplateStorePath(), home.File("QVLSMSTemplate.dat"));
    EXPECT_EQ(MmsProfileStorePath(), home.File("QVLMMSProfiles.dat"));
    EXPECT_EQ(MmsStorePath(), home.File("QVLPhoneMMS.dat"));
}

}  // namespace
}  // namespace qvl::sms
