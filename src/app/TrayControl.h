#pragma once

#include <QIcon>
#include <QObject>

class QMenu;
class QSystemTrayIcon;

// The notification-area icon: set icon, set tip, show, remove; Click and DblClick with a
// button code (left click 0, right click 1, left double-click DblClick 0).
class TrayControl : public QObject
{
    Q_OBJECT
public:
    explicit TrayControl(QObject *parent = nullptr);

    void setIcon(const QIcon &icon);
    void setTip(const QString &tip);
    void show();
    void remove();
    // Hosts that open the menu themselves (StatusNotifierItem) are handed it here.
    void setMenu(QMenu *menu);

    QIcon icon() const;
    QString tip() const;
    bool isShown() const;
    static bool hostAvailable();

signals:
    void Click(short Button);
    void DblClick(short Button);

private:
    QSystemTrayIcon *m_tray;
};
