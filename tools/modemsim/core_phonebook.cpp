// Phonebook memories (GSM 07.07 AT+CPBS, AT+CPBR, AT+CPBW): the SIM book, the handset book,
// the call lists that the handset fills itself and the read-only emergency numbers.
#include "base/text.h"
#include "tools/modemsim/modem_core.h"

namespace qvl::sim {

namespace {

// The digits a phonebook number may hold: those of a SIM record (BCD digits, "*", "#",
// the pause "p"/"w") and "+" in front for an international number.
bool ValidBookNumber(const std::string& number) {
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        const bool ok = (c >= '0' && c <= '9') || c == '*' || c == '#' || c == 'p' || c == 'P' ||
                        c == 'w' || c == 'W' || (c == '+' && i == 0);
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace

Phonebook* ModemCore::CurrentBook() {
    const auto it = m_state.phonebooks.find(m_book);
    return it == m_state.phonebooks.end() ? nullptr : &it->second;
}

ModemCore::Final ModemCore::CmdCpbs(Form form, const AtArgs& args, Reply& reply) {
    const auto& offered = m_state.behaviour.phonebooks;
    if (form == Form::Test) {
        std::string line = "+CPBS: (";
        bool first = true;
        for (const auto& [name, book] : m_state.phonebooks) {
            if (offered.contains(name)) {
                line += (first ? "\"" : ",\"") + name + "\"";
                first = false;
            }
        }
        reply.Line(line + ")");
        return Final::Ok();
    }
    if (!SimReady()) {
        return SimError(false);
    }
    if (form == Form::Read) {
        const Phonebook* book = CurrentBook();
        if (book == nullptr) {
            return Final::Cme(3);
        }
        reply.Line("+CPBS: \"" + m_book + "\"," + std::to_string(book->entries.size()) + "," +
                   std::to_string(book->capacity));
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    const std::string name = UpperAscii(args.Text(0));
    if (!offered.contains(name) || !m_state.phonebooks.contains(name)) {
        return Final::Cme(3);
    }
    m_book = name;
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCpbr(Form form, const AtArgs& args, Reply& reply) {
    if (!SimReady()) {
        return SimError(false);
    }
    const Phonebook* book = CurrentBook();
    if (book == nullptr) {
        return Final::Cme(3);
    }
    if (form == Form::Test) {
        reply.Line("+CPBR: (1-" + std::to_string(book->capacity) + ")," +
                   std::to_string(book->numberLength) + "," + std::to_string(book->nameLength));
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    const auto first = args.Int(0, 1, book->capacity);
    const auto last = args.Present(1) ? args.Int(1, 1, book->capacity) : first;
    if (!first || !last || *last < *first) {
        return Final::Cme(21);
    }
    for (auto it = book->entries.lower_bound(*first);
         it != book->entries.end() && it->first <= *last; ++it) {
        const PhonebookEntry& e = it->second;
        const std::string line = "+CPBR: " + std::to_string(it->first) + ",\"" +
                                 OutNumber(e.number) + "\"," + std::to_string(e.type) + ",\"" +
                                 OutText(e.name) + "\"";
        if (m_state.behaviour.blankLineInPhonebook) {
            reply.SeparateLine(line);
        } else {
            reply.Line(line);
        }
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCpbw(Form form, const AtArgs& args) {
    if (!SimReady()) {
        return SimError(false);
    }
    Phonebook* book = CurrentBook();
    if (book == nullptr) {
        return Final::Cme(3);
    }
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    if (!book->writable) {
        return Final::Cme(3);
    }
    int index = 0;
    if (args.Present(0)) {
        const auto v = args.Int(0, 1, book->capacity);
        if (!v) {
            return Final::Cme(21);
        }
        index = *v;
    }
    if (!args.Present(1) && !args.Present(3)) {
        if (index == 0) {
            return Final::Err();
        }
        book->entries.erase(index);
        return Final::Ok();
    }
    const auto number = InNumber(args.Text(1));
    if (!number || !ValidBookNumber(*number)) {
        return Final::Cme(27);
    }
    const auto name = InText(args.Text(3));
    if (!name) {
        return Final::Cme(25);
    }
    const std::size_t digits = number->size() - (!number->empty() && (*number)[0] == '+' ? 1 : 0);
    if (digits > static_cast<std::size_t>(book->numberLength)) {
        return Final::Cme(26);
    }
    // The SIM book counts the octets of its name field, the others characters.
    const std::size_t nameLength =
        m_book == "SM" ? SimAlphaOctets(*name) : Utf8ToWide(*name).size();
    if (nameLength > static_cast<std::size_t>(book->nameLength)) {
        return Final::Cme(24);
    }
    int type = NumberType(*number);
    if (args.Present(2)) {
        const auto t = args.Int(2, 128, 255);
        if (!t) {
            return Final::Err();
        }
        type = *t;
    }
    if (index == 0) {
        for (int i = 1; i <= book->capacity; ++i) {
            if (!book->entries.contains(i)) {
                index = i;
                break;
            }
        }
        if (index == 0) {
            return Final::Cme(20);
        }
    }
    book->entries[index] = PhonebookEntry{NumberForType(*number, type), type, *name};
    return Final::Ok();
}

}  // namespace qvl::sim
