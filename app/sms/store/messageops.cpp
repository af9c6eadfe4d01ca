// Folder, template and message operations of the message screens.
#include "app/sms/store/messageops.h"

#include <algorithm>

#include "base/text.h"
#include "platform/atomicfile.h"

namespace qvl::sms {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

FolderRecord* FindFolder(CRecordStore& folders, std::int32_t key) {
    FolderRecord* found = nullptr;
    for (auto& r : folders.Records()) {
        if (const auto* f = std::get_if<FolderRecord>(&r); f != nullptr && f->key == key) {
            found = folders.FindAs<FolderRecord>(f->id);
            break;
        }
    }
    return found;
}

TemplateRecord* FindTemplate(CRecordStore& templates, std::int32_t key) {
    for (auto& r : templates.Records()) {
        if (const auto* t = std::get_if<TemplateRecord>(&r); t != nullptr && t->key == key) {
            return templates.FindAs<TemplateRecord>(t->id);
        }
    }
    return nullptr;
}

}  // namespace

std::vector<FolderEntry> FolderList(const CRecordStore& folders) {
    std::vector<FolderEntry> list = {
        {kFolderInUnread, kTextInUnread, u"In Unread"},
        {kFolderInRead, kTextInRead, u"In Read"},
        {kFolderOutUnsent, kTextOutUnsent, u"Out Unsent"},
        {kFolderOutSent, kTextOutSent, u"Out Sent"},
        {kFolderDrafts, 0, u"Drafts"},
    };
    for (const auto& r : folders.Records()) {
        if (const auto* f = std::get_if<FolderRecord>(&r)) {
            list.push_back({f->key, 0, f->name});
        }
    }
    return list;
}

std::u16string TrimText(std::u16string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && IsBlank(text[b])) {
        ++b;
    }
    while (e > b && IsBlank(text[e - 1])) {
        --e;
    }
    return std::u16string(text.substr(b, e - b));
}

std::int32_t AddFolder(CRecordStore& folders, std::u16string_view name) {
    const std::u16string trimmed = TrimText(name);
    if (trimmed.empty()) {
        return -1;
    }
    std::int32_t highest = kFolderOutSent;
    for (const auto& r : folders.Records()) {
        if (const auto* f = std::get_if<FolderRecord>(&r)) {
            highest = std::max(highest, f->key);
        }
    }
    std::int32_t key = highest + 1;
    if (key == kFolderDrafts) {
        key = kFolderDrafts + 1;
    }
    folders.Append(FolderRecord{0, key, trimmed});
    return key;
}

bool RenameFolder(CRecordStore& folders, std::int32_t key, std::u16string_view name) {
    const std::u16string trimmed = TrimText(name);
    FolderRecord* f = FindFolder(folders, key);
    if (trimmed.empty() || f == nullptr) {
        return false;
    }
    f->name = FitField(trimmed, kFolderNameChars);
    return true;
}

int DeleteFolder(CRecordStore& folders, CRecordStore& messages, std::int32_t key) {
    FolderRecord* f = FindFolder(folders, key);
    if (f == nullptr) {
        return -1;
    }
    folders.Remove(RecordType::kFolder, f->id);
    std::vector<std::int32_t> ids;
    for (const auto& r : messages.Records()) {
        if (const auto* m = std::get_if<SmsRecord>(&r); m != nullptr && m->folder == key) {
            ids.push_back(m->id);
        }
    }
    // Later ids drop by one with every removal, so remove from the back.
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        messages.Remove(RecordType::kMessage, *it);
    }
    return static_cast<int>(ids.size());
}

std::int32_t AddTemplate(CRecordStore& templates, std::u16string_view title,
                         std::u16string_view text) {
    std::int32_t highest = -1;
    for (const auto& r : templates.Records()) {
        if (const auto* t = std::get_if<TemplateRecord>(&r)) {
            highest = std::max(highest, t->key);
        }
    }
    const std::int32_t key = highest + 1;
    templates.Append(TemplateRecord{0, key, std::u16string(title), std::u16string(text)});
    return key;
}

bool EditTemplate(CRecordStore& templates, std::int32_t key, std::u16string_view text) {
    TemplateRecord* t = FindTemplate(templates, key);
    if (t == nullptr) {
        return false;
    }
    t->text = FitField(text, kTemplateTextChars);
    return true;
}

bool DeleteTemplate(CRecordStore& templates, std::int32_t key) {
    TemplateRecord* t = FindTemplate(templates, key);
    return t != nullptr && templates.Remove(RecordType::kTemplate, t->id);
}

bool MoveMessage(CRecordStore& messages, std::int32_t id, std::int32_t folderKey) {
    auto* m = messages.FindAs<SmsRecord>(id);
    if (m == nullptr) {
        return false;
    }
    m->folder = folderKey;
    return true;
}

