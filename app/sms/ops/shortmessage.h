// CShortMessage: the SMS operations over the modem's AT command channel (GSM 07.05, PDU mode):
// sending a text (in parts when long, in UCS2 when the GSM alphabet cannot carry it), copying
// the SIM and phone memories into the message store, writing a message back into the phone,
// counting, reading and deleting stored messages, the service centre, the SMS bearer and the
// +CDS status report.
//
// Created on the stack for one task. Every exchange goes through the phone engine: the port is
// taken and released with the engine's AcquirePort/ReleasePort (which keep the port mutex alive
// even when a handler stops the session meanwhile), and commands are written and read through
// the engine's modem I/O (the serial line, or a scripted modem in tests). Each exchange
// appends its answer (escaped response text) to `response`. Answers are read with the AT answer
// cursor and judged by their final result code (base/finalresult.h), so "+CME ERROR: n" and
// "+CMS ERROR: n" end an exchange as ERROR does. Long operations
// show the progress window of the UI ports and poll its Cancel flag between steps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/sms/codec/smscodec.h"
#include "app/sms/store/recordstore.h"
#include "common/ports/uiports.h"

namespace qvl {
class CPhoneEngine;
}

namespace qvl::sms {

// Message ids of the main program's string table used here.
enum SmsText : int {
    kMsgSentOk = 5023,
    kMsgSendFailed = 5024,
    kMsgAskDelete = 5140,
    kMsgPreparing = 5167,
    kMsgSendingParts = 5168,
    kMsgSending = 5169,
    kMsgReceiving = 5170,
    kMsgParsing = 5171,
    kMsgReceivingCount = 5172,
    kMsgReceivingSim = 5173,
    kMsgReceivingModem = 5174,
    kMsgProcessing = 5176,
    kMsgConcatenating = 5177,
    kMsgStoring = 5178,
    kMsgPictures = 5179,
    kMsgDeleting = 5180,
    kMsgCountSim = 5181,
    kMsgCountModem = 5182,
    kMsgDeletingOne = 5183,
    kMsgGettingSc = 5184,
    kMsgSettingSc = 5185,
    kMsgGettingService = 5186,
    kMsgSettingService = 5187,
    kMsgExportingParts = 5221,
    kMsgExporting = 5222,
    kMsgCopyNotSaved = 5415,
};

inline constexpr std::u16string_view kGraphicListText = u"<Message contains graphic objects>";
inline constexpr std::u16string_view kMissingPartText = u"<>";

class CShortMessage {
  public:
    // engine: the session whose port is used (no session: every exchange fails at once); it
    // also handles the unsolicited results read meanwhile. ui: progress window, message boxes
    // and pump (each may be null).
    CShortMessage(CPhoneEngine& engine, UiPorts ui);

    std::u16string number;
    std::u16string text;
    std::u16string time;
    int index = 0;
    int status = 0;
    std::u16string response;

    // Exchanges. SmsTransact takes the port itself and dispatches unsolicited results;
    // SmsExchange and SmsExchangeLong need the caller to hold it. The first two append "\r".
    bool SmsTransact(std::u16string_view command, std::uint32_t timeoutMs);
    bool SmsExchange(std::u16string_view command, std::uint32_t timeoutMs);
    bool SmsExchangeLong(std::u16string_view raw);
    // Like SmsExchange for AT+CMGS and AT+CMGW: reads until the "> " prompt (or a result) has
    // come, at most timeoutMs.
    bool SmsExchangePrompt(std::u16string_view command, std::uint32_t timeoutMs);

    // Sends `text` to `number`: 1 sent (every part), 0 failed. A number that is not an SMS
    // address (IsSmsAddress) is refused before anything is written.
    int SendText();
    // One SMS-SUBMIT through AT+CMGS; 1 when the modem answered OK to the PDU.
    int SendPdu(const SmsPart& part, SmsCoding coding, int sendAs, int bearer);
    // Reads SIM and phone memories into `store` (folder = storage status), joins long messages,
    // saves the store to `path` once, and only then deletes from the phone by the DeleteSMS
    // setting. Cancel is looked at before every location; three locations in a row without
    // any answer end the copy (and nothing is deleted). Nothing is read into a store that
    // CanSave refuses. Returns the number of messages read and saved.
    int CopyFromPhone(CRecordStore& store, const std::string& path, bool notices);
    int CountMessages();
    int CountStorage(std::u16string_view storage, int& total);
    // Writes a message into the phone: with a time as received (SMS-DELIVER, stat 1), without as
    // outgoing (SMS-SUBMIT, stat 3). 1 when every part was written. A number that is not an SMS
    // address is refused before anything is written.
    int ExportToPhone(std::u16string_view toNumber, std::u16string_view messageText,
                      std::u16string_view timeText);
    int ReadMessage();
    int DeleteMessage();
    std::u16string GetServiceCentre();
    // AT+CSCA, then AT+CSAS. A number that is not an SMS address is refused (0), unsent.
    int SetServiceCentre(std::u16string_view centre);
    int GetSmsService();
    int SetSmsService(int value);
    static SmsStatusReport ParseStatusReport(std::u16string_view answer);

  private:
    void Progress(int textId, int position = -1);
    void ProgressFormatted(int textId, int a, int b);
    bool Canceled() const;
    // One exchange on the port the caller holds; appends the answer to response. False (and
    // "Port Write Error") when the port is closed or the write failed.
    bool Exchange(std::u16string_view command, std::uint32_t timeoutMs, bool dispatch);

    CPhoneEngine& m_engine;
    UiPorts m_ui;
};

// Steps of CopyFromPhone after the reading: appends to the store, in this order, every single
// message of the table, every long message joined from its parts (found by reference, number
// and part number; a missing part shows as "<>"), and every picture message with its fixed
// text. Linear in the size of the table.
void AppendReadMessages(CRecordStore& store, const std::vector<SmsPduInfo>& table);

// Parsers of escaped modem answers, searching from `from`, all over the AT answer cursor.
// +CMGR: status, then the PDU on the next line (service-centre field first) and a final OK,
// decoded as SMS-SUBMIT for status 2 and 3 and SMS-DELIVER otherwise. False when there is none.
bool ParseCmgrAnswer(std::u16string_view answer, std::size_t from, SmsPduInfo& info);
// +CPMS?: the used count of the first memory and its total locations; -1 (total 0) when
// either is missing.
int ParseCpmsAnswer(std::u16string_view answer, std::size_t from, int& total);
// +CSCA?: the quoted service-centre number (possibly empty), nullopt when there is none.
std::optional<std::u16string> ParseCscaAnswer(std::u16string_view answer, std::size_t from);
// +CGSMS?: the service value, -1 when there is none.
int ParseCgsmsAnswer(std::u16string_view answer, std::size_t from);

// The compose view's send loop: `to` split at ';', each piece trimmed and skipped when empty;
// every recipient gets SendText, a message box (5023 or 5024 with " <number>") and a record in
// Out Sent (3) or Out Unsent (2) of the store at `path`, saved after each. Returns the number
// of recipients the text reached.
int SendToRecipients(CPhoneEngine& engine, UiPorts ui, std::u16string_view to,
                     std::u16string_view messageText, const std::string& path);

}  // namespace qvl::sms
