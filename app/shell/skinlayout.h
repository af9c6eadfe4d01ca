// Where the dialer's controls sit in each orientation, in skin pixels (the 240 x 320 portrait and
// 320 x 240 landscape skins at display scale 1). The view maps them onto its window; the skin
// artwork is drawn to match.
#pragma once

#include <QRect>
#include <QString>
#include <array>

namespace qvl {

enum class Orientation { Portrait, Landscape };

// The sixteen skinned dialer buttons, numbered 1 to 16.
enum DialerButton : int {
    kKey1 = 1,
    kKey2,
    kKey3,
    kKey4,
    kKey5,
    kKey6,
    kKey7,
    kKey8,
    kKey9,
    kKeyStar = 10,
    kKey0 = 11,
    kKeyHash = 12,
    kCallButton = 13,
    kHangUpButton = 14,
    kBackspaceButton = 15,
    kContactButton = 16,
};
constexpr int kDialerButtonCount = 16;

// The character a keypad button types, or 0 for the four command buttons.
char16_t KeyCharacter(int button);

// Control ids of the dialer form.
enum DialerControl : int {
    kNameLine = 1017,    // the call line: "->" caller, "<-" number, "X" missed
    kStatusLine = 1018,  // operator or phone status
    kNumberField = 1019,
    kCallStateLine = 1020,
    kDivertLine = 1085,
    kDivertLine2 = 1133,
    kTimerLine = 1021,  // running call duration (our own id)
    kCmdContact = 1057,
    kCmdMessageView = 1060,
    kCmdVolumeDown = 1064,
    kCmdVolumeUp = 1065,
    kCmdCallOptions = 1066,
    kCallList = 1068,
    kCmdHoldActive = 1069,
    kCmdRetrieveHeld = 1070,
    kCmdSwap = 1071,
    kCmdPrivate = 1072,
    kCmdRelease = 1073,
    kCmdConference = 1074,
    kCmdKeypad = 1086,
};

// Status icons on the skin.
enum class StatusIcon { Signal, Battery, Gprs, Roaming, MailboxFull, NewMessage, Volume };
constexpr int kStatusIconCount = 7;

struct SkinLayout {
    QSize skin;                                     // skin size at scale 1
    std::array<QRect, kDialerButtonCount> buttons;  // index = button - 1
    QRect panel;                                    // the light display panel
    QRect statusLine, nameLine, callStateLine, timerLine, numberField, divertLine;
    std::array<QRect, kStatusIconCount> icons;
    QRect volumeDown, volumeUp, callOptions, messageView;
    QRect callList;
    std::array<QRect, 7> callListButtons;  // 1069..1074, then 1086
};

const SkinLayout& LayoutFor(Orientation orientation);

// File names of the artwork in the skin folder.
QString SkinFileName(Orientation orientation);  // dialer.bmp, dialer270.bmp
// key01_0.bmp (portrait), key01_0_270.bmp (landscape), with "@2x" for scale 2.
QString ButtonFileName(Orientation orientation, int button, int state, int scale);
QString IconFileName(StatusIcon icon, int level, int scale);  // signal3.bmp, battery5@2x.bmp
int IconLevels(StatusIcon icon);                              // images per icon
// The battery image of a machine that has no battery: a mains plug (battery6).
inline constexpr int kMainsImage = 6;

}  // namespace qvl
