// The message, folder and template operations of the message screens, over record stores.
// Each screen loads the file it needs into its own store, calls these, and saves at once; the
// *File forms do exactly that with the files in the device root, through ChangeFile.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/sms/store/recordstore.h"

namespace qvl::sms {

// Message-text ids of the fixed folders (the main program's string table).
inline constexpr int kTextInUnread = 5136;
inline constexpr int kTextInRead = 5137;
inline constexpr int kTextOutUnsent = 5138;
inline constexpr int kTextOutSent = 5139;

// One entry of the folder combo / Move To menu: the fixed folders carry their text id (0 for
// "Drafts", which is shown as that literal), user folders their name.
struct FolderEntry {
    std::int32_t key = 0;
    int textId = 0;
    std::u16string name;
};
// "In Unread", "In Read", "Out Unsent", "Out Sent", "Drafts", then the user folders in file
// order.
std::vector<FolderEntry> FolderList(const CRecordStore& folders);

// Trims spaces, tabs and line breaks at both ends.
std::u16string TrimText(std::u16string_view text);

// Adds a user folder: key = max(3, highest folder key) + 1, 9999 skipped. Returns the key, or
// -1 when the trimmed name is empty.
std::int32_t AddFolder(CRecordStore& folders, std::u16string_view name);
// Renames the folder with the key; false when the trimmed name is empty or there is none.
bool RenameFolder(CRecordStore& folders, std::int32_t key, std::u16string_view name);
// Removes the folder record with the key (folders store) and every message filed under it
// (messages store). Returns the number of messages removed, or -1 when there is no folder.
int DeleteFolder(CRecordStore& folders, CRecordStore& messages, std::int32_t key);

// Templates: key = highest template key + 1 (the first gets 0). Only the text is edited.
std::int32_t AddTemplate(CRecordStore& templates, std::u16string_view title,
                         std::u16string_view text);
bool EditTemplate(CRecordStore& templates, std::int32_t key, std::u16string_view text);
bool DeleteTemplate(CRecordStore& templates, std::int32_t key);

// Messages, by record id (the list's item data).
bool MoveMessage(CRecordStore& messages, std::int32_t id, std::int32_t folderKey);
// Files a composed message (number as typed, empty time); false for a duplicate.
bool SaveMessageIn(CRecordStore& messages, std::u16string_view number, std::u16string_view text,
                   std::int32_t folderKey);
bool DeleteMessage(CRecordStore& messages, std::int32_t id);
// Closing the read dialog: a message in "In Unread" moves to "In Read". True when it moved.
bool MarkReadOnClose(CRecordStore& messages, std::int32_t id);
// The messages of one folder in list order.
std::vector<const SmsRecord*> MessagesIn(const CRecordStore& messages, std::int32_t folderKey);

// What a change of record files came to.
enum class FileChange {
    kSaved,      // read whole (or missing), changed and saved
    kUnchanged,  // the change found nothing to do (or refused): nothing was written
    kNotSaved,   // a file could not be read whole and must not be written over, or the save
                 // failed: the file is as it was, and the user is told (TakeStoreProblems)
};

// Loads the record file, runs change on it and, when change returns true, saves it. A file
// that could not be read whole is not changed at all, so nothing is lost by writing what was
// read over what was not.
FileChange ChangeFile(const std::string& path, const std::function<bool(CRecordStore&)>& change);
// Two files changed together (folders and messages): both are loaded before either is saved,
// and the change runs only when both can be saved. The first is saved first.
FileChange ChangeFiles(const std::string& firstPath, const std::string& secondPath,
                       const std::function<bool(CRecordStore&, CRecordStore&)>& change);

// The folder export as text: "Number:\n%s\n", "Time:\n%s\n", "Message:\n%s\n\n" per message,
// in UTF-8.
std::string ExportFolderText(const CRecordStore& messages, std::int32_t folderKey);
// Writes the export to a file (mode 0600, replaced atomically). False on failure.
bool WriteExportFile(const std::string& path, const std::string& text);

// File forms over the record files in the device root: load, change, save. AddFolderFile gives
// -1 and DeleteFolderFile -1 when nothing was saved.
std::int32_t AddFolderFile(std::u16string_view name);
int DeleteFolderFile(std::int32_t key);
bool MoveMessageFile(std::int32_t id, std::int32_t folderKey);
bool SaveMessageInFile(std::u16string_view number, std::u16string_view text,
                       std::int32_t folderKey);
bool DeleteMessageFile(std::int32_t id);
bool MarkReadOnCloseFile(std::int32_t id);

}  // namespace qvl::sms
