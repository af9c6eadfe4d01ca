// The default skin artwork, drawn by the program: the two dialer backgrounds, the sixteen
// dialer buttons in their three states and the status icons. Buttons and icons are painted on
// the key colour (pure blue), which the button shape and the icon display cut away.
#pragma once

#include <QImage>
#include <QString>

#include "app/shell/skinlayout.h"

namespace qvl {

QImage DrawSkinBackground(Orientation orientation);
QImage DrawButton(Orientation orientation, int button, int state, int scale);
QImage DrawStatusIcon(StatusIcon icon, int level, int scale);

// Writes every piece of artwork that is missing from folder (created when missing); returns
// the number of files written, or -1 when a file could not be written.
int InstallSkinArtwork(const QString& folder);

// The skin folder of the device: "\My Documents\bmp_files".
QString DefaultSkinFolder();

// A button or icon image: the file in the folder when it loads, else the drawn default.
QImage LoadButtonImage(const QString& folder, Orientation orientation, int button, int state,
                       int scale);
QImage LoadStatusIcon(const QString& folder, StatusIcon icon, int level, int scale);

// An image whose key-colour pixels are made transparent (for icons drawn over the skin).
QImage KeyColourToAlpha(const QImage& image);

}  // namespace qvl