bool SaveMessageIn(CRecordStore& messages, std::u16string_view number, std::u16string_view text,
                   std::int32_t folderKey) {
    SmsRecord m;
    m.folder = folderKey;
    m.number = std::u16string(number);
    m.text = std::u16string(text);
    return messages.Append(std::move(m));
}

bool DeleteMessage(CRecordStore& messages, std::int32_t id) {
    return messages.Remove(RecordType::kMessage, id);
}

bool MarkReadOnClose(CRecordStore& messages, std::int32_t id) {
    auto* m = messages.FindAs<SmsRecord>(id);
    if (m == nullptr || m->folder != kFolderInUnread) {
        return false;
    }
    m->folder = kFolderInRead;
    return true;
}

std::vector<const SmsRecord*> MessagesIn(const CRecordStore& messages, std::int32_t folderKey) {
    std::vector<const SmsRecord*> out;
    for (const auto& r : messages.Records()) {
        if (const auto* m = std::get_if<SmsRecord>(&r); m != nullptr && m->folder == folderKey) {
            out.push_back(m);
        }
    }
    return out;
}

std::string ExportFolderText(const CRecordStore& messages, std::int32_t folderKey) {
    std::string out;
    for (const SmsRecord* m : MessagesIn(messages, folderKey)) {
        out += "Number:\n" + WideToUtf8(m->number) + "\n";
        out += "Time:\n" + WideToUtf8(m->time) + "\n";
        out += "Message:\n" + WideToUtf8(m->text) + "\n\n";
    }
    return out;
}

bool WriteExportFile(const std::string& path, const std::string& text) {
    return ReplaceFileAtomically(path, text);
}

FileChange ChangeFile(const std::string& path, const std::function<bool(CRecordStore&)>& change) {
    CRecordStore store;
    store.Load(path);
    if (!store.CanSave(path)) {
        store.Save(path);  // refused: tells the user the change was not kept
        return FileChange::kNotSaved;
    }
    if (!change(store)) {
        return FileChange::kUnchanged;
    }
    return store.Save(path) ? FileChange::kSaved : FileChange::kNotSaved;
}

FileChange ChangeFiles(const std::string& firstPath, const std::string& secondPath,
                       const std::function<bool(CRecordStore&, CRecordStore&)>& change) {
    CRecordStore first;
    CRecordStore second;
    first.Load(firstPath);
    second.Load(secondPath);
    if (!first.CanSave(firstPath) || !second.CanSave(secondPath)) {
        first.Save(firstPath);
        second.Save(secondPath);
        return FileChange::kNotSaved;
    }
    if (!change(first, second)) {
        return FileChange::kUnchanged;
    }
    return first.Save(firstPath) && second.Save(secondPath) ? FileChange::kSaved
                                                            : FileChange::kNotSaved;
}

std::int32_t AddFolderFile(std::u16string_view name) {
    std::int32_t key = -1;
    const FileChange done = ChangeFile(FolderStorePath(), [&](CRecordStore& folders) {
        key = AddFolder(folders, name);
        return key >= 0;
    });
    return done == FileChange::kSaved ? key : -1;
}

int DeleteFolderFile(std::int32_t key) {
    int removed = -1;
    // The folder goes first: should the second save fail, its messages stay in a file that
    // still holds them, under a key no folder shows, rather than being lost.
    const FileChange done = ChangeFiles(FolderStorePath(), SmsStorePath(),
                                        [&](CRecordStore& folders, CRecordStore& messages) {
                                            removed = DeleteFolder(folders, messages, key);
                                            return removed >= 0;
                                        });
    return done == FileChange::kSaved ? removed : -1;
}

bool MoveMessageFile(std::int32_t id, std::int32_t folderKey) {
    return ChangeFile(SmsStorePath(), [&](CRecordStore& s) {
               return MoveMessage(s, id, folderKey);
           }) == FileChange::kSaved;
}
bool SaveMessageInFile(std::u16string_view number, std::u16string_view text,
                       std::int32_t folderKey) {
    return ChangeFile(SmsStorePath(), [&](CRecordStore& s) {
               return SaveMessageIn(s, number, text, folderKey);
           }) == FileChange::kSaved;
}
bool DeleteMessageFile(std::int32_t id) {
    return ChangeFile(SmsStorePath(), [&](CRecordStore& s) { return DeleteMessage(s, id); }) ==
           FileChange::kSaved;
}
bool MarkReadOnCloseFile(std::int32_t id) {
    return ChangeFile(SmsStorePath(), [&](CRecordStore& s) { return MarkReadOnClose(s, id); }) ==
           FileChange::kSaved;
}

}  // namespace qvl::sms
