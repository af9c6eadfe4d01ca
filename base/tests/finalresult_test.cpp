#include "base/finalresult.h"

#include <gtest/gtest.h>

#include <string>

namespace qvl {
namespace {

struct FinalRow {
    const char* name;
    std::u16string_view answer;
    FinalResult result;
    std::int64_t error;
};

// Real answers in the three AT+CMEE modes, beside silence and cut-off or look-alike lines.
const FinalRow kFinalRows[] = {
    {"ok with echo", u"AT+CCWA=1,1,1\\r\\r\\nOK\\r\\n", FinalResult::Ok, -1},
    {"ok after a result line", u"\\r\\n+CCWA: 1,1\\r\\n\\r\\nOK\\r\\n", FinalResult::Ok, -1},
    {"bare error (CMEE 0)", u"AT+CPWD=\\r\\r\\nERROR\\r\\n", FinalResult::Error, -1},
    {"numeric CME error (CMEE 1)", u"\\r\\n+CME ERROR: 16\\r\\n", FinalResult::CmeError, 16},
    {"verbose CME error (CMEE 2)", u"\\r\\n+CME ERROR: incorrect password\\r\\n",
     FinalResult::CmeError, -1},
    {"CMS error", u"\\r\\n+CMS ERROR: 500\\r\\n", FinalResult::CmsError, 500},
    {"silence", u"", FinalResult::None, -1},
    {"echo only (cut off)", u"AT+COPS=?\\r\\r\\n", FinalResult::None, -1},
    {"cut inside OK", u"\\r\\n+COPS: 0\\r\\n\\r\\nO", FinalResult::None, -1},
    {"OK inside a quoted name", u"\\r\\n+COPS: 0,0,\"OK\"\\r\\n", FinalResult::None, -1},
    {"a line that only starts with OK", u"\\r\\nOKAY\\r\\n", FinalResult::None, -1},
    {"blanks around OK", u"\\r\\n OK \\r\\n", FinalResult::Ok, -1},
    {"the last final code counts", u"\\r\\nERROR\\r\\n\\r\\nOK\\r\\n", FinalResult::Ok, -1},
    {"no carrier", u"\\r\\nNO CARRIER\\r\\n", FinalResult::NoCarrier, -1},
    {"no carrier without line ends", u"NO CARRIER", FinalResult::NoCarrier, -1},
    {"no dialtone after the echo", u"ATD123;\\r\\r\\nNO DIALTONE\\r\\n", FinalResult::NoDialtone,
     -1},
    {"busy", u"\\r\\nBUSY\\r\\n", FinalResult::Busy, -1},
    {"no answer", u"\\r\\nNO ANSWER\\r\\n", FinalResult::NoAnswer, -1},
    {"huge error number", u"\\r\\n+CME ERROR: 99999999999999999999\\r\\n", FinalResult::CmeError,
     -1},
};

TEST(FinalResultTest, Table) {
    for (const FinalRow& row : kFinalRows) {
        const FinalCode code = ReadFinalResult(row.answer);
        EXPECT_EQ(code.result, row.result) << row.name;
        EXPECT_EQ(code.error, row.error) << row.name;
        EXPECT_EQ(AnsweredOk(row.answer), row.result == FinalResult::Ok) << row.name;
        EXPECT_EQ(IsErrorResult(code.result), row.result == FinalResult::Error ||
                                                  row.result == FinalResult::CmeError ||
                                                  row.result == FinalResult::CmsError)
            << row.name;
    }
}

}  // namespace
}  // namespace qvl
