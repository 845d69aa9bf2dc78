#include "app/gui/RunningCopy.h"

#include "app/gui/AppBus.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QUrl>
#include <QVariantMap>

namespace vireo {

namespace {
// What a later start of the program calls.
class HandOverAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarnwell.Vireo")
public:
    explicit HandOverAdaptor(RunningCopy* copy) : QDBusAbstractAdaptor(copy), m_copy(copy) {}

public Q_SLOTS:
    // Adds the addresses as Paste does and the list texts as a list file's; raises the
    // window. Returns the addresses that were refused.
    QStringList Add(const QStringList& addresses, const QStringList& listTexts) {
        QStringList refused = m_copy->Receive({addresses, listTexts});
        m_copy->Raise();
        return refused;
    }

private:
    RunningCopy* m_copy;
};

// What a desktop that starts programs over the bus calls: activation, and addresses
// opened with the program.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(RunningCopy* copy) : QDBusAbstractAdaptor(copy), m_copy(copy) {}

public Q_SLOTS:
    void Activate(const QVariantMap&) { m_copy->Raise(); }
    void Open(const QStringList& uris, const QVariantMap&) {
        m_copy->Receive({uris, {}});
        m_copy->Raise();
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&) {
        m_copy->Raise();
    }

private:
    RunningCopy* m_copy;
};
} // namespace

RunningCopy::RunningCopy(QObject* parent) : QObject(parent) {
    new HandOverAdaptor(this);
    new ApplicationAdaptor(this);
}

RunningCopy::~RunningCopy() {
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(bus::kService);
    bus.unregisterObject(bus::kPath);
}

RunningCopy::Claim RunningCopy::ClaimName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Claim::NoBus;
    if (!bus.registerObject(bus::kPath, this, QDBusConnection::ExportAdaptors))
        return Claim::NoBus;
    // Not queued: while another copy holds the name, this start hands over instead.
    QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(bus::kService, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        bus.unregisterObject(bus::kPath);
        return Claim::NoBus;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(bus::kPath);
        return Claim::OtherCopy;
    }
    m_registered = true;
    return Claim::Owned;
}

void RunningCopy::SetReceiver(std::function<QStringList(const HandedOver&)> add,
                              std::function<void()> raise) {
    m_add = std::move(add);
    m_raise = std::move(raise);
    std::vector<HandedOver> early;
    early.swap(m_early);
    for (const HandedOver& what : early)
        m_add(what);
    if (m_raiseEarly && m_raise)
        m_raise();
    m_raiseEarly = false;
}

QStringList RunningCopy::Receive(const HandedOver& what) {
    if (m_add)
        return m_add(what);
    // A call that came while the window was still being made.
    m_early.push_back(what);
    return {};
}

void RunningCopy::Raise() {
    if (m_raise)
        m_raise();
    else
        m_raiseEarly = true;
}

bool RunningCopy::HandOver(const HandedOver& what, QStringList& refused, QString& error,
                           int timeoutMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        error = "no session bus";
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(bus::kService, bus::kPath, bus::kInterface, "Add");
    call << what.addresses << what.listTexts;
    // Only a copy that runs: one the bus would start from its service file would not
    // have the caller's display.
    call.setAutoStartService(false);
    QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        error = reply.errorName() + ": " + reply.errorMessage();
        return false;
    }
    refused = reply.arguments().value(0).toStringList();
    return true;
}

} // namespace vireo

#include "RunningCopy.moc"
