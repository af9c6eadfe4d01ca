// vCard text (versions 2.1, 3.0 and 4.0) as address books write it, and the cards the phone
// writes itself (version 3.0).
//
// The reader takes the bytes of one file, which may hold several cards. It unfolds continued
// lines, joins quoted-printable soft line breaks, decodes QUOTED-PRINTABLE values and the
// CHARSET they name, undoes the text escapes, reads grouped properties ("item1.TEL") and tel:
// URIs, and keeps only what the phone uses: the UID, the formatted name, the name parts, the
// organisation and the telephone numbers with their types. Values lose their control
// characters (a line break inside a name becomes a blank), so nothing read here can add a line
// to a text built from it. Malformed input gives fewer or emptier cards, never a fault; the
// work is linear in the size of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvl {

// Kinds of a telephone number (TYPE parameters, or the label of its group); a set of bits.
enum VCardTelKind : std::uint32_t {
    kTelHome = 1u << 0,
    kTelWork = 1u << 1,
    kTelCell = 1u << 2,
    kTelFax = 1u << 3,
    kTelPager = 1u << 4,
    kTelVoice = 1u << 5,
    kTelPref = 1u << 6,
};

struct VCardTel {
    std::u16string number;
    std::uint32_t kinds = 0;
};

struct VCard {
    std::u16string uid;
    std::u16string formattedName;  // FN
    std::u16string familyName;     // first component of N
    std::u16string givenName;      // second component of N
    std::u16string organization;   // first component of ORG
    std::vector<VCardTel> tels;    // in the card's order
};

// Cards kept from one file at most (a file of tiny cards cannot make an unbounded list).
inline constexpr std::size_t kMaxCardsPerFile = 10000;
// Telephone numbers kept from one card at most.
inline constexpr std::size_t kMaxTelsPerCard = 64;

std::vector<VCard> ParseVCards(std::string_view bytes);

// A card as vCard 3.0 text with CR LF line ends: BEGIN, VERSION, UID, FN, N, one TEL line per
// number ("TEL;TYPE=HOME" and so on), END. Text values are escaped and stripped of control
// characters; lines longer than 75 octets are folded between characters.
std::string WriteVCard(const VCard& card);

// A new random UID (a version 4 UUID in lower-case hex): also the card's file name, so it holds
// only characters that are safe in a file name.
std::u16string NewContactUid();

}  // namespace qvl
