#include "mmsclient/mmstexts.h"

#include "base/text.h"
#include "common/lang/lang.h"

namespace qvl::mms {
namespace {

const char* EnglishText(TextId id) {
    switch (id) {
        case kTextConnecting:
            return "Connecting to gateway...";
        case kTextPreparingConnect:
            return "Preparing to connect...";
        case kTextSendingConnect:
            return "Sending connection request...";
        case kTextCheckingConnect:
            return "Checking connect response...";
        case kTextRedirecting:
            return "Redirecting the connection...";
        case kTextPreparingSend:
            return "Preparing to send MMS...";
        case kTextSending:
            return "Sending MMS...";
        case kTextReceiving:
            return "Receiving response...";
        case kTextAcknowledging:
            return "Acknowledging response...";
        case kTextSendingDisconnect:
            return "Sending disconnect request...";
        case kTextDisconnecting:
            return "Disconnecting from gateway...";
        case kTextTooManyObjects:
            return "An MMS can carry at most 126 objects. Remove some objects and send again.";
        case kTextTooLarge:
            return "The MMS is too large to send (at most 357 KB). Remove or shrink some objects.";
        case kTextTooManyRedirects:
            return "The WAP gateway redirected the connection too many times.";
        case kTextNoRecipient:
            return "The MMS has no recipient.";
    }
    return "";
}

}  // namespace

std::u16string MmsText(TextId id) {
    std::u16string text = LoadLocalString(id);
    if (text.empty()) {
        text = Widen(EnglishText(id));
    }
    return text;
}

}  // namespace qvl::mms
