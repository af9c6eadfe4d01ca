// What the Address Book's two dialogs share: their template ids, the message ids they show and
// the current language's texts.
#pragma once

#include <QString>
#include <string_view>

#include "common/ports/uiports.h"

class QWidget;

namespace qvl::phonebookui {

// Dialog templates (texts in phonebook-dialogs.tsv).
inline constexpr int kDlgAddressBook = 140;

// Context menus: 102 "&Address Book" (SIM and handset books), 106 "Contacts".
inline constexpr int kMenuAddressBook = 102;
inline constexpr int kMenuContacts = 106;
inline constexpr int kCmdInsert = 33010;
inline constexpr int kCmdEdit = 33011;
inline constexpr int kCmdDelete = 33012;
inline constexpr int kCmdImportToContacts = 33013;
inline constexpr int kCmdExportToSimBook = 33040;
inline constexpr int kCmdExportToPhoneBook = 33041;

// Messages (main.tsv).
inline constexpr int kMsgSimNotReady = 5002;
inline constexpr int kMsgFailed = 5008;
inline constexpr int kMsgEnterNumber = 5009;
inline constexpr int kMsgSimFull = 5033;
inline constexpr int kMsgNoSelection = 5034;
inline constexpr int kTextName = 5052;
inline constexpr int kTextNumber = 5053;
inline constexpr int kMsgEditAddressBook = 5060;
inline constexpr int kMsgAddressBook = 5074;
inline constexpr int kMsgSosNotReady = 5131;
inline constexpr int kMsgInserting = 5188;
inline constexpr int kMsgDeleting = 5189;
inline constexpr int kMsgUpdating = 5190;
inline constexpr int kMsgPhoneNotReady = 5233;
inline constexpr int kMsgAskDelete = 5234;
inline constexpr int kMsgPhoneFull = 5257;
// Messages of the phonebook screens (main-phonebook.tsv).
inline constexpr int kMsgNumberRefused = 5470;
inline constexpr int kMsgNameRefused = 5471;
inline constexpr int kMsgNameNotStorable = 5472;
inline constexpr int kMsgCsvNotWritten = 5473;
inline constexpr int kMsgReadCutShort = 5474;
inline constexpr int kMsgNameShortened = 5475;

QString Msg(int englishId);
QString DlgText(int englishDialogId, std::string_view control);
// A message box with the text of a message id and the Address Book's title; through the port
// when one is given.
MsgAnswer Tell(IMessageBoxPort* messages, QWidget* parent, int messageId, MsgIcon icon,
               MsgButtons buttons = MsgButtons::Ok);

}  // namespace qvl::phonebookui
