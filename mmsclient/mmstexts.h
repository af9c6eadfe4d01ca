// Message ids of the MMS library (English ids; the language routines map them).
#pragma once

#include <string>

namespace qvl::mms {

enum TextId : int {
    kTextConnecting = 5001,
    kTextPreparingConnect = 5002,
    kTextSendingConnect = 5003,
    kTextCheckingConnect = 5004,
    kTextRedirecting = 5005,
    kTextPreparingSend = 5006,
    kTextSending = 5007,
    kTextReceiving = 5008,
    kTextAcknowledging = 5009,
    kTextSendingDisconnect = 5010,
    kTextDisconnecting = 5011,
    kTextTooManyObjects = 5012,
    kTextTooLarge = 5013,
    kTextTooManyRedirects = 5014,
    kTextNoRecipient = 5015,
};

// The text of the current language; the English text when the table lacks the id.
std::u16string MmsText(TextId id);

}  // namespace qvl::mms
