// The network selection, call settings and security codes over a real pseudo-terminal against
// the modem simulator and the serial transport: a manual registration that stays through the
// status checks, a slow search whose late answer never becomes the operator, forwarding per
// class with answers of several lines, codes refused in every AT+CMEE form, no code in the
// transport's trace, and the stored PIN that a later session start sends.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/fakes.h"
#include "app/engine/testing/simengine.h"
#include "app/services/callsettings.h"
#include "app/services/networkselection.h"
#include "app/services/securitycodes.h"
#include "base/text.h"
#include "common/lang/lang.h"

namespace qvl::services {
namespace {

using qvl::testing::EnginePeer;

class ServicesSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvl-home-XXXXXX").string();
        m_home = mkdtemp(pattern.data());
        setenv("QVL_HOME", m_home.c_str(), 1);
        setenv("QVL_LOCK_DIR", "", 1);
    }
    void TearDown() override {
        context.reset();
        phone.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
    }

    // A running session on the simulator with the set-up done and the operator known.
    void Running(sim::ModemSeed seed = sim::DefaultSeed()) {
        phone = std::make_unique<qvl::testing::SimEngine>(std::move(seed));
        ASSERT_TRUE(phone->Start()) << phone->modem.LastError();
        sim = &phone->modem;
        engine = phone->engine.get();
        context = std::make_unique<ServiceContext>(
            ServiceContext{*engine, UiPorts{&boxes, nullptr, nullptr},
                           [](int id) { return LoadLocalString(id); }, &phone->pin});
        ASSERT_EQ(engine->OperatorName(), u"QVL Mobile");
    }
    // One poll step that checks the operator, whatever the time.
    void OperatorCheck() {
        EnginePeer::ForgetOperatorCheck(*engine);
        engine->ProcessDialer();
    }
    int CountFrom(std::size_t from, const std::string& command) const {
        const auto log = sim->CommandLog();
        int n = 0;
        for (std::size_t i = from; i < log.size(); ++i) {
            n += log[i] == command ? 1 : 0;
        }
        return n;
    }

    std::string m_home;
    std::unique_ptr<qvl::testing::SimEngine> phone;
    sim::ModemSimulator* sim = nullptr;
    CPhoneEngine* engine = nullptr;
    std::unique_ptr<ServiceContext> context;
    qvl::testing::FakeMessageBox boxes;
};

TEST_F(ServicesSimTest, ManualRegistrationStaysUntilAutomatic) {
    Running();
    NetworkSelection selection(*context);
    ASSERT_EQ(selection.Search(), SearchOutcome::Listed);
    ASSERT_EQ(selection.Networks().size(), 3u);
    EXPECT_EQ(ShownName(selection.Networks()[1]), u"Northnet");
    EXPECT_FALSE(CanRegister(selection.Networks()[2]));
    ASSERT_EQ(selection.Register(1), RegisterOutcome::Registered);
    EXPECT_EQ(engine->OperatorName(), u"Northnet");
    const std::size_t mark = sim->CommandLog().size();
    // Several operator checks of the poll (each would come 20 s apart).
    for (int i = 0; i < 3; ++i) {
        OperatorCheck();
    }
    EXPECT_EQ(CountFrom(mark, "AT+COPS=0,0"), 0);
    EXPECT_EQ(CountFrom(mark, "AT+COPS=3,0"), 3);
    EXPECT_EQ(engine->OperatorName(), u"Northnet");
    EXPECT_EQ(sim->State().operators.size(), 3u);
    ASSERT_TRUE(selection.Automatic());
    EXPECT_EQ(selection.CurrentNetwork(), u"QVL Mobile");
    EXPECT_EQ(engine->OperatorName(), u"QVL Mobile");
    OperatorCheck();
    EXPECT_EQ(engine->OperatorName(), u"QVL Mobile");
    EXPECT_GE(CountFrom(mark, "AT+COPS=0,0"), 3);
}

