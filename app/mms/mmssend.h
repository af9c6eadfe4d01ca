// The send command of the compose screen in MMS mode: choose the profile, ask the modem for
// the operator and a PDP context, give the modem's port to the data call (stopping the phone
// session when both use one port), dial through the dial-up library, load libQVLMMSClient.so
// and call SendMMS, hang up, restart the session, and file the message in QVLPhoneMMS.dat
// ("Out Sent" or "Out Unsent").
//
// Everything runs on the UI thread; every wait pumps messages through the UI ports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports/uiports.h"
#include "mmsclient/mmsencode.h"

namespace qvl {
class CPhoneEngine;
}

namespace qvl::mms {

// What the compose screen hands over.
struct ComposedMms {
    std::u16string to;  // ";"-separated
    std::u16string cc;
    std::u16string subject;
    std::u16string text;
    std::vector<MmsObject> objects;
};

// An object path the type-5 record can hold: the record joins paths with line feeds, so a
// path with a control character would split into others. Also refused: empty paths.
bool IsStorableObjectPath(std::u16string_view path);

// The entry name of the data connection.
inline constexpr char16_t kDataEntryName[] = u"QuorvelMMS";

// The dial-up library's calls (libQVLConnMgr.so, linked). Tests replace them.
class IDataConnection {
  public:
    virtual ~IDataConnection() = default;
    virtual void SetUiPorts(const UiPorts* ports) = 0;
    virtual void Create(std::u16string_view device, std::u16string_view dial,
                        std::u16string_view init, std::u16string_view user,
                        std::u16string_view password, std::u16string_view dns,
                        std::u16string_view pin) = 0;
    virtual bool FirstPlatform() = 0;  // Is2000PPC
    virtual void Connect(std::u16string_view port, void** plusLibrary, void** rasHandle,
                         void** connectionHandle) = 0;
    virtual int Disconnect(void** plusLibrary, void* rasHandle, void* connectionHandle) = 0;
};

// The linked library.
IDataConnection& LinkedDataConnection();

// The folder of the running program (where the libraries loaded by name sit).
std::string ProgramFolder();

struct MmsSendPorts {
    UiPorts ui;                       // message boxes, pump, progress window
    IDataConnection* data = nullptr;  // null: LinkedDataConnection()
    std::string libraryFolder;        // empty: ProgramFolder()
    // The current language's text of a message id. Null: LoadLocalString.
    std::function<std::u16string(int)> text;
};

enum class MmsSendResult {
    kStopped,  // stopped before anything changed on the modem; nothing was filed
    kSent,     // confirmed by the relay, filed under "Out Sent"
    kNotSent,  // filed under "Out Unsent"
};

// Message ids of the flow.
inline constexpr int kMsgFillTo = 5237;
inline constexpr int kMsgDetectFailed = 5238;
inline constexpr int kMsgMmsSent = 5239;
inline constexpr int kMsgMmsFailed = 5240;
inline constexpr int kMsgRestartingPhone = 5244;
inline constexpr int kMsgDetectingProfile = 5245;
inline constexpr int kMsgStoppingPhone = 5256;
inline constexpr int kMsgImportingProfiles = 5440;
inline constexpr int kMsgConfirmGateway = 5441;
inline constexpr int kMsgGettingContext = 5442;
inline constexpr int kMsgBadApn = 5443;
inline constexpr int kMsgBadCredentials = 5444;
inline constexpr int kMsgIncompleteProfile = 5445;
inline constexpr int kMsgBadObjectPath = 5446;
inline constexpr int kMsgNoProfileChosen = 5447;
inline constexpr int kMsgNoProfiles = 5448;

// Runs the whole send. notifyDone is called last, once the message has been filed and the
// session restarted (the compose screen's post-send notification); not for kStopped.
MmsSendResult SendComposedMms(CPhoneEngine& engine, const MmsSendPorts& ports,
                              const ComposedMms& message, const std::function<void()>& notifyDone);

}  // namespace qvl::mms
