#include "app/shell/skinlayout.h"

namespace qvl {

char16_t KeyCharacter(int button) {
    static constexpr char16_t kChars[] = u"123456789*0#";
    return button >= kKey1 && button <= kKeyHash ? kChars[button - 1] : 0;
}

namespace {

SkinLayout MakePortrait() {
    SkinLayout l;
    l.skin = QSize(240, 320);
    l.panel = QRect(6, 21, 228, 98);
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 3; ++col) {
            l.buttons[row * 3 + col] = QRect(12 + col * 74, 125 + row * 39, 68, 35);
        }
    }
    for (int i = 0; i < 4; ++i) {
        l.buttons[12 + i] = QRect(12 + i * 55, 284, 51, 32);
    }
    l.statusLine = QRect(12, 24, 216, 16);
    l.nameLine = QRect(12, 42, 216, 16);
    l.callStateLine = QRect(12, 58, 150, 16);
    l.timerLine = QRect(162, 58, 66, 16);
    l.numberField = QRect(12, 75, 216, 26);
    l.divertLine = QRect(44, 102, 184, 15);
    l.messageView = QRect(12, 102, 28, 15);
    const int iconX[kStatusIconCount] = {4, 220, 24, 40, 56, 72, 168};
    for (int i = 0; i < kStatusIconCount; ++i) {
        l.icons[i] = QRect(iconX[i], 2, 16, 16);
    }
    l.icons[int(StatusIcon::Volume)] = QRect(166, 2, 30, 16);
    l.volumeDown = QRect(148, 2, 16, 16);
    l.volumeUp = QRect(198, 2, 16, 16);
    l.callOptions = QRect(150, 102, 78, 15);
    l.callList = QRect(12, 125, 216, 100);
    for (int i = 0; i < 7; ++i) {
        l.callListButtons[i] = QRect(12 + (i % 4) * 55, 229 + (i / 4) * 27, 51, 24);
    }
    return l;
}

SkinLayout MakeLandscape() {
    SkinLayout l;
    l.skin = QSize(320, 240);
    l.panel = QRect(6, 21, 144, 213);
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 3; ++col) {
            l.buttons[row * 3 + col] = QRect(158 + col * 54, 22 + row * 43, 50, 39);
        }
    }
    for (int i = 0; i < 4; ++i) {
        l.buttons[12 + i] = QRect(158 + i * 40, 198, 38, 36);
    }
    l.statusLine = QRect(12, 26, 132, 16);
    l.nameLine = QRect(12, 48, 132, 16);
    l.callStateLine = QRect(12, 66, 132, 16);
    l.timerLine = QRect(12, 84, 132, 16);
    l.numberField = QRect(12, 108, 132, 28);
    l.divertLine = QRect(12, 142, 132, 30);
    l.messageView = QRect(12, 212, 32, 16);
    const int iconX[kStatusIconCount] = {4, 300, 24, 40, 56, 72, 248};
    for (int i = 0; i < kStatusIconCount; ++i) {
        l.icons[i] = QRect(iconX[i], 2, 16, 16);
    }
    l.icons[int(StatusIcon::Volume)] = QRect(246, 2, 30, 16);
    l.volumeDown = QRect(228, 2, 16, 16);
    l.volumeUp = QRect(278, 2, 16, 16);
    l.callOptions = QRect(60, 212, 84, 16);
    l.callList = QRect(158, 22, 158, 110);
    for (int i = 0; i < 7; ++i) {
        l.callListButtons[i] = QRect(158 + (i % 4) * 40, 136 + (i / 4) * 29, 38, 26);
    }
    return l;
}

const char* IconBase(StatusIcon icon) {
    switch (icon) {
        case StatusIcon::Signal:
            return "signal";
        case StatusIcon::Battery:
            return "battery";
        case StatusIcon::Gprs:
            return "gprs";
        case StatusIcon::Roaming:
            return "roaming";
        case StatusIcon::MailboxFull:
            return "mailboxfull";
        case StatusIcon::NewMessage:
            return "newsms";
        case StatusIcon::Volume:
            return "volume";
    }
    return "icon";
}

QString ScaleSuffix(int scale) {
    return scale == 2 ? QStringLiteral("@2x") : QString();
}

}  // namespace

const SkinLayout& LayoutFor(Orientation orientation) {
    static const SkinLayout portrait = MakePortrait();
    static const SkinLayout landscape = MakeLandscape();
    return orientation == Orientation::Landscape ? landscape : portrait;
}

QString SkinFileName(Orientation orientation) {
    return orientation == Orientation::Landscape ? QStringLiteral("dialer270.bmp")
                                                 : QStringLiteral("dialer.bmp");
}

QString ButtonFileName(Orientation orientation, int button, int state, int scale) {
    return QStringLiteral("key%1_%2%3%4.bmp")
        .arg(button, 2, 10, QLatin1Char('0'))
        .arg(state)
        .arg(orientation == Orientation::Landscape ? QStringLiteral("_270") : QString())
        .arg(ScaleSuffix(scale));
}

QString IconFileName(StatusIcon icon, int level, int scale) {
    return QStringLiteral("%1%2%3.bmp")
        .arg(QLatin1String(IconBase(icon)))
        .arg(level)
        .arg(ScaleSuffix(scale));
}

int IconLevels(StatusIcon icon) {
    switch (icon) {
        case StatusIcon::Signal:
            return 5;  // bars 0..4
        case StatusIcon::Battery:
            return 7;  // levels 1..5 (index 0 unused but drawn empty), 6 the mains plug
        case StatusIcon::Volume:
            return 6;  // levels 0..5
        case StatusIcon::Gprs:
        case StatusIcon::Roaming:
        case StatusIcon::MailboxFull:
        case StatusIcon::NewMessage:
            return 1;
    }
    return 1;
}

}  // namespace qvl
