// Parlino: the main program. One copy runs per user: a second start hands over to the first
// (which comes to the front) instead of fighting over the modem port.
#include <unistd.h>
#include <QApplication>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "app/shell/dialerdoc.h"
#include "app/shell/mainframe.h"
#include "app/shell/skinart.h"

namespace {

QString InstanceName() {
    return QStringLiteral("quorvel-parlino-%1").arg(static_cast<qulonglong>(::getuid()));
}

bool HandOverToRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(InstanceName());
    if (!socket.waitForConnected(500)) {
        return false;
    }
    socket.write("raise\n");
    socket.waitForBytesWritten(500);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parlino"));
    QApplication::setQuitOnLastWindowClosed(true);
    if (HandOverToRunningCopy()) {
        return 0;
    }
    QLocalServer server;
    QLocalServer::removeServer(InstanceName());  // a stale name left by a crashed copy
    server.setSocketOptions(QLocalServer::UserAccessOption);
    server.listen(InstanceName());

    // First run: the default skin artwork goes into "\My Documents\bmp_files".
    qvl::InstallSkinArtwork(qvl::DefaultSkinFolder());

    qvl::CQVLDialerDoc doc;
    qvl::CMainFrame frame(&doc);
    QObject::connect(&server, &QLocalServer::newConnection, &frame, [&] {
        while (QLocalSocket* peer = server.nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            frame.showNormal();
            frame.raise();
            frame.activateWindow();
        }
    });
    // A double-resolution layout on large screens, the handheld's own size otherwise.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int scale = screen != nullptr && screen->availableGeometry().height() >= 900 ? 2 : 1;
    frame.resize(240 * scale, 320 * scale + frame.menuBar()->sizeHint().height());
    frame.show();
    QTimer::singleShot(0, &doc, [&doc] { doc.OnFirstDisplay(); });
    return QApplication::exec();
}
