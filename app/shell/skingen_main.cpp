// qvl-skingen: writes the default skin artwork into a folder (default: the device's
// "\My Documents\bmp_files"). Files that exist are left alone.
#include <QGuiApplication>
#include <QTextStream>

#include "app/shell/skinart.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    const QString folder = args.size() > 1 ? args.at(1) : qvl::DefaultSkinFolder();
    const int written = qvl::InstallSkinArtwork(folder);
    QTextStream out(stdout);
    if (written < 0) {
        QTextStream(stderr) << "qvl-skingen: could not write the artwork into " << folder << "\n";
        return 1;
    }
    out << written << " files written into " << folder << "\n";
    return 0;
}
