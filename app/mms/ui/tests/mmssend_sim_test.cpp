// An MMS sent from the compose screen end to end: the phone engine on the modem simulator
// answers the operator and context queries, the dial-up library dials through the stand-in
// pppd (which runs the real dial script against the simulator), libQVLMMSClient.so delivers
// through a real WAP gateway (Kannel on loopback) to a stand-in MMS relay, and the message is
// filed and the phone session restarted. The relay's m-send-req is read here by a decoder of
// its own, not by the program's encoder.
// The simulator first: its state names a member "slots", which Qt defines as a keyword.
#include "tools/modemsim/modem_simulator.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "app/mms/mmsprofiles.h"
#include "app/mms/mmssend.h"
#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/composeview.h"
#include "app/sms/ui/messagemodel.h"
#include "app/sms/ui/smsnewview.h"
#include "app/sms/ui/tests/testsupport.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "kannel_harness.h"
#include "platform/ppp/tests/fake_pppd_harness.h"
#include "platform/registry.h"

using namespace qvl;
using namespace qvl::smsui;
using namespace qvl::smsui::testing;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The parts of an m-send-req as read by this test: the text values of its headers by field
// (To and Cc once per recipient) and the body parts with their content types.
struct DecodedPart {
    int mediaCode = -1;  // a well-known content type, as its short-integer octet (0x80 set)
    std::string mediaText;
    Bytes data;
};
struct DecodedSendReq {
    bool ok = false;
    std::string why;
    std::multimap<int, std::string> headers;
    std::vector<DecodedPart> parts;
    std::string First(int field) const {
        const auto it = headers.find(field);
        return it == headers.end() ? std::string() : it->second;
    }
};

class Reader {
  public:
    explicit Reader(const Bytes& b) : m_b(b) {}
    bool End() const { return m_at >= m_b.size(); }
    bool Byte(std::uint8_t& v) {
        if (End()) {
            return false;
        }
        v = m_b[m_at++];
        return true;
    }
    std::uint8_t Peek() const { return End() ? 0 : m_b[m_at]; }
    bool Uintvar(std::uint32_t& v) {
        v = 0;
        for (int i = 0; i < 5; ++i) {
            std::uint8_t o = 0;
            if (!Byte(o)) {
                return false;
            }
            v = (v << 7) | (o & 0x7F);
            if ((o & 0x80) == 0) {
                return true;
            }
        }
        return false;
    }
    bool Text(std::string& t) {
        t.clear();
        if (Peek() == 0x7F) {
            ++m_at;  // quote
        }
        for (std::uint8_t o = 0; Byte(o);) {
            if (o == 0) {
                return true;
            }
            t.push_back(static_cast<char>(o));
        }
        return false;
    }
    // A value-length (0..30, or 31 and a uintvar).
    bool Length(std::uint32_t& n) {
        std::uint8_t o = 0;
        if (!Byte(o) || o > 31) {
            return false;
        }
        if (o < 31) {
            n = o;
            return true;
        }
        return Uintvar(n);
    }
    bool Skip(std::size_t n) {
        if (m_b.size() - m_at < n) {
            return false;
        }
        m_at += n;
        return true;
    }
    bool Take(std::size_t n, Bytes& out) {
        if (m_b.size() - m_at < n) {
            return false;
        }
        out.assign(m_b.begin() + static_cast<long>(m_at),
                   m_b.begin() + static_cast<long>(m_at + n));
        m_at += n;
        return true;
    }
    std::size_t At() const { return m_at; }

  private:
    const Bytes& m_b;
    std::size_t m_at = 0;
};

// A header value as text: a text string, an encoded string (length, charset, text), a short
// integer (as its number) or, for other long forms, nothing but skipped.
bool HeaderValue(Reader& r, std::string& text) {
    const std::uint8_t first = r.Peek();
    if (first >= 0x80) {
        std::uint8_t o = 0;
        r.Byte(o);
        text = std::to_string(o & 0x7F);
        return true;
    }
    if (first >= 0x20 || first == 0) {
        return r.Text(text);
    }
    std::uint32_t n = 0;
    if (!r.Length(n)) {
        return false;
    }
    const std::size_t end = r.At() + n;
    Bytes value;
    if (!r.Take(n, value)) {
        return false;
    }
    // Encoded string: a charset (short integer) then the text.
    text.clear();
    std::size_t i = !value.empty() && value[0] >= 0x80 ? 1 : 0;
    for (; i < value.size() && value[i] != 0; ++i) {
        text.push_back(static_cast<char>(value[i]));
    }
    (void)end;
    return true;
}

