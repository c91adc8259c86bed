#include "tray/TrayIcon.h"

#include <QGuiApplication>
#include <QMenu>
#include <QStyleHints>
#include <QTimer>

#include <algorithm>

#ifdef PIRUNE_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#endif

#ifdef PIRUNE_HAVE_XCB
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#endif

namespace {
#ifdef PIRUNE_HAVE_DBUS
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

QDBusMessage watcherProperty(const QString &name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << watcherService << name;
    return get;
}

// The same test Qt makes before it chooses the StatusNotifierItem path.
bool sniHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService))
        return false;
    const QDBusReply<QDBusVariant> reply = bus.call(
        watcherProperty(QStringLiteral("IsStatusNotifierHostRegistered")), QDBus::Block, 2000);
    return reply.isValid() && reply.value().variant().toBool();
}

// GNOME Shell's AppIndicator extension runs in the shell, on the shell's own bus connection.
bool watcherIsGnomeShell() {
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    const QString owner = bus ? bus->serviceOwner(watcherService).value() : QString();
    return !owner.isEmpty() &&
           owner == bus->serviceOwner(QStringLiteral("org.gnome.Shell")).value();
}
#else
bool sniHostRegistered() {
    return false;
}
bool watcherIsGnomeShell() {
    return false;
}
#endif

#ifdef PIRUNE_HAVE_XCB
xcb_connection_t *x11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t *c, const QByteArray &name, bool onlyIfExists) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, onlyIfExists, quint16(name.size()), name.constData()), nullptr),
        &std::free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}
#endif

// Or, where the system has one notification area of its own (Windows), whether it is there.
bool xembedTrayPresent() {
#ifndef Q_OS_UNIX
    return QSystemTrayIcon::isSystemTrayAvailable();
#endif
#ifdef PIRUNE_HAVE_XCB
    xcb_connection_t *c = x11Connection();
    if (!c)
        return false;
    const int screens = xcb_setup_roots_length(xcb_get_setup(c));
    for (int i = 0; i < screens; ++i) {
        const xcb_atom_t atom = internAtom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(i), true);
        if (atom == XCB_ATOM_NONE)
            continue;
        const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr),
            &std::free);
        if (owner && owner->owner != XCB_NONE)
            return true;
    }
#endif
    return false;
}

// A host may hand over an activation token before it activates the icon; Qt keeps it in
// XDG_ACTIVATION_TOKEN and its Wayland windows spend it when they are activated. On X11 it is a
// startup-notification id that Qt never completes, so GNOME Shell would show its busy cursor
// until the launch times out.
void completeStartupOnX11() {
#ifdef PIRUNE_HAVE_XCB
    xcb_connection_t *c = x11Connection();
    const QByteArray id = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!c || id.isEmpty())
        return;
    qunsetenv("XDG_ACTIVATION_TOKEN");
    QByteArray quoted = id;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    const QByteArray message = "remove: ID=\"" + quoted + "\"";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = root;
    event.type = internAtom(c, "_NET_STARTUP_INFO_BEGIN", false);
    const xcb_atom_t more = internAtom(c, "_NET_STARTUP_INFO", false);
    for (int sent = 0; sent <= message.size(); sent += 20, event.type = more) {
        std::fill(std::begin(event.data.data8), std::end(event.data.data8), 0);
        std::copy_n(message.constData() + sent, std::min(20, int(message.size()) - sent),
                    event.data.data8);
        xcb_send_event(c, false, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char *>(&event));
    }
    xcb_flush(c);
#endif
}
} // namespace

TrayIcon::TrayIcon(QObject *parent) : QObject(parent) {
    m_hostPoll = new QTimer(this);
    m_hostPoll->setInterval(1000);
    connect(m_hostPoll, &QTimer::timeout, this, &TrayIcon::hostsChanged);
}

void TrayIcon::setIcon(const QIcon &icon) {
    m_icon = icon;
    if (m_tray)
        m_tray->setIcon(icon);
}

void TrayIcon::setTip(const QString &tip) {
    m_tip = tip;
    if (m_tray)
        m_tray->setToolTip(tip);
}

void TrayIcon::setMenu(QMenu *menu) {
    m_menu = menu;
    if (m_tray)
        m_tray->setContextMenu(menu);
}

QMenu *TrayIcon::menu() const {
    return m_menu;
}

void TrayIcon::show() {
    m_shown = true;
    if (m_tray) {
        m_tray->show();
        return;
    }
    watchHosts();
    hostsChanged();
}

void TrayIcon::remove() {
    m_shown = false;
    m_hostPoll->stop();
    if (m_hostWait)
        m_hostWait->stop();
    if (m_tray)
        m_tray->hide();
}

void TrayIcon::watchHosts() {
    if (m_hostPoll->isActive())
        return;
    // Polled as well: not every watcher announces its host, and XEmbed trays have no signal here.
    m_hostPoll->start();
#ifdef PIRUNE_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_busWatched || !bus.isConnected())
        return;
    m_busWatched = true;
    auto *watcher = new QDBusServiceWatcher(watcherService, bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayIcon::watcherChanged);
    bus.connect(watcherService, watcherPath, watcherService,
                QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostsChanged()));
#endif
}

void TrayIcon::hostsChanged() {
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
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                activated(reason,
                          m_sni && reason == QSystemTrayIcon::Trigger && watcherIsGnomeShell());
                completeStartupOnX11();
            });
    m_tray->show();
}

void TrayIcon::watcherChanged(const QString &, const QString &, const QString &newOwner) {
    if (newOwner.isEmpty())
        return;
    if (!m_tray) {
        hostsChanged();
        return;
    }
    // Qt registers the item with a new watcher at once, and never again if that watcher had not
    // yet exported its object.
    for (const int ms : {1000, 3000})
        QTimer::singleShot(ms, this, &TrayIcon::registerAgainIfLost);
}

void TrayIcon::registerAgainIfLost() {
    if (!m_tray || !m_sni || !m_shown)
        return;
#ifdef PIRUNE_HAVE_DBUS
    auto *call = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(
            watcherProperty(QStringLiteral("RegisteredStatusNotifierItems")), 2000),
        this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError() || !m_tray || !m_shown)
            return;
        // An entry names the item's service, unique or well-known, maybe with its path after it.
        // Qt serves the item on a bus connection of its own, so it is told by its process.
        const QStringList items = reply.value().variant().toStringList();
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        const bool ours = std::any_of(items.begin(), items.end(), [bus](const QString &item) {
            const QString service = item.section(u'/', 0, 0).section(u'@', 0, 0);
            return bus->servicePid(service).value() == QCoreApplication::applicationPid();
        });
        if (!ours) {
            m_tray->hide();
            m_tray->show();
        }
    });
#endif
}

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason, bool hostReportsDoubleClick) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (hostReportsDoubleClick ||
            (m_lastTrigger.isValid() &&
             m_lastTrigger.elapsed() <=
                 QGuiApplication::styleHints()->mouseDoubleClickInterval())) {
            m_lastTrigger.invalidate();
            emit doubleClicked(0);
        } else {
            m_lastTrigger.start();
            emit clicked(0);
        }
        break;
    case QSystemTrayIcon::Context:
        emit clicked(1);
        break;
    case QSystemTrayIcon::DoubleClick:
        m_lastTrigger.invalidate();
        emit doubleClicked(0);
        break;
    case QSystemTrayIcon::MiddleClick:
        emit clicked(2);
        break;
    default:
        break;
    }
}

bool TrayIcon::isDocked() const {
    if (!m_tray || !m_shown)
        return false;
    return m_sni ? sniHostRegistered() : xembedTrayPresent();
}

int &TrayIcon::hostWaitSeconds() {
    static int seconds = 30;
    return seconds;
}

void TrayIcon::waitForHost() {
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
