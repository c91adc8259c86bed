#include "main_window/MainWindow.h"

#include "base/Clock.h"
#include "base/ErrorBox.h"
#include "base/ErrorTrap.h"
#include "base/MessageSeam.h"
#include "base/ProcedureLabels.h"
#include "main_window/NoticeEditor.h"
#include "notify/MessageQueue.h"
#include "notify/Scheduler.h"
#include "store/NoticeFile.h"
#include "tray/TrayIcon.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {
// Ends the process once no window of it is open, whichever closed last. Qt's own rule does not
// count windows owned by the main window, such as the version window.
class EndWithLastWindow : public QObject {
public:
    explicit EndWithLastWindow(QObject *parent) : QObject(parent) {
        setObjectName(QStringLiteral("EndWithLastWindow"));
        queueCheck();
    }

    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Hide)
            queueCheck();
        return false;
    }

private:
    void queueCheck() {
        if (m_queued)
            return;
        m_queued = true;
        QTimer::singleShot(0, this, [this] {
            m_queued = false;
            for (QWindow *w : QGuiApplication::topLevelWindows()) {
                if (w->isVisible() && w->type() != Qt::Popup && w->type() != Qt::ToolTip)
                    return;
            }
            QCoreApplication::exit(0);
        });
    }

    bool m_queued = false;
};
} // namespace

MainWindow::MainWindow(const QString &dataFilePath, QWidget *parent)
    : QWidget(parent), m_file(new NoticeFile(dataFilePath, this)),
      m_scheduler(new Scheduler(m_table, this)),
      m_messages(new MessageQueue(m_table, *m_file, this)),
      m_editor(new NoticeEditor(m_table, *m_file, this)), m_tray(new TrayIcon(this)) {
    setObjectName(QStringLiteral("MainWindow"));
    setUpMainWindow(this);
    m_file->setObjectName(QStringLiteral("noticeFile"));
    m_scheduler->setObjectName(QStringLiteral("scheduler"));
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    buildTrayMenu();
    connect(m_editor, &NoticeEditor::closeClicked, this, &MainWindow::closeToTray);

    m_scheduler->setQuestion(&MainWindow::askAboutMissedNotices);
    m_scheduler->setWaitingCheck([this](const Notice &n) { return m_messages->isWaiting(n); });
    // A file someone else wrote is read, one that could not be read tried again, and a failed
    // save tried again each minute.
    connect(m_scheduler, &Scheduler::minuteBegins, this,
            [this] { ErrorTrap::run(Label::timerPass, [&] { m_file->catchUp(m_table); }); });
    connect(m_scheduler, &Scheduler::passed, this, [this](const QList<Notice> &due) {
        ErrorTrap::run(Label::timerPass, [&] { m_messages->add(due); });
    });
    connect(m_scheduler, &Scheduler::missedAccepted, this, [this](const QList<Notice> &notices) {
        ErrorTrap::run(Label::missedCheck, [&] { m_messages->add(notices); });
    });

    connect(m_file, &NoticeFile::changedOutside, this, [this] { fileChangedOutside(true); });
    connect(m_file, &NoticeFile::catchUpDue, this, [this] { fileChangedOutside(false); });
    connect(m_file, &NoticeFile::reloaded, this, &MainWindow::onFileReloaded);
    connect(m_file, &NoticeFile::reloadFailed, this,
            [](const RunError &e) { ErrorTrap::report(Label::reloadFile, e); });
    connect(m_file, &NoticeFile::saveFailed, this,
            [](const RunError &e) { ErrorTrap::report(Label::saveFile, e); });
    connect(m_file, &NoticeFile::savedInPlace, this, [] {
        MessageSeam::okBox(QStringLiteral(
            "データファイルのフォルダーに新しいファイルを作れないため、データファイルを直接"
            "書き換えて保存しました。保存の途中でパソコンが止まると、データファイルが壊れる"
            "ことがあります。"));
    });
}

MainWindow::~MainWindow() {
    delete m_trayMenu;
}

std::function<void()> &MainWindow::exitProcess() {
    // At once, as the user asked: every change is already in the Data file, and destructors
    // would remove the tray icon and close windows one by one first.
    static std::function<void()> f = [] { std::_Exit(EXIT_SUCCESS); };
    return f;
}

void MainWindow::setOwnerCheck(std::function<bool()> check) {
    m_file->setOwnerCheck(std::move(check));
}