TEST_F(ServicesSimTest, RefusedRegistrationInEveryErrorMode) {
    for (int cmee = 0; cmee <= 2; ++cmee) {
        sim::ModemSeed seed = sim::DefaultSeed();
        seed.behaviour.cmeeDefault = cmee;
        Running(seed);
        // A network that the list offers but that refuses the registration.
        sim->SetCannedAnswer("AT+COPS=?",
                             "\r\n+COPS: (2,\"QVL Mobile\",\"QVL\",\"26201\"),(1,\"Ghost\","
                             "\"G\",\"26209\"),,(0-4),(0-2)\r\n\r\nOK\r\n");
        NetworkSelection selection(*context);
        ASSERT_EQ(selection.Search(), SearchOutcome::Listed) << cmee;
        ASSERT_TRUE(CanRegister(selection.Networks()[1])) << cmee;
        boxes.shown.clear();
        phone->sink.Clear();
        EXPECT_EQ(selection.Register(1), RegisterOutcome::Denied) << cmee;
        EXPECT_EQ(boxes.shown, std::vector<std::u16string>{LoadLocalString(kMsgRegistrationDenied)})
            << cmee;
        EXPECT_FALSE(engine->NetworkKnown()) << cmee;
        EXPECT_EQ(phone->sink.CountOf(DialerEvent::Searching), 1) << cmee;
        EXPECT_EQ(engine->GetNetworkMode(), NetworkMode::Automatic) << cmee;
        // The next poll step finds the home network again.
        engine->ProcessDialer();
        EXPECT_EQ(engine->OperatorName(), u"QVL Mobile") << cmee;
        TearDown();
        SetUp();
    }
}

TEST_F(ServicesSimTest, LateSearchAnswerNeverBecomesTheOperator) {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.behaviour.networkScanMs = 1200;
    Running(seed);
    NetworkSelection selection(*context);
    selection.SetSearchTimeoutMs(200);
    EXPECT_EQ(selection.Search(), SearchOutcome::NoNetworks);
    // The list arrives while nothing reads the port.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(selection.Automatic());
    EXPECT_EQ(selection.CurrentNetwork(), u"QVL Mobile");
    EXPECT_EQ(engine->OperatorName(), u"QVL Mobile");
    // The commands after it get their own answers again.
    OperatorCheck();
    EXPECT_EQ(engine->OperatorName(), u"QVL Mobile");
    EXPECT_TRUE(engine->NetworkKnown());
}

TEST_F(ServicesSimTest, ForwardingPerClass) {
    Running();
    CallForwarding forwarding(*context);
    EXPECT_EQ(forwarding.Register(0, ServiceClass::Voice, u"+4930111", 0), kMsgRegistered);
    EXPECT_EQ(forwarding.Register(0, ServiceClass::Fax, u"0302", 0), kMsgRegistered);
    EXPECT_EQ(forwarding.Enable(0, ServiceClass::Voice), kMsgEnabled);
    EXPECT_EQ(forwarding.Enable(0, ServiceClass::Fax), kMsgEnabled);
    // Data has no number registered: the network refuses to enable it.
    EXPECT_EQ(forwarding.Enable(0, ServiceClass::Data), kMsgEnableFailed);
    boxes.shown.clear();
    EXPECT_EQ(forwarding.QueryStatus(0, ServiceClass::Fax), kMsgDivertedTo);
    EXPECT_EQ(forwarding.QueryStatus(0, ServiceClass::Voice), kMsgDivertedTo);
    EXPECT_EQ(forwarding.QueryStatus(0, ServiceClass::Data), kMsgDisabled);
    EXPECT_EQ(boxes.shown[0], u"Diverted to: 0302");
    EXPECT_EQ(boxes.shown[1], u"Diverted to: +4930111");
    EXPECT_EQ(forwarding.Unregister(0, ServiceClass::Voice), kMsgUnregistered);
    EXPECT_EQ(forwarding.QueryStatus(0, ServiceClass::Voice), kMsgDisabled);
    EXPECT_EQ(forwarding.QueryStatus(0, ServiceClass::Fax), kMsgDivertedTo);
    // No reply with its time; the type follows the number.
    EXPECT_EQ(forwarding.Register(2, ServiceClass::Voice, u"+4940222", 3), kMsgRegistered);
    bool sent = false;
    for (const auto& line : sim->CommandLog()) {
        sent = sent || line == "AT+CCFC=2,3,\"+4940222\",145,1,,,20";
    }
    EXPECT_TRUE(sent);
}

TEST_F(ServicesSimTest, WaitingOnAndOff) {
    Running();
    CallWaiting waiting(*context);
    EXPECT_EQ(waiting.Enable(), kMsgEnabled);
    EXPECT_EQ(waiting.QueryStatus(), kMsgEnabled);
    EXPECT_EQ(waiting.Disable(), kMsgDisabled);
    EXPECT_EQ(waiting.QueryStatus(), kMsgDisabled);
    // Without a network the query is refused, and says so.
    sim->SetRegistered(false);
    EXPECT_EQ(waiting.QueryStatus(), kMsgFailed);
}

