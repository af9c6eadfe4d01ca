#include "platform/ipc/ipc_dbus.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVirtualObject>

namespace qvl {
namespace {

QDBusConnection ConnectionFor(const std::string& connectionName) {
    if (connectionName.empty()) {
        return QDBusConnection::sessionBus();
    }
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QString::fromStdString(connectionName));
}

QString BusNameOf(std::u16string_view name) {
    return QString::fromStdString(WindowBusName(name));
}

// The published window: answers SendMessage and introspection, refuses everything else.
class WindowObject final : public QDBusVirtualObject {
  public:
    explicit WindowObject(DbusWindowPublisher::Handler handler) : m_handler(std::move(handler)) {}

    QString introspect(const QString&) const override {
        return QStringLiteral(
                   "<interface name=\"%1\"><method name=\"%2\">"
                   "<arg name=\"message\" type=\"u\" direction=\"in\"/>"
                   "<arg name=\"wParam\" type=\"x\" direction=\"in\"/>"
                   "<arg name=\"lParam\" type=\"x\" direction=\"in\"/>"
                   "<arg name=\"result\" type=\"x\" direction=\"out\"/>"
                   "</method></interface>")
            .arg(QLatin1String(kWindowInterface), QLatin1String(kWindowMethod));
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String(kWindowInterface) ||
            message.member() != QLatin1String(kWindowMethod)) {
            return false;
        }
        const QList<QVariant> args = message.arguments();
        if (args.size() != 3 || args[0].metaType().id() != QMetaType::UInt ||
            args[1].metaType().id() != QMetaType::LongLong ||
            args[2].metaType().id() != QMetaType::LongLong) {
            connection.send(message.createErrorReply(QDBusError::InvalidArgs,
                                                     QStringLiteral("expected (uxx)")));
            return true;
        }
        const std::int64_t result =
            m_handler ? m_handler(args[0].toUInt(), args[1].toLongLong(), args[2].toLongLong()) : 0;
        // A posted message expects no answer.
        if (message.isReplyRequired()) {
            connection.send(message.createReply(QVariant::fromValue(qlonglong{result})));
        }
        return true;
    }

  private:
    DbusWindowPublisher::Handler m_handler;
};

QDBusMessage WindowCall(std::u16string_view name, std::uint32_t message, std::int64_t wParam,
                        std::int64_t lParam) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        BusNameOf(name), QLatin1String(kWindowObjectPath), QLatin1String(kWindowInterface),
        QLatin1String(kWindowMethod));
    // A window that is not published is not started by the bus.
    call.setAutoStartService(false);
    call << QVariant::fromValue(uint{message}) << QVariant::fromValue(qlonglong{wParam})
         << QVariant::fromValue(qlonglong{lParam});
    return call;
}

}  // namespace

struct DbusWindowMessenger::State {
    QDBusConnection connection{QString()};
    std::string ownName;
};

DbusWindowMessenger::DbusWindowMessenger(std::string connectionName)
    : m_state(std::make_unique<State>()) {
    m_state->connection = ConnectionFor(connectionName);
    m_state->ownName = std::move(connectionName);
}

DbusWindowMessenger::~DbusWindowMessenger() {
    if (!m_state->ownName.empty()) {
        QDBusConnection::disconnectFromBus(QString::fromStdString(m_state->ownName));
    }
}

bool DbusWindowMessenger::Connected() const {
    return m_state->connection.isConnected();
}

bool DbusWindowMessenger::FindWindow(std::u16string_view name) {
    if (!Connected() || m_state->connection.interface() == nullptr) {
        return false;
    }
    const auto reply = m_state->connection.interface()->isServiceRegistered(BusNameOf(name));
    return reply.isValid() && reply.value();
}

bool DbusWindowMessenger::SendWindowMessage(std::u16string_view name, std::uint32_t message,
                                            std::int64_t wParam, std::int64_t lParam,
                                            std::int64_t* result) {
    if (!Connected()) {
        return false;
    }
    const QDBusMessage call = WindowCall(name, message, wParam, lParam);
    const QDBusMessage reply = m_state->connection.call(call, QDBus::Block, m_timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return false;
    }
    if (result != nullptr) {
        *result = reply.arguments().front().toLongLong();
    }
    return true;
}

bool DbusWindowMessenger::PostWindowMessage(std::u16string_view name, std::uint32_t message,
                                            std::int64_t wParam, std::int64_t lParam) {
    if (!Connected()) {
        return false;
    }
    // A call sent with send() goes out flagged "no reply expected": the bus delivers it and
    // nobody waits for the handler.
    return m_state->connection.send(WindowCall(name, message, wParam, lParam));
}

struct DbusWindowPublisher::State {
    std::u16string name;
    std::string connectionName;
    QDBusConnection connection{QString()};
    std::unique_ptr<WindowObject> object;
    bool published = false;
};

DbusWindowPublisher::DbusWindowPublisher(std::u16string name, Handler handler,
                                         std::string connectionName)
    : m_state(std::make_unique<State>()) {
    m_state->name = std::move(name);
    m_state->connectionName = std::move(connectionName);
    m_state->object = std::make_unique<WindowObject>(std::move(handler));
}

DbusWindowPublisher::~DbusWindowPublisher() {
    if (m_state->published) {
        m_state->connection.unregisterObject(QLatin1String(kWindowObjectPath));
        m_state->connection.unregisterService(BusNameOf(m_state->name));
    }
    if (!m_state->connectionName.empty()) {
        QDBusConnection::disconnectFromBus(QString::fromStdString(m_state->connectionName));
    }
}

bool DbusWindowPublisher::Publish() {
    m_state->connection = ConnectionFor(m_state->connectionName);
    if (!m_state->connection.isConnected()) {
        m_problem =
            "no D-Bus session bus: " + m_state->connection.lastError().message().toStdString();
        return false;
    }
    if (!m_state->connection.registerVirtualObject(QLatin1String(kWindowObjectPath),
                                                   m_state->object.get())) {
        m_problem = "the window object is already registered on this connection";
        return false;
    }
    if (!m_state->connection.registerService(BusNameOf(m_state->name))) {
        m_state->connection.unregisterObject(QLatin1String(kWindowObjectPath));
        m_problem = "the bus name " + WindowBusName(m_state->name) +
                    " is taken: " + m_state->connection.lastError().message().toStdString();
        return false;
    }
    m_state->published = true;
    return true;
}

}  // namespace qvl
