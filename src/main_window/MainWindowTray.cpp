#include "main_window/MainWindow.h"

#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "main_window/NoticeEditor.h"
#include "store/NoticeFile.h"
#include "tray/TrayIcon.h"
#include "tray/VersionWindow.h"

#include <QAction>
#include <QCursor>
#include <QDialog>
#include <QMenu>
#include <QWindow>
#include <utility>

void MainWindow::buildTrayMenu() {
    // Without a parent: a box open over the main window must not block the tray's menu.
    m_trayMenu = new QMenu(QStringLiteral("popup"));
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    const auto add = [this](const char *name, const QString &caption, void (MainWindow::*run)()) {
        QAction *a = m_trayMenu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this,
                [this, run] { ErrorTrap::run(Label::trayMenu, [&] { (this->*run)(); }); });
    };
    add("showVersionAction", QStringLiteral("バージョン表示(&V)"), &MainWindow::showVersionWindow);
    add("openSettingsAction", QStringLiteral("設定(&S)..."), &MainWindow::showMainWindow);
    m_trayMenu->addSeparator();
    add("exitAction", QStringLiteral("終了(&X)"), &MainWindow::exitPirune);
    m_tray->setMenu(m_trayMenu);
    connect(m_tray, &TrayIcon::clicked, this, &MainWindow::onTrayClick);
    connect(m_tray, &TrayIcon::doubleClicked, this, &MainWindow::showFromTray);
    connect(m_tray, &TrayIcon::hostMissing, this, [this] {
        if (!m_shutDown)
            showMainWindow();
    });
}

void MainWindow::showFromTray(short button) {
    ErrorTrap::run(Label::trayDoubleClick, [&] {
        if (button == 0 && !m_shutDown)
            showMainWindow();
    });
}

void MainWindow::onTrayClick(short button) {
    ErrorTrap::run(Label::trayClick, [&] {
        // The tray host may already have opened the same menu itself.
        if (button == 1 && !m_trayMenu->isVisible())
            m_trayMenu->popup(QCursor::pos());
    });
}

void MainWindow::exitPirune() {
    if (!m_file->saveBeforeExit(m_table))
        reportUnsavedChanges();
    exitProcess()();
}

void MainWindow::showMainWindow() {
    m_editor->ensureControls();
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
    // A box asked while the window was hidden (the missed-notice question at start-up) blocks it:
    // it comes up with the window, over its middle, or the window would seem dead.
    for (QDialog *box : findChildren<QDialog *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!box->isVisible() || !box->isModal())
            continue;
        box->move(frameGeometry().center() - box->rect().center());
        box->raise();
        box->activateWindow();
    }
}

void MainWindow::showVersionWindow() {
    if (!m_version)
        m_version = new VersionWindow(this);
    m_version->show();
    m_version->raise();
    m_version->activateWindow();
}
