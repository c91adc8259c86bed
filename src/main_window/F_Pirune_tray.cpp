#include "main_window/F_Pirune.h"

#include "base/ErrorTrap.h"
#include "tray/TrayControl.h"
#include "tray/frmVersion.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QWindow>
#include <utility>

void F_Pirune::buildMenu() {
    // Without a parent: a box open over the main window must not block the tray's menu.
    mnuPopup = new QMenu(QStringLiteral("popup"));
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    const QString captions[] = {QStringLiteral("バージョン表示(&V)"), QStringLiteral("設定(&S)..."),
                                QString(), QStringLiteral("終了(&X)")};
    for (short k = 0; k < 4; ++k) {
        QAction *a =
            captions[k].isEmpty() ? mnuPopup->addSeparator() : mnuPopup->addAction(captions[k]);
        a->setObjectName(QStringLiteral("mnu_Popup_%1").arg(k));
        if (!a->isSeparator())
            connect(a, &QAction::triggered, this, [this, k] { mnu_Popup_Click(k); });
        mnu_Popup.append(a);
    }
    TrayControl1->setMenu(mnuPopup);
    connect(TrayControl1, &TrayControl::Click, this, &F_Pirune::TrayControl1_Click);
    connect(TrayControl1, &TrayControl::DblClick, this, &F_Pirune::TrayControl1_DblClick);
    connect(TrayControl1, &TrayControl::hostMissing, this, &F_Pirune::showMainWindow);
}

void F_Pirune::TrayControl1_DblClick(short Button) {
    ErrorTrap::run("TrayControl1_DblClick Code:", [&] {
        if (Button == 0)
            showMainWindow();
    });
}

void F_Pirune::TrayControl1_Click(short Button) {
    ErrorTrap::run("TrayControl1_Click Code:", [&] {
        // The tray host may already have opened the same menu itself.
        if (Button == 1 && !mnuPopup->isVisible())
            mnuPopup->popup(QCursor::pos());
    });
}

void F_Pirune::mnu_Popup_Click(short index) {
    ErrorTrap::run("mnu_Popup_Click Code:", [&] {
        switch (index) {
        case 0:
            openVersionWindow();
            break;
        case 1:
            showMainWindow();
            break;
        case 3:
            if (m_behind && !SaveDataToFile())
                reportUnsavedChanges();
            exitProcess()();
            break;
        default:
            break;
        }
    });
}

void F_Pirune::showMainWindow() {
    ensureControls();
    // Where the user left it: a window manager places a window shown again anew, unless it was
    // given a place (the window's own, not the one it was made at).
    if (m_closedGeometry.isValid() && !isVisible() && windowHandle())
        windowHandle()->setGeometry(std::exchange(m_closedGeometry, {}));
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void F_Pirune::openVersionWindow() {
    if (!m_version)
        m_version = new frmVersion(this);
    m_version->show();
    m_version->raise();
    m_version->activateWindow();
}
