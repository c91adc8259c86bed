#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QMenu;
class QTimer;

// The notification-area icon: set icon, set tip, show, remove; clicked() and doubleClicked() with
// a button code (left 0, right 1, middle 2).
//
// Qt decides once per process, when the first tray icon is made or the first availability
// question is asked, whether to use a StatusNotifierItem host or the XEmbed tray, and never asks
// again. So nothing here asks Qt before a notification area of either kind exists: the icon is
// made when the first one appears, and Qt then picks the kind that is there.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject *parent = nullptr);

    void setIcon(const QIcon &icon);
    void setTip(const QString &tip);
    void show();
    void remove();
    // Hosts that open the menu themselves (StatusNotifierItem) are handed it here.
    void setMenu(QMenu *menu);
    QMenu *menu() const;

    // The icon sits in a notification area now.
    bool isDocked() const;

    // A panel that starts late at login still gets the icon; without one after
    // hostWaitSeconds(), hostMissing() is emitted once, for the window to be shown instead.
    void waitForHost();
    static int &hostWaitSeconds();
    // The wait ended without a notification area, and none has appeared since.
    bool isHostMissing() const { return m_hostMissing; }

    // SNI hosts send every click as its own activation: two within the double-click interval
    // are a double-click, as the XEmbed tray reports it. A host that recognises the double-click
    // itself (GNOME Shell's AppIndicator extension) activates once for it.
    void activated(QSystemTrayIcon::ActivationReason reason, bool hostReportsDoubleClick);

signals:
    void clicked(short button);
    void doubleClicked(short button);
    void hostMissing();

private slots:
    void hostsChanged();
    void watcherChanged(const QString &service, const QString &oldOwner, const QString &newOwner);

private:
    void watchHosts();
    void registerAgainIfLost();

    QSystemTrayIcon *m_tray = nullptr;
    bool m_sni = false; // the kind Qt chose when the icon was made
    bool m_shown = false;
    QIcon m_icon;
    QString m_tip;
    QPointer<QMenu> m_menu;
    QTimer *m_hostPoll = nullptr;
    bool m_busWatched = false;
    QElapsedTimer m_lastTrigger;
    QTimer *m_hostWait = nullptr;
    int m_hostWaitTicks = 0;
    bool m_hostMissing = false;
};
