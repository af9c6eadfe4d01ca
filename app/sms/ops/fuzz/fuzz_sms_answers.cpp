// libFuzzer target: the +CMGR, +CPMS, +CSCA, +CGSMS and +CDS answer parsers on any response text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/sms/ops/shortmessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string answer;
    answer.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        answer.push_back(static_cast<char16_t>(data[i]));
    }
    qvl::sms::SmsPduInfo info;
    qvl::sms::ParseCmgrAnswer(answer, 0, info);
    int total = 0;
    qvl::sms::ParseCpmsAnswer(answer, 0, total);
    qvl::sms::ParseCscaAnswer(answer, 0);
    qvl::sms::ParseCgsmsAnswer(answer, 0);
    qvl::sms::CShortMessage::ParseStatusReport(answer);
    return 0;
}
