#include "tray/TrayControl.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QMenu>
#include <QStyleHints>
#include <QTimer>

#ifdef PIRUNE_HAVE_XCB
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#endif

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

// The same test Qt makes before it chooses the StatusNotifierItem path.
bool sniHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, 2000);
    return reply.isValid() && reply.value().variant().toBool();
}

bool xembedTrayPresent() {
#ifdef PIRUNE_HAVE_XCB
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    const int screens = xcb_setup_roots_length(xcb_get_setup(c));
    for (int i = 0; i < screens; ++i) {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(i);
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(
                c, xcb_intern_atom(c, true, quint16(name.size()), name.constData()), nullptr),
            &std::free);
        if (!atom || atom->atom == XCB_ATOM_NONE)
            continue;
        const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr),
            &std::free);
        if (owner && owner->owner != XCB_NONE)
            return true;
    }
#endif
    return false;
}
} // namespace

TrayControl::TrayControl(QObject *parent) : QObject(parent) {
    m_hostPoll = new QTimer(this);
    m_hostPoll->setInterval(1000);
    connect(m_hostPoll, &QTimer::timeout, this, &TrayControl::hostsChanged);
}

void TrayControl::setIcon(const QIcon &icon) {
    m_icon = icon;
    if (m_tray)
        m_tray->setIcon(icon);
}

void TrayControl::setTip(const QString &tip) {
    m_tip = tip;
    if (m_tray)
        m_tray->setToolTip(tip);
}

void TrayControl::setMenu(QMenu *menu) {
    m_menu = menu;
    if (m_tray)
        m_tray->setContextMenu(menu);
}

void TrayControl::show() {
    m_shown = true;
    if (m_tray) {
        m_tray->show();
        return;
    }
    watchHosts();
    hostsChanged();
}

void TrayControl::remove() {
    m_shown = false;
    m_hostPoll->stop();
    if (m_hostWait)
        m_hostWait->stop();
    if (m_tray)
        m_tray->hide();
}

void TrayControl::watchHosts() {
    if (m_hostPoll->isActive())
        return;
    // Polled as well: not every watcher announces its host, and XEmbed trays have no signal here.
    m_hostPoll->start();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_busWatched || !bus.isConnected())
        return;
    m_busWatched = true;
    auto *watcher = new QDBusServiceWatcher(watcherService, bus,
                                            QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayControl::hostsChanged);
    bus.connect(watcherService, watcherPath, watcherService,
                QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostsChanged()));
}

void TrayControl::hostsChanged() {
    if (!m_shown || m_tray)
        return;
    const bool sni = sniHostRegistered();
    if (!sni && !xembedTrayPresent())
        return;
    m_hostPoll->stop();
    m_sni = sni;
    m_tray = new QSystemTrayIcon(m_icon, this);
    m_tray->setToolTip(m_tip);
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, &TrayControl::activated);
    m_tray->show();
}

void TrayControl::activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (m_lastTrigger.isValid() &&
            m_lastTrigger.elapsed() <= QGuiApplication::styleHints()->mouseDoubleClickInterval()) {
            m_lastTrigger.invalidate();
            emit DblClick(0);
        } else {
            m_lastTrigger.start();
            emit Click(0);
        }
        break;
    case QSystemTrayIcon::Context:
        emit Click(1);
        break;
    case QSystemTrayIcon::DoubleClick:
        m_lastTrigger.invalidate();
        emit DblClick(0);
        break;
    case QSystemTrayIcon::MiddleClick:
        emit Click(2);
        break;
    default:
        break;
    }
}

bool TrayControl::isDocked() const {
    if (!m_tray || !m_shown)
        return false;
    return m_sni ? sniHostRegistered() : xembedTrayPresent();
}

int &TrayControl::hostWaitSeconds() {
    static int seconds = 30;
    return seconds;
}

void TrayControl::waitForHost() {
    if (m_hostWait || isDocked())
        return;
    m_hostWait = new QTimer(this);
    m_hostWait->setInterval(1000);
    connect(m_hostWait, &QTimer::timeout, this, [this] {
        // The icon docks by itself in a host that appears after start-up.
        if (isDocked()) {
            m_hostMissing = false;
            m_hostWait->stop();
            m_hostWait->deleteLater();
            m_hostWait = nullptr;
            return;
        }
        if (++m_hostWaitTicks == hostWaitSeconds()) {
            m_hostMissing = true;
            m_hostWait->setInterval(5000);
            emit hostMissing();
        }
    });
    m_hostWait->start();
}
