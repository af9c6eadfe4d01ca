// The final result code of an AT answer (V.250 and GSM 07.07, verbose form): "OK", "ERROR",
// "+CME ERROR: <err>" or "+CMS ERROR: <err>", and the results that end a dial ("NO CARRIER",
// "NO DIALTONE", "BUSY", "NO ANSWER"), each on a line of its own.
//
// A command succeeded only when its answer ends with OK. Silence, a cut-off answer and every
// error form (whatever AT+CMEE chose: a bare ERROR, a number or a text) are failures; judging
// by a missing "ERROR" would take a time-out for success.
#pragma once

#include <cstdint>
#include <string_view>

namespace qvl {

enum class FinalResult {
    None,
    Ok,
    Error,
    CmeError,
    CmsError,
    NoCarrier,
    NoDialtone,
    Busy,
    NoAnswer
};

// ERROR in any of its AT+CMEE forms.
inline bool IsErrorResult(FinalResult result) {
    return result == FinalResult::Error || result == FinalResult::CmeError ||
           result == FinalResult::CmsError;
}

struct FinalCode {
    FinalResult result = FinalResult::None;
    // The number of a +CME/+CMS ERROR in numeric form (AT+CMEE=1); -1 otherwise.
    std::int64_t error = -1;
};

// The last final result code line of the escaped response text; None when there is none.
FinalCode ReadFinalResult(std::u16string_view answer);

// True when the answer's final result code is OK.
inline bool AnsweredOk(std::u16string_view answer) {
    return ReadFinalResult(answer).result == FinalResult::Ok;
}

}  // namespace qvl
