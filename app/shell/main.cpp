// Parlino: the main program. One copy runs per user: a second start hands over to the first
// (which comes to the front) instead of fighting over the modem port.
#include <unistd.h>
#include <QApplication>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "app/shell/dialercontroller.h"
#include "app/shell/dialerdoc.h"
#include "app/shell/mainframe.h"
#include "app/shell/skinart.h"
#include "platform/devicefs.h"
#include "platform/ipc/ipc_dbus.h"

namespace {

// One phone per device root: two copies on one root would share its registry and its modem.
// The name also carries the user, as the socket lives in the user's runtime folder.
QString InstanceName() {
    const QByteArray root = QByteArray::fromStdString(qvl::DeviceRoot());
    const QByteArray hash = QCryptographicHash::hash(root, QCryptographicHash::Sha1).toHex();
    return QStringLiteral("quorvel-parlino-%1-%2")
        .arg(static_cast<qulonglong>(::getuid()))
        .arg(QString::fromLatin1(hash.left(12)));
}

bool HandOverToRunningCopy() {
    // The phone of this desktop session publishes its window on the session bus; any message
    // to it brings it to the front.
    qvl::DbusWindowMessenger bus;
    if (bus.FindWindow(u"QVL SMS/Phone") &&
        bus.SendWindowMessage(u"QVL SMS/Phone", qvl::DialerController::kBringToFront, 0, 0)) {
        return true;
    }
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
