// Measures how long the message view takes to show a folder of 10,000 messages: loading
// QVLPhoneSMS.dat, building the rows and painting the visible part of the list. Prints the
// figures; the target is under 200 ms. Runs on the offscreen platform when no display is set.
#include <stdlib.h>

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/sms/store/recordstore.h"
#include "app/sms/ui/smsnewview.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

std::u16string Ascii(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (getenv("DISPLAY") == nullptr && getenv("WAYLAND_DISPLAY") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    QApplication app(argc, argv);
    QTemporaryDir home;
    setenv("QVL_HOME", home.path().toUtf8().constData(), 1);

    constexpr int kMessages = 10000;
    qvl::sms::CRecordStore store;
    for (int i = 0; i < kMessages; ++i) {
        qvl::sms::SmsRecord r;
        r.folder = qvl::sms::kFolderInRead;
        r.number = Ascii("+49170" + std::to_string(1000000 + i));
        r.time = Ascii("08/12/26,10:" + std::to_string(10 + i % 50) + ":00,GMT+1");
        r.text = Ascii("Message number " + std::to_string(i) +
                       ": a text of ordinary length, as people write them, with a few words more.");
        store.Append(std::move(r));
    }
    if (!store.Save(qvl::sms::SmsStorePath())) {
        std::fprintf(stderr, "could not write the store\n");
        return 1;
    }

    qvl::smsui::CQVLSMSNewView view(qvl::smsui::SmsUiPorts{});
    view.resize(480, 640);
    view.show();
    app.processEvents();

    std::vector<double> runs;
    for (int run = 0; run < 7; ++run) {
        view.ShowFolder(qvl::sms::kFolderInUnread);
        app.processEvents();
        const auto start = Clock::now();
        view.ShowFolder(qvl::sms::kFolderInRead);
        view.List()->viewport()->repaint();
        app.processEvents();
        runs.push_back(Ms(start));
    }
    if (view.Model()->rowCount() != kMessages) {
        std::fprintf(stderr, "expected %d rows, got %d\n", kMessages, view.Model()->rowCount());
        return 1;
    }
    std::sort(runs.begin(), runs.end());
    std::printf(
        "show a folder of %d messages (load, rows, paint): min %.1f ms, median %.1f ms, "
        "max %.1f ms over %zu runs; target < 200 ms\n",
        kMessages, runs.front(), runs[runs.size() / 2], runs.back(), runs.size());
    return 0;
}
