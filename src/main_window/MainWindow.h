#pragma once

#include "store/NoticeTable.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class MessageQueue;
class NoticeEditor;
class NoticeFile;
class QMenu;
class RunError;
class Scheduler;
class TrayIcon;
class VersionWindow;
namespace DataFile {
struct LoadIssue;
}

// The main window: holds the notices, and brings together their Data file, the scheduler, the
// tray icon and the notice editor; shows what the file reports and what the scheduler finds.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(const QString &dataFilePath, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Puts the icon in the notification area, reads the Data file and offers missed notices.
    void start();
    // What a double-click on the tray icon does.
    void showFromTray(short button = 0);

    // The session ends (logout, shutdown, SIGTERM): the changes not yet in the file saved, and
    // where that fails listed on standard error.
    void saveBeforeSessionEnds();

    // Asked before each save: whether this process still holds the Data file alone.
    void setOwnerCheck(std::function<bool()> check);

    // How "終了(&X)" ends the process; tests replace it.
    static std::function<void()> &exitProcess();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void shutDown();
    void closeToTray();
    void showMainWindow();

    // Tray
    void buildTrayMenu();
    void onTrayClick(short button);
    void showVersionWindow();
    void exitPirune();

    // Data file
    void reportLoadIssues(const QList<DataFile::LoadIssue> &issues);
    void fileChangedOutside(bool writingSettled);
    void onFileReloaded(const QList<DataFile::LoadIssue> &issues);
    void reportUnsavedChanges();

    // Notices at their minute and missed ones
    static bool askAboutMissedNotices();

    NoticeTable m_table;
    NoticeFile *m_file;
    Scheduler *m_scheduler;
    MessageQueue *m_messages;
    NoticeEditor *m_editor;
    TrayIcon *m_tray;
    QMenu *m_trayMenu = nullptr;
    QPointer<VersionWindow> m_version;
    QRect m_closedGeometry; // where 閉じる left the window
    bool m_shutDown = false;
};
