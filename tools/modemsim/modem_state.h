// The state of the simulated GSM handset: SIM codes and counters, message memories,
// phonebooks, networks, supplementary services and the behaviours that set one handset
// apart from another. A seed file (seed.h) fills it; the command interpreter (modem_core.h)
// changes it.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qvl::sim {

// GSM 07.05 message status as AT+CMGL/AT+CMGR report it.
enum class SmsStatus { Unread = 0, Read = 1, Unsent = 2, Sent = 3 };

struct StoredSms {
    SmsStatus status = SmsStatus::Unread;
    std::string pdu;  // upper-case hex, service-centre address first
};

// One message memory ("SM" on the SIM, "ME" in the handset); locations count from 1.
struct SmsMemory {
    std::size_t capacity = 0;
    std::map<int, StoredSms> slots;

    int FirstFree() const;
    std::size_t Used() const { return slots.size(); }
};

struct PhonebookEntry {
    std::string number;
    int type = 129;
    std::string name;  // UTF-8; converted to the AT+CSCS set on the line
};

struct Phonebook {
    int capacity = 0;
    int numberLength = 20;  // digits ("+" is the type of number, not a digit)
    // Characters, or for the SIM book ("SM") octets of the SIM's name field (see charset.h).
    int nameLength = 16;
    bool writable = true;
    std::map<int, PhonebookEntry> entries;  // index 1..capacity
};

struct Operator {
    std::string numeric;     // "26201"
    std::string longName;    // UTF-8, may be empty
    std::string shortName;   // UTF-8, may be empty
    bool forbidden = false;  // listed with status 3; AT+COPS=1 answers +CME ERROR: 32
    int refuseCode = 0;      // AT+COPS=1 answers +CME ERROR: refuseCode (0: registration works)
    int act = 0;             // access technology in the list: 0 GSM, 2 UTRAN, 7 E-UTRAN
    std::string lac;         // location area code and cell id (hex) of +CREG/+CGREG mode 2;
    std::string cell;        // empty: made up from the operator's place in the list
};

// One forwarding rule of GSM 07.07 AT+CCFC, per reason and class.
struct ForwardRule {
    bool active = false;
    std::string number;
    int type = 129;
    int time = 20;  // no-reply time in seconds
};

struct PdpContext {
    std::string type = "IP";
    std::string apn;
};

// Behaviours in which real handsets differ; chosen per simulator instance.
struct Behaviour {
    bool echo = true;                   // initial echo (ATE1); ATZ returns to it
    bool cringVoice = false;            // "+CRING: VOICE" instead of "RING"
    bool pinCountersCpinr = false;      // AT+CPINR instead of AT+CPINC?
    bool blankLineInPhonebook = false;  // a blank line between AT+CPBR entries
    bool emptySmsIsError = false;       // an empty AT+CMGR location answers +CMS ERROR: 321
    int answerDelayMs = 0;              // slow handset: pause before every answer
    int ringIntervalMs = 3000;          // time between two RINGs of an incoming call
    int dialToAlertMs = 500;            // outgoing call: dialling -> alerting
    int autoAnswerMs = -1;  // outgoing call answered by the far end after this (-1 never)
    int networkScanMs = 0;  // duration of AT+COPS=?; commands typed meanwhile wait
    int registerMs = 0;     // duration of a manual registration (AT+COPS=1 and 4)
    bool copsAccessTechnology = true;  // AT+COPS=? and AT+COPS? with the fifth field (AcT)
    int escapeGuardMs = 500;           // "+++" guard time in data mode
    int statusReportMs = -1;  // a sent message asking for a report gets +CDS after this (-1 never)
    int cmeeDefault = 0;      // AT+CMEE after reset
    // AT+CNMI parameter lists accepted verbatim ("1,1,0,1"); empty: every valid combination.
    std::set<std::string> cnmiAccepted;
    // Phonebook memories the handset offers.
    std::set<std::string> phonebooks = {"SM", "ME", "DC", "LD", "RC", "MC", "EN"};
    // AT+CSCS: the set after a reset and the sets offered, in the order AT+CSCS=? lists them.
    std::string charset = "GSM";
    std::vector<std::string> charsets = {"GSM", "IRA", "8859-1", "UCS2"};
    // With AT+CSCS="UCS2", phonebook numbers travel as UCS2 hex too, as some handsets do.
    bool ucs2Numbers = false;
    // An AT+CCFC query answers one line for each of voice, data and fax (and any other class
    // with a rule), whatever class it asked for, as some networks do.
    bool forwardingEveryClass = false;
    // A forwarding registration that gives a no-reply time answers +CME ERROR: 4.
    bool forwardingTimeRefused = false;
};

struct Identity {
    std::string manufacturer = "QVL Labs";
    std::string model = "GSM-SIM 1";
    std::string revision = "R1.0.0";
    std::string imei = "490154203237518";
    std::string imsi = "262011234567890";
    std::string ownNumber = "+491701234567";
    std::string voiceMail = "+491703300";
};

struct SimCodes {
    bool present = true;
    bool pinEnabled = true;  // SIM PIN lock ("SC")
    std::string pin = "1234";
    std::string puk = "12345678";
    std::string pin2 = "5678";
    std::string puk2 = "87654321";
    int pinAttempts = 3;
    int pukAttempts = 10;
    int pin2Attempts = 3;
    int puk2Attempts = 10;
    bool phoneLockEnabled = false;  // phone code ("PS", also accepted as "ME")
    std::string phoneCode = "00000000";
    std::string networkCode = "12345678";  // network personalisation ("PN")
    std::string barringPassword = "0000";
};

// Everything a seed file can set.
struct ModemSeed {
    Identity identity;
    SimCodes sim;
    Behaviour behaviour;
    std::vector<Operator> operators;  // the first one is the home network
    std::string serviceCentre = "+491710760000";
    int signal = 20;   // +CSQ rssi 0..31, 99 unknown
    int battery = 80;  // percent
    bool charging = false;
    bool registered = true;  // a network is in reach (the handset registers when it may)
    bool roaming = false;
    bool gprsAttached = true;
    int volume = 125;  // AT+CLVL
    SmsMemory simSms{20, {}};
    SmsMemory phoneSms{50, {}};
    SmsMemory reportSms{20, {}};                  // "SR": status reports of AT+CNMI ds=2
    std::map<std::string, Phonebook> phonebooks;  // by memory name
    std::map<int, PdpContext> contexts;
    std::map<int, std::map<int, ForwardRule>> forwarding;  // reason -> class -> rule
};

// The defaults of a handset with no seed file: two networks, empty memories, the standard
// phonebook sizes.
ModemSeed DefaultSeed();

}  // namespace qvl::sim
