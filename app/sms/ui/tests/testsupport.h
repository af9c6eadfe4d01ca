// Shared pieces of the message-screen tests: a private device root per test, a scripted
// message box, a fake modem and helpers that fill the record files.
#pragma once

#include <stdlib.h>

#include <QTemporaryDir>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/sms/store/recordstore.h"
#include "app/sms/ui/smsuiports.h"

namespace qvl::smsui::testing {

// A fresh QVL_HOME, removed afterwards.
class TempHome {
  public:
    TempHome() {
        setenv("QVL_HOME", m_dir.path().toUtf8().constData(), 1);
        setenv("QVL_LOCK_DIR", "", 1);
    }
    QString Path() const { return m_dir.path(); }

  private:
    QTemporaryDir m_dir;
};

struct ShownMessage {
    std::u16string text;
    MsgButtons buttons;
};

// Records every message box and answers questions from a script (Yes when it runs dry).
class ScriptedMessages : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons buttons,
                          MsgIcon) override {
        shown.push_back({std::u16string(text), buttons});
        if (buttons == MsgButtons::Ok) {
            return MsgAnswer::Ok;
        }
        if (answers.empty()) {
            return MsgAnswer::Yes;
        }
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool Showed(const QString& text) const {
        for (const auto& s : shown) {
            if (QString::fromStdU16String(s.text).startsWith(text)) {
                return true;
            }
        }
        return false;
    }
    std::vector<ShownMessage> shown;
    std::deque<MsgAnswer> answers;
};

// Sends succeed except to the numbers in failFor; copies hand over the messages in phone.
class FakeSmsModem : public ISmsModem {
  public:
    int SendText(std::u16string_view number, std::u16string_view text) override {
        sent.push_back({std::u16string(number), std::u16string(text)});
        return failFor.count(std::u16string(number)) != 0 ? 0 : 1;
    }
    int CopyFromPhone(sms::CRecordStore& store, bool) override {
        ++copies;
        int n = 0;
        for (auto& m : phone) {
            n += store.Append(m) ? 1 : 0;
        }
        if (n > 0 && !store.Save(sms::SmsStorePath())) {
            return 0;  // what was read stays on the phone
        }
        phone.clear();
        return n;
    }
    int ExportToPhone(std::u16string_view number, std::u16string_view text,
                      std::u16string_view time) override {
        exported.push_back({std::u16string(number), std::u16string(text), std::u16string(time)});
        return 1;
    }
    std::u16string GetServiceCentre() override { return serviceCentre; }
    int SetServiceCentre(std::u16string_view number) override {
        if (refuseCentre) {
            return 0;
        }
        serviceCentre = number;
        return 1;
    }
    int GetSmsService() override { return bearer; }

    struct Sent {
        std::u16string number;
        std::u16string text;
    };
    struct Exported {
        std::u16string number;
        std::u16string text;
        std::u16string time;
    };
    std::vector<Sent> sent;
    std::vector<Exported> exported;
    std::set<std::u16string> failFor;
    std::vector<sms::SmsRecord> phone;
    std::u16string serviceCentre = u"+491720000000";
    int bearer = 3;
    int copies = 0;
    bool refuseCentre = false;
};

inline sms::SmsRecord Sms(std::int32_t folder, std::u16string number, std::u16string text,
                          std::u16string time = u"") {
    sms::SmsRecord r;
    r.folder = folder;
    r.number = std::move(number);
    r.text = std::move(text);
    r.time = std::move(time);
    return r;
}

inline void PutMessages(const std::vector<sms::SmsRecord>& records) {
    sms::CRecordStore store;
    store.Load(sms::SmsStorePath());
    for (const auto& r : records) {
        store.Append(r);
    }
    store.Save(sms::SmsStorePath());
}

inline std::vector<sms::SmsRecord> StoredMessages() {
    sms::CRecordStore store;
    store.Load(sms::SmsStorePath());
    std::vector<sms::SmsRecord> result;
    for (const auto& r : store.Records()) {
        if (const auto* m = std::get_if<sms::SmsRecord>(&r)) {
            result.push_back(*m);
        }
    }
    return result;
}

inline std::vector<sms::SmsRecord> StoredIn(std::int32_t folder) {
    std::vector<sms::SmsRecord> result;
    for (auto& m : StoredMessages()) {
        if (m.folder == folder) {
            result.push_back(m);
        }
    }
    return result;
}

}  // namespace qvl::smsui::testing
