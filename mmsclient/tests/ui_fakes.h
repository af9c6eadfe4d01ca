// Scripted UI ports: record what the library shows and cancel when the test says so.
#pragma once

#include "base/text.h"
#include "common/ports/uiports.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace qvl::mms::test {

class RecordingProgress final : public IProgressWindow {
public:
    std::function<bool()> cancelWhen;
    std::vector<std::string> texts;
    int created = 0;
    int destroyed = 0;

    void Create(int, int, int, bool) override { ++created; }
    void SetText(std::u16string_view text, int) override { texts.push_back(WideToUtf8(text)); }
    void Show(bool) override {}
    bool IsCanceled() const override { return cancelWhen && cancelWhen(); }
    void Close() override {}
    void Destroy() override { ++destroyed; }
};

class RecordingMessages final : public IMessageBoxPort {
public:
    std::vector<std::string> shown;
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons, MsgIcon) override {
        shown.push_back(WideToUtf8(text));
        return MsgAnswer::Ok;
    }
};

class CountingPump final : public IMessagePump {
public:
    std::atomic<long> pumps{0};
    std::function<void()> onPump;
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
};

}  // namespace qvl::mms::test