DecodedSendReq DecodeSendReq(const Bytes& pdu) {
    DecodedSendReq d;
    Reader r(pdu);
    for (;;) {
        std::uint8_t field = 0;
        if (!r.Byte(field) || field < 0x80) {
            d.why = "header field expected";
            return d;
        }
        if (field == 0x84) {  // Content-Type, the last header: multipart
            std::string type;
            if (!HeaderValue(r, type)) {
                d.why = "content type";
                return d;
            }
            d.headers.emplace(field & 0x7F, type);
            break;
        }
        std::string value;
        if (!HeaderValue(r, value)) {
            d.why = "header " + std::to_string(field);
            return d;
        }
        d.headers.emplace(field & 0x7F, value);
    }
    std::uint32_t entries = 0;
    if (!r.Uintvar(entries) || entries > 64) {
        d.why = "part count";
        return d;
    }
    for (std::uint32_t i = 0; i < entries; ++i) {
        std::uint32_t headersLength = 0;
        std::uint32_t dataLength = 0;
        Bytes head;
        DecodedPart part;
        if (!r.Uintvar(headersLength) || !r.Uintvar(dataLength) || !r.Take(headersLength, head) ||
            !r.Take(dataLength, part.data)) {
            d.why = "part " + std::to_string(i);
            return d;
        }
        // The content type opens the part's headers: a short integer, a text, or a
        // value-length general form whose first item is one of those.
        Reader h(head);
        std::size_t at = 0;
        if (!head.empty() && head[0] < 0x20) {
            std::uint32_t n = 0;
            h.Length(n);
            at = h.At();
        }
        if (at < head.size() && head[at] >= 0x80) {
            part.mediaCode = head[at];
        } else {
            for (; at < head.size() && head[at] != 0; ++at) {
                part.mediaText.push_back(static_cast<char>(head[at]));
            }
        }
        d.parts.push_back(std::move(part));
    }
    d.ok = r.End();
    if (!d.ok) {
        d.why = "octets after the last part";
    }
    return d;
}

class QtPump final : public IMessagePump {
  public:
    void PumpMessages() override { QCoreApplication::processEvents(); }
};

class NoProgress final : public IProgressWindow {
  public:
    void Create(int, int, int, bool) override {}
    void SetText(std::u16string_view text, int) override { texts.emplace_back(text); }
    void Show(bool) override {}
    bool IsCanceled() const override { return false; }
    void Close() override {}
    void Destroy() override {}
    std::vector<std::u16string> texts;
};

std::vector<sms::MmsMessageRecord> FiledMms() {
    sms::CRecordStore store;
    store.Load(sms::MmsStorePath());
    std::vector<sms::MmsMessageRecord> out;
    for (const auto& record : store.Records()) {
        if (const auto* m = std::get_if<sms::MmsMessageRecord>(&record)) {
            out.push_back(*m);
        }
    }
    return out;
}

}  // namespace

class MmsSendSimTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<mms::test::KannelGateway> m_gateway;
    std::string m_gatewayProblem;
    std::unique_ptr<TempHome> m_home;
    std::unique_ptr<ppp::test::FakePppd> m_pppd;
    std::unique_ptr<sim::ModemSimulator> m_sim;
    std::unique_ptr<CPhoneEngine> m_engine;
    qvl::testing::RecordingEventSink m_sink;
    qvl::testing::FakePinDialog m_pin;
    qvl::testing::FakeModemChooser m_chooser;
    qvl::testing::FakeModemDirectory m_directory;
    qvl::testing::FakeClock m_clock;
    qvl::testing::FakePowerSupply m_power;
    ScriptedMessages m_boxes;
    QtPump m_pump;
    NoProgress m_progress;
    SmsUiPorts m_ports;
    QString m_picture;
    Bytes m_pictureBytes;

    bool Boot() {
        m_home = std::make_unique<TempHome>();
        const std::string home = m_home->Path().toStdString();
        std::filesystem::create_directories(home + "/lock");
        setenv("QVL_LOCK_DIR", (home + "/lock").c_str(), 1);
        m_pppd = std::make_unique<ppp::test::FakePppd>();
        m_pppd->InstallHooks();
        m_pppd->Script("up", "run");
        m_sim = std::make_unique<sim::ModemSimulator>(sim::DefaultSeed());
        const std::string path = m_sim->Start();
        if (path.empty()) {
            return false;
        }
        const ModemEntry entry{u"Simulator", u"QVL Labs GSM-SIM 1", Utf8ToWide(path)};
        m_directory.entries = {entry};
        m_chooser.choice = entry;
        EnginePorts ports;
        ports.sink = &m_sink;
        ports.pinDialog = &m_pin;
        ports.chooser = &m_chooser;
        ports.modems = &m_directory;
        ports.clock = &m_clock;
        ports.power = &m_power;
        ports.text = qvl::testing::EnglishEngineText;
        m_engine = std::make_unique<CPhoneEngine>(ports);
        m_pin.Answer(DialogResult::Ok, u"1234");
        if (m_engine->StartSession(AutoPin::AskUser) != 1 || m_engine->InitModem() != 1) {
            return false;
        }
        // The dial-up library finds the modem by the name the engine knows it by.
        const RegKey modem =
            RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\QVLSimData", RegOpen::Create);
        modem.WriteString(u"FriendlyName", m_engine->ModemName());
        modem.WriteString(u"Port", Utf8ToWide(path));

        m_boxes = ScriptedMessages();
        m_ports = SmsUiPorts();
        m_ports.messages = &m_boxes;
        m_ports.landscape = [] { return false; };
        m_ports.sendMms = [this](const mms::ComposedMms& message,
                                 const std::function<void()>& done) {
            mms::MmsSendPorts send;
            send.ui = UiPorts{&m_boxes, &m_pump, &m_progress};
            return mms::SendComposedMms(*m_engine, send, message, done);
        };
        // A picture, and a profile found by the simulator's operator code.
        m_pictureBytes.clear();
        for (int i = 0; i < 2500; ++i) {
            m_pictureBytes.push_back(static_cast<std::uint8_t>(i * 7));
        }
        m_picture = m_home->Path() + "/beach.jpg";
        std::ofstream(m_picture.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(m_pictureBytes.data()),
                   static_cast<std::streamsize>(m_pictureBytes.size()));
        return true;
    }

    void StoreProfile(const std::string& uri) {
        mms::MmsProfile p;
        p.key = 12;
        p.operatorCode = 26201;
        p.name = u"QVL Mobile MMS";
        p.apn = u"mms.qvl.example";
        p.gateway = u"127.0.0.1";
        p.uri = Utf8ToWide(uri);
        sms::ChangeFile(sms::MmsProfileStorePath(), [&](sms::CRecordStore& store) {
            store.Append(p);
            return true;
        });
    }

    // Composes the message with a text and the picture and presses Send; the number of
    // commands the simulator had before.
    std::size_t ComposeAndSend(CQVLComposeView& compose) {
        compose.SetMode(CQVLComposeView::Mode::kMms);
        compose.SetTo("+491701234567; +491707654321");
        compose.Cc()->setText("+491709999");
        compose.Subject()->setText("Holiday");
        compose.SetText("Greetings from the beach");
        compose.AddObject(m_picture);
        compose.setResult(-1);
        const std::size_t before = m_sim->CommandLog().size();
        QTest::mouseClick(compose.findChild<QPushButton*>("send"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(&compose);
        return before;
    }

    std::vector<std::string> CommandsSince(std::size_t before) const {
        const auto log = m_sim->CommandLog();
        return {log.begin() + static_cast<long>(std::min(before, log.size())), log.end()};
    }

    static bool Has(const std::vector<std::string>& commands, const std::string& command) {
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    }
    static long IndexOf(const std::vector<std::string>& commands, const std::string& command) {
        return std::find(commands.begin(), commands.end(), command) - commands.begin();
    }

  private slots:
    void initTestCase() {
        if (!mms::test::KannelGateway::Installed()) {
            QSKIP("Kannel is not installed; scripts/deps.sh installs it");
        }
        m_gateway = std::make_unique<mms::test::KannelGateway>();
        if (!m_gateway->Start(m_gatewayProblem)) {
            QFAIL(("the WAP gateway did not start: " + m_gatewayProblem).c_str());
        }
    }
    void cleanupTestCase() { m_gateway.reset(); }
    void init() { QVERIFY(Boot()); }
    void cleanup() {
        m_engine.reset();
        m_sim.reset();
        m_pppd.reset();
        unsetenv("QVL_LOCK_DIR");
    }

    void composedMmsGoesThroughTheGatewayAndIsFiledUnderOutSent() {
        mms::test::HttpRelay relay(mms::test::HttpRelay::Mode::ConfirmOk);
        StoreProfile(relay.Uri());
        CQVLComposeView compose(m_ports);
        const std::size_t before = ComposeAndSend(compose);

        // The modem: operator and contexts asked, the context defined by the dial script.
        const auto commands = CommandsSince(before);
        QVERIFY(Has(commands, "AT+COPS=3,2"));
        QVERIFY(Has(commands, "AT+COPS?"));
        QVERIFY(Has(commands, "AT+CGDCONT?"));
        const long dial = IndexOf(commands, "ATD*99***1#");
        QVERIFY2(dial < static_cast<long>(commands.size()), "dialled context 1");
        QVERIFY(Has(commands, "AT+cgdcont=1,\"IP\",\"mms.qvl.example\""));
        // The session is back: its set-up commands follow the data call.
        const std::vector<std::string> after(commands.begin() + dial, commands.end());
        QVERIFY2(Has(after, "AT+CPIN?"), "session restarted");
        QVERIFY(m_engine->IsPortOpen());
        QCOMPARE(m_sim->Mode(), sim::LineMode::Command);
        QVERIFY(m_pppd->Records().size() == 1u);

        // The relay got the message: read here with a decoder of its own.
        const auto requests = relay.Requests();
        QCOMPARE(requests.size(), 1u);
        const DecodedSendReq req = DecodeSendReq(requests[0].body);
        QVERIFY2(req.ok, req.why.c_str());
        QCOMPARE(req.First(0x0C), std::string("0"));  // m-send-req (0x80)
        std::vector<std::string> to;
        for (auto [it, end] = req.headers.equal_range(0x17); it != end; ++it) {
            to.push_back(it->second);
        }
        QCOMPARE(to.size(), 2u);
        QVERIFY2(to[0].rfind("+491701234567", 0) == 0, to[0].c_str());
        QVERIFY2(to[1].rfind("+491707654321", 0) == 0, to[1].c_str());
        QVERIFY(req.First(0x02).rfind("+491709999", 0) == 0);  // Cc
        QCOMPARE(req.First(0x16), std::string("Holiday"));     // Subject
        QCOMPARE(req.parts.size(), 2u);
        QCOMPARE(req.parts[0].mediaCode, 0x83);  // text/plain
        QCOMPARE(std::string(req.parts[0].data.begin(), req.parts[0].data.end()),
                 std::string("Greetings from the beach"));
        QCOMPARE(req.parts[1].mediaCode, 0x9E);  // image/jpeg
        QVERIFY(req.parts[1].data == m_pictureBytes);

        // Filed under "Out Sent", told, and the screen closed on the notification.
        const auto filed = FiledMms();
        QCOMPARE(filed.size(), 1u);
        QCOMPARE(filed[0].folder, sms::kFolderOutSent);
        QCOMPARE(filed[0].subject, u"Holiday");
        QCOMPARE(filed[0].objects, m_picture.toStdU16String() + u"\n");
        QVERIFY(m_boxes.Showed(QString::fromStdU16String(LoadLocalString(mms::kMsgMmsSent))));
        QCOMPARE(compose.result(), int(QDialog::Accepted));
        // The message list shows it in "Out Sent".
        CQVLSMSNewView view(m_ports);
        QVERIFY(view.ShowFolder(sms::kFolderOutSent));
        QCOMPARE(view.Model()->rowCount(), 1);
        QCOMPARE(view.Model()->RowAt(0)->kind, MessageKind::kMms);
        QCOMPARE(view.Model()->RowAt(0)->number, u"+491701234567; +491707654321");
    }

    void refusedMessageIsFiledUnderOutUnsentWithTheFailureShown() {
        mms::test::HttpRelay relay(mms::test::HttpRelay::Mode::ConfirmNotOk);
        StoreProfile(relay.Uri());
        CQVLComposeView compose(m_ports);
        const std::size_t before = ComposeAndSend(compose);
        QCOMPARE(relay.Requests().size(), 1u);
        const auto filed = FiledMms();
        QCOMPARE(filed.size(), 1u);
        QCOMPARE(filed[0].folder, sms::kFolderOutUnsent);
        QVERIFY(m_boxes.Showed(QString::fromStdU16String(LoadLocalString(mms::kMsgMmsFailed))));
        const auto commands = CommandsSince(before);
        const long dial = IndexOf(commands, "ATD*99***1#");
        QVERIFY(dial < static_cast<long>(commands.size()));
        QVERIFY2(Has({commands.begin() + dial, commands.end()}, "AT+CPIN?"), "session restarted");
        QVERIFY(m_engine->IsPortOpen());
        QCOMPARE(compose.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(MmsSendSimTest)
#include "mmssend_sim_test.moc"
