// What the message screens need from the rest of the program: the modem's SMS operations, the
// message boxes, file choosers, the dialer (for "Call"), the Today item, and the way a modal
// dialog is run. The main program fills these with the real services; tests script them.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/mms/mmssend.h"
#include "common/ports/uiports.h"

class QDialog;
class QWidget;

namespace qvl::sms {
class CRecordStore;
struct StoreProblem;
}  // namespace qvl::sms

namespace qvl::smsui {

// The SMS operations of the modem the screens call. Every call takes the engine's session lock
// and busy flag itself, so a poll tick arriving while it waits returns at once.
class ISmsModem {
  public:
    virtual ~ISmsModem() = default;
    // One recipient; long texts go as concatenated parts. 1 sent, 0 failed.
    virtual int SendText(std::u16string_view number, std::u16string_view text) = 0;
    // Reads the SIM and phone memories, joins long messages, appends them to store (loaded by
    // the caller from the message file) and saves it there, before anything is deleted from the
    // phone. notices: show the progress texts and the delete question. Returns the number of
    // messages read and saved; what was read before a failure is kept.
    virtual int CopyFromPhone(sms::CRecordStore& store, bool notices) = 0;
    // Writes a message into the phone's storage: with a time as received, without as outgoing.
    virtual int ExportToPhone(std::u16string_view number, std::u16string_view text,
                              std::u16string_view time) = 0;
    virtual std::u16string GetServiceCentre() = 0;
    virtual int SetServiceCentre(std::u16string_view number) = 0;
    // The +CGSMS value, -1 when not answered.
    virtual int GetSmsService() = 0;
};

enum class FileDialogKind { Open, Save };

struct SmsUiPorts {
    ISmsModem* modem = nullptr;           // null: no modem; modem commands fail
    IMessageBoxPort* messages = nullptr;  // null: QMessageBox
    // Runs a modal dialog and returns its result (QDialog::exec by default). Tests use it to
    // act on the dialog while it is "open".
    std::function<int(QDialog&)> runDialog;
    // Asks for a file; empty when canceled. Null: QFileDialog.
    std::function<QString(FileDialogKind, const QString& title, const QString& filter)> chooseFile;
    // Asks for a line of text (a folder name); false when canceled. Null: QInputDialog.
    std::function<bool(const QString& title, QString& text)> askText;
    // Dials a number ("Call" of the read dialog). Null: nothing.
    std::function<void(std::u16string_view)> dial;
    // Tells the Today item (wParam, lParam). Null: nothing.
    std::function<void(long long, long long)> notifyToday;
    // Sends an MMS from the compose screen; done is called last, once the message is filed.
    // Null: MMS cannot be sent (CreateMessageView fills it with the send over the engine).
    std::function<mms::MmsSendResult(const mms::ComposedMms&, const std::function<void()>& done)>
        sendMms;
    // Overrides the screen's shape for the layout choice (tests). Null: the primary screen.
    std::function<bool()> landscape;
    // Opens the Address Book to pick a recipient (the buttons beside To and Cc): the chosen
    // number, or nothing when canceled or no row was chosen. Null: no address-book buttons.
    std::function<std::optional<QString>(QWidget* parent)> pickNumber;
    // Opens the Address Book for "Insert contact..": the chosen name and number, or nothing
    // when canceled or no row was chosen. Null: the command is not offered.
    std::function<std::optional<std::pair<QString, QString>>(QWidget* parent)> pickContact;

    int Run(QDialog& dialog) const;
    MsgAnswer Ask(QWidget* parent, std::u16string_view text, MsgButtons buttons,
                  MsgIcon icon) const;
    QString ChooseFile(QWidget* parent, FileDialogKind kind, const QString& title,
                       const QString& filter) const;
    bool AskText(QWidget* parent, const QString& title, QString& text) const;
    bool IsLandscape() const;
    // Shows, one message box each, the problems met with the record files since the last call:
    // a file that could not be read whole (told once), a change that was not saved.
    void TellStoreProblems(QWidget* parent) const;
};

// The user's text of a record-file problem, in the current language.
std::u16string StoreProblemText(const sms::StoreProblem& problem);

// The current language's message text / dialog control text.
QString Msg(int englishId);
QString DlgText(int englishDialogId, std::string_view control);

// English dialog template ids of the message screens (texts in messages-dialogs.tsv).
inline constexpr int kDlgMessageView = 170;
inline constexpr int kDlgRead = 171;
inline constexpr int kDlgCompose = 172;
inline constexpr int kDlgFolders = 173;
inline constexpr int kDlgTemplates = 174;
inline constexpr int kDlgTemplateEdit = 175;
inline constexpr int kDlgSmsSettings = 176;

// Message texts of the message screens (main.tsv and main-messages.tsv).
inline constexpr int kMsgSent = 5023;
inline constexpr int kMsgSendFailed = 5024;
inline constexpr int kMsgCannotRead = 5025;
inline constexpr int kMsgCannotDelete = 5026;
inline constexpr int kMsgDeleted = 5027;
inline constexpr int kTextNumber = 5053;
inline constexpr int kTextAddressBook = 5074;
inline constexpr int kTextMessage = 5098;
inline constexpr int kTextWhen = 5099;
inline constexpr int kTextSmsSettings = 5072;
inline constexpr int kTextSaveIn = 5224;
inline constexpr int kTextDrafts = 5225;
inline constexpr int kTextNewFolder = 5226;
inline constexpr int kTextUseTemplate = 5227;
inline constexpr int kTextInsertContact = 5223;
inline constexpr int kTextAsPlainText = 5231;
inline constexpr int kTextAsVCard = 5232;
inline constexpr int kTextMoveTo = 5228;
inline constexpr int kMsgAskDeleteMessage = 5241;
inline constexpr int kMsgCannotExportMms = 5242;
inline constexpr int kMsgAskDeleteTemplate = 5243;
inline constexpr int kMsgAskDeleteFolder = 5400;
inline constexpr int kMsgNoRecipient = 5401;
inline constexpr int kMsgEmptyFolderName = 5402;
inline constexpr int kMsgExported = 5403;
inline constexpr int kMsgExportFailed = 5404;
inline constexpr int kMsgNothingToExport = 5405;
inline constexpr int kMsgFileUnreadable = 5410;
inline constexpr int kMsgFileNewer = 5411;
inline constexpr int kMsgFileDamagedKept = 5412;
inline constexpr int kMsgFileDamagedNoCopy = 5413;
inline constexpr int kMsgChangeNotSaved = 5414;
inline constexpr int kMsgCentreNotSet = 5416;

// The messages of the context menu 103 and the Move To menu (command = folder key + 10).
inline constexpr int kMenuSms = 103;
inline constexpr int kCmdRead = 33020;
inline constexpr int kCmdDelete = 33021;
inline constexpr int kCmdMoveTo = 33022;
inline constexpr int kCmdExportToSim = 33023;
inline constexpr int kMoveCommandBase = 10;
// The command bar's New (standard text 65000): the compose screen for a new message.
inline constexpr int kCmdNew = 65000;

}  // namespace qvl::smsui