TEST_F(ServicesSimTest, RefusedCodesInEveryErrorMode) {
    for (int cmee = 0; cmee <= 2; ++cmee) {
        sim::ModemSeed seed = sim::DefaultSeed();
        seed.behaviour.cmeeDefault = cmee;
        Running(seed);
        engine->SetStoredPin(u"1234");
        SecurityCodes codes(*context);
        EXPECT_EQ(codes.ChangeCode(2, u"9999", u"4321", u"4321"), kMsgCodeChangeFailed) << cmee;
        EXPECT_EQ(EnginePeer::StoredPin(*engine), u"1234") << cmee;
        const int lock = engine->SimPinLock();
        phone->pin.Answer(DialogResult::Ok, u"9999");
        EXPECT_EQ(codes.ToggleLock(LockFacility::SimPin), kMsgCodeLockFailed) << cmee;
        EXPECT_EQ(engine->SimPinLock(), lock) << cmee;
        EXPECT_TRUE(sim->State().sim.pinEnabled) << cmee;
        TearDown();
        SetUp();
    }
}

TEST_F(ServicesSimTest, NoCodeReachesTheTrace) {
    Running();
    std::vector<std::u16string> traces;
    SetTraceHook([&](std::u16string_view text) { traces.emplace_back(text); });
    SecurityCodes codes(*context);
    EXPECT_EQ(codes.ChangeCode(2, u"1234", u"4826", u"4826"), kMsgCodeChanged);
    EXPECT_EQ(codes.ChangeCode(3, u"5678", u"9317", u"9317"), kMsgCodeChanged);
    phone->pin.Answer(DialogResult::Ok, u"4826");
    EXPECT_EQ(codes.ToggleLock(LockFacility::SimPin), kMsgCodeLockDone);
    phone->pin.Answer(DialogResult::Ok, u"00000000");
    EXPECT_EQ(codes.ToggleLock(LockFacility::Phone), kMsgCodeLockDone);
    // Something after them, so the trace holds the commands around the secret ones.
    std::u16string name;
    int status = 0;
    engine->CheckNetwork(name, status);
    SetTraceHook(nullptr);
    ASSERT_FALSE(traces.empty());
    for (const auto& t : traces) {
        for (const std::u16string_view code : {u"1234", u"4826", u"5678", u"9317", u"00000000"}) {
            EXPECT_EQ(t.find(code), std::u16string::npos) << WideToUtf8(t);
        }
    }
    EXPECT_EQ(sim->State().sim.pin, "4826");
    EXPECT_EQ(sim->State().sim.pin2, "9317");
    EXPECT_FALSE(sim->State().sim.pinEnabled);
    EXPECT_TRUE(sim->State().sim.phoneLockEnabled);
}

TEST_F(ServicesSimTest, NewPinIsSentByALaterSessionStart) {
    Running();
    SecurityCodes codes(*context);
    ASSERT_EQ(codes.ChangeCode(2, u"1234", u"4826", u"4826"), kMsgCodeChanged);
    // The SIM is taken out and put back: it asks for its PIN again.
    sim->SetSimPresent(false);
    sim->SetSimPresent(true);
    engine->StopSession();
    const std::size_t mark = sim->CommandLog().size();
    ASSERT_EQ(engine->StartSession(AutoPin::UseStoredPin), 1);
    EXPECT_TRUE(phone->pin.shown.empty());
    bool sentNew = false;
    const auto log = sim->CommandLog();
    for (std::size_t i = mark; i < log.size(); ++i) {
        const std::string& line = log[i];
        EXPECT_NE(line, "AT+CPIN=\"1234\"");
        sentNew = sentNew || line == "AT+CPIN=\"4826\"";
    }
    EXPECT_TRUE(sentNew);
    EXPECT_EQ(sim->State().sim.pinAttempts, 3);
}

TEST_F(ServicesSimTest, EnablingTheSimLockStoresItsPin) {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    Running(seed);
    engine->WipeStoredPin();
    ASSERT_EQ(engine->SimPinLock(), 0);
    SecurityCodes codes(*context);
    phone->pin.Answer(DialogResult::Ok, u"1234");
    ASSERT_EQ(codes.ToggleLock(LockFacility::SimPin), kMsgCodeLockDone);
    EXPECT_EQ(engine->SimPinLock(), 1);
    phone->pin.shown.clear();
    sim->SetSimPresent(false);
    sim->SetSimPresent(true);
    engine->StopSession();
    ASSERT_EQ(engine->StartSession(AutoPin::UseStoredPin), 1);
    EXPECT_TRUE(phone->pin.shown.empty());
    EXPECT_EQ(engine->SimPinLock(), 1);
}

TEST_F(ServicesSimTest, ModemInformation) {
    Running();
    const ModemInfo info = ReadModemInfo(*context);
    EXPECT_EQ(info.version, u"R1.0.0");
    EXPECT_EQ(info.model, u"GSM-SIM 1");
    EXPECT_EQ(info.manufacturer, u"QVL Labs");
    EXPECT_EQ(info.imei, u"490154203237518");
}

}  // namespace
}  // namespace qvl::services
