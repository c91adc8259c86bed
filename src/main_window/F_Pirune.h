#pragma once

#include "store/DataFile.h"
#include "store/NoticeTable.h"
#include "store/TextCodec.h"
#include "tray/frmVersion.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class DatePicker;
class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class DataFileWatch;
class QTimer;
class Scheduler;
class TimeField;
class TrayControl;

// The main window: owns the notices, the editor, the timer and the tray icon.
class F_Pirune : public QWidget, private NoticeTable {
    Q_OBJECT
public:
    explicit F_Pirune(const QString &dataDir, QWidget *parent = nullptr);
    ~F_Pirune() override;

    // Controls of the window: built when it is first shown (see ensureControls).
    QLabel *Label1 = nullptr;
    QListWidget *lstItiran = nullptr;
    QGroupBox *fra1 = nullptr;
    QLabel *Label2_0 = nullptr;
    QLabel *Label2_3 = nullptr;
    DatePicker *DTP_YMD = nullptr;
    TimeField *txt_SetteiJikoku = nullptr;
    QPlainTextEdit *txtSetteiMes = nullptr;
    QPushButton *cmd_Add = nullptr;
    QPushButton *cmd_Settei = nullptr;
    QPushButton *cmd_Del = nullptr;
    QPushButton *cmd_Clear = nullptr;
    QPushButton *cmdEnd = nullptr;
    // Alive from the start; Timer1 is the scheduler's
    QTimer *Timer1 = nullptr;
    TrayControl *TrayControl1 = nullptr;
    QMenu *mnuPopup = nullptr;
    QList<QAction *> mnu_Popup;

    // A program that sits hidden all day need not hold the window's controls: they are built,
    // with the state start-up gave them, the first time they are needed.
    void ensureControls();
    bool controlsBuilt() const { return lstItiran != nullptr; }

    // Start-up and shutdown
    void Form_Load();
    void Form_Unload();
    void cmdEnd_Click();

    // Notice store
    void SetDispFromMemory();
    qint32 SortItiran(qint32 index);
    bool SaveDataToFile();
    // Reads the Data file again after someone else changed it.
    void ReloadDataFile();

    // Editing
    bool Input_check();
    void cmd_Add_Click();
    void cmd_Settei_Click();
    void lstItiran_Click();
    void cmd_Del_Click();
    void cmd_Clear_Click();

    // Notification
    void Timer1_Timer();
    void CheckMituuti();
    void multiMessageBox(const QString &mes, const QString &title);

    // Tray
    void TrayControl1_DblClick(short Button);
    void TrayControl1_Click(short Button);
    void mnu_Popup_Click(short index);

    void Form_Resize();

    // The message box text with each line break as CR LF, as the Windows text box gives it.
    QString txtSetteiMesText() const;
    qint32 listIndex() const;
    void setListIndex(qint32 index);

    const NoticeTable &table() const { return *this; }
    QString dataFilePath() const;
    frmVersion *versionWindow() const { return m_version; }

    int savesDone() const { return m_saves; }

    // How "終了(&X)" ends the process; tests replace it.
    static std::function<void()> &exitProcess();

signals:
    // From here on the process no longer owns the Data file.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setupWindow();
    void buildControls();
    void setEditorStart(const QDateTime &now);
    void buildMenu();
    void alignListHeader();
    void applyButtonRule();
    void showEditButtons();
    QString editorJikoku() const;
    QString editorMes() const;
    bool refuseUnencodable(const QString &mes);
    void showMainWindow();
    void openVersionWindow();
    QStringList listLines() const;
    QList<DataFile::LoadIssue> readDataFile(NoticeTable &t, FileEncoding &enc);
    void reportLoadIssues(const QList<DataFile::LoadIssue> &issues);
    void fileChangedOutside();
    bool fileIsCurrent(bool refersToLine);
    void tellListReloaded();
    void reportUnsavedChanges();
    // Marks each notice `show` picks as shown and opens its window; saves once they are open.
    void showNotices(const std::function<bool(qint32)> &show);
    void showQueuedMessages();

    QString m_dataDir;
    FileEncoding m_encoding = FileEncoding::Cp932;
    bool m_loadFailed = false;       // the file could not be read whole: it must not be overwritten
    bool m_behind = false;           // a save failed: the file lacks changes the table has
    bool m_saveFailureShown = false; // ...and the user was told, once for the streak
    int m_reloads = 0;
    Scheduler *m_scheduler = nullptr;
    DataFileWatch *m_fileWatch = nullptr;
    int m_saves = 0;
    QDateTime m_editorStart; // the editor's date and time while its controls are not built
    std::optional<bool> m_editButtons; // Change/Delete enabled, once start-up has decided it
    QPointer<frmVersion> m_version;
    QStringList m_messagesToShow; // of notices marked shown, whose windows are yet to open
    bool m_messageBatchQueued = false;
    bool m_saveAfterMessages = false;
    QRect m_closedGeometry; // where 閉じる left the window
};