void MainWindow::start() {
    // The window is usually hidden; closing a message window must not end the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    ErrorTrap::run(Label::startUp, [&] {
        m_tray->setIcon(windowIcon());
        m_tray->setTip(QStringLiteral("Pirune"));
        m_tray->show();
        m_tray->waitForHost();
        hide();
        // Today, so that a notice entered with only a time lands on a day still to come.
        m_editor->setStartTime(Clock::now());
        const QList<DataFile::LoadIssue> issues = m_file->open(m_table);
        reportLoadIssues(issues);
        m_editor->applyButtonRule();
        m_scheduler->checkMissed();
    });
}

bool MainWindow::askAboutMissedNotices() {
    using namespace MessageSeam;
    Box box{QStringLiteral("未通知のメッセージがあります。\r\n表示しますか？"),
            QStringLiteral("確認"), Buttons::YesNo, Icon::None, Answer::Yes};
    box.guardKeys = true; // it comes up at start-up, or at any minute, while the user types
    return MessageSeam::show(box) == Answer::Yes;
}

void MainWindow::closeToTray() {
    ErrorTrap::run(Label::closeButton, [&] {
        if (m_tray->isHostMissing()) {
            showMinimized();
        } else {
            m_closedGeometry = geometry();
            hide();
        }
    });
}

void MainWindow::closeEvent(QCloseEvent *event) {
    shutDown();
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_editor->layOut();
}

// Closed through its frame: the process ends once the last message window is closed, and until
// then holds the Data file but no longer reads or writes it.
void MainWindow::shutDown() {
    ErrorTrap::run(Label::shutDown, [&] { m_tray->remove(); });
    m_scheduler->stop();
    m_messages->clear();
    if (!std::exchange(m_shutDown, true) && !m_file->saveBeforeExit(m_table))
        reportUnsavedChanges();
    m_file->stop();
    if (!findChild<QObject *>(QStringLiteral("EndWithLastWindow"), Qt::FindDirectChildrenOnly))
        qApp->installEventFilter(new EndWithLastWindow(this));
}

// One box, however many lines are bad: the first few of them, and how many there are.
void MainWindow::reportLoadIssues(const QList<DataFile::LoadIssue> &issues) {
    if (issues.isEmpty())
        return;
    const RunError &first = issues.first().error;
    QString text = first.description();
    if (issues.size() > 1) {
        text += QStringLiteral("\r\nデータファイルの %1 行が読み込めませんでした。最初の行:")
                    .arg(issues.size());
        for (const DataFile::LoadIssue &issue : issues.mid(0, 3))
            text += QStringLiteral("\r\n") + issue.text.left(80);
    }
    showErrorBox(Label::splitFields, RunError(first.number(), text));
}

void MainWindow::saveBeforeSessionEnds() {
    if (m_file->saveBeforeExit(m_table))
        return;
    // No one may see a box now: what is lost goes where a log of the session keeps it.
    std::fprintf(stderr, "Pirune: %s\n", qUtf8Printable(m_file->path()));
    for (const QString &line : m_file->unsavedChanges())
        std::fprintf(stderr, "  not saved: %s\n", qUtf8Printable(line));
}

void MainWindow::fileChangedOutside(bool writingSettled) {
    // Reading now would change the lines under an open box; what saves meanwhile reads it first.
    if (MessageSeam::openBoxes() > 0) {
        QTimer::singleShot(500, this, [this] { fileChangedOutside(false); });
        return;
    }
    m_file->catchUp(m_table, writingSettled);
}

void MainWindow::onFileReloaded(const QList<DataFile::LoadIssue> &issues) {
    ErrorTrap::run(Label::reloadFile, [&] {
        m_editor->showReloadedTable();
        reportLoadIssues(issues);
        m_editor->applyButtonRule();
        // A notice added by hand whose time has passed is offered now, as at start-up.
        m_scheduler->queueMissedCheck();
    });
}

// At exit with changes a save could not write: which they are, before they are lost.
void MainWindow::reportUnsavedChanges() {
    ErrorTrap::run(Label::saveFile, [&] {
        QStringList text{
            QStringLiteral("次の変更はデータファイルに保存されていないため、失われます。")};
        MessageSeam::okBox((text << m_file->unsavedChanges()).join(QStringLiteral("\r\n")));
    });
}
