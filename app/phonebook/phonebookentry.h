// The records of the modem's phonebook memories and the memories themselves.
#pragma once

#include <string>

namespace qvl {

// The six memories, numbered as the current-memory code names them (0 is "none").
enum class PhonebookMemory {
    Sim = 1,        // "SM"
    Dialled = 2,    // "DC", or "LD" on handsets without it
    Received = 3,   // "RC"
    Missed = 4,     // "MC"
    Emergency = 5,  // "EN"
    Handset = 6,    // "ME"
};
inline constexpr int kPhonebookMemoryCount = 6;

// The two memories the user edits.
inline bool IsEditableBook(PhonebookMemory memory) {
    return memory == PhonebookMemory::Sim || memory == PhonebookMemory::Handset;
}
// The three call lists, read into CallLogEntry records.
inline bool IsCallLog(PhonebookMemory memory) {
    return memory == PhonebookMemory::Dialled || memory == PhonebookMemory::Received ||
           memory == PhonebookMemory::Missed;
}

// One location of the SIM book, the handset book or the emergency list.
struct PhonebookEntry {
    int index = 0;
    std::u16string number;  // as the modem gave it: no "+" is added or removed
    int type = 0;           // type of address (129, 145, ...); kept, never written or shown
    std::u16string name;

    bool operator==(const PhonebookEntry&) const = default;
};

// One row of the dialled, received or missed calls.
struct CallLogEntry {
    std::u16string index;  // the digits as the modem gave them
    std::u16string name;
    std::u16string number;
    std::u16string spare;  // stays empty
    int type = 0;

    bool operator==(const CallLogEntry&) const = default;
};

}  // namespace qvl
