#include "app/TrayControl.h"

#include <QSystemTrayIcon>

TrayControl::TrayControl(QObject *parent) : QObject(parent), m_tray(new QSystemTrayIcon(this))
{
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            emit Click(0);
            break;
        case QSystemTrayIcon::Context:
            emit Click(1);
            break;
        case QSystemTrayIcon::DoubleClick:
            emit DblClick(0);
            break;
        case QSystemTrayIcon::MiddleClick:
            emit Click(2);
            break;
        default:
            break;
        }
    });
}

void TrayControl::setIcon(const QIcon &icon) { m_tray->setIcon(icon); }
void TrayControl::setTip(const QString &tip) { m_tray->setToolTip(tip); }
void TrayControl::show() { m_tray->show(); }
void TrayControl::remove() { m_tray->hide(); }
void TrayControl::setMenu(QMenu *menu) { m_tray->setContextMenu(menu); }
QIcon TrayControl::icon() const { return m_tray->icon(); }
QString TrayControl::tip() const { return m_tray->toolTip(); }
bool TrayControl::isShown() const { return m_tray->isVisible(); }
bool TrayControl::hostAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }
