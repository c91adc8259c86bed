#include "main_window/F_Pirune.h"

#include "base/Clock.h"
#include "base/ErrorTrap.h"
#include "base/mdl_Cmn.h"
#include "notify/Scheduler.h"
#include "store/DataFile.h"
#include "store/DataFileWatch.h"
#include "tray/TrayControl.h"
#include "widgets/DatePicker.h"
#include "widgets/TimeField.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdlib>

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

F_Pirune::F_Pirune(const QString &dataDir, QWidget *parent) : QWidget(parent), m_dataDir(dataDir) {
    setupWindow();
    TrayControl1 = new TrayControl(this);
    TrayControl1->setObjectName(QStringLiteral("TrayControl1"));
    buildMenu();

    m_scheduler = new Scheduler(this);
    Timer1 = m_scheduler->timer();
    connect(m_scheduler, &Scheduler::passDue, this, &F_Pirune::Timer1_Timer);
    connect(m_scheduler, &Scheduler::missedCheckDue, this, &F_Pirune::CheckMituuti);
    m_fileWatch = new DataFileWatch(dataFilePath(), this);
    connect(m_fileWatch, &DataFileWatch::changedOutside, this, &F_Pirune::fileChangedOutside);
}

F_Pirune::~F_Pirune() {
    delete mnuPopup;
}

std::function<void()> &F_Pirune::exitProcess() {
    // At once, as the user asked: every change is already in the Data file, and destructors
    // would remove the tray icon and close windows one by one first.
    static std::function<void()> f = [] { std::_Exit(0); };
    return f;
}

QString F_Pirune::dataFilePath() const {
    return DataFile::pathIn(m_dataDir);
}

void F_Pirune::Form_Load() {
    // Until the whole file is in the table, a save would overwrite notices not yet read.
    m_loadFailed = true;
    // The window is usually hidden; closing a message window must not end the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    ErrorTrap::run("Form_Load Code:", [&] {
        TrayControl1->setIcon(windowIcon());
        TrayControl1->setTip(QStringLiteral("Pirune"));
        TrayControl1->show();
        TrayControl1->waitForHost();
        hide();

        const QString path = dataFilePath();
        DataFile::ensureExists(path);

        NoticeTable::reset();
        // Today, so that a notice entered with only a time lands on a day still to come.
        setEditorStart(Clock::now());
        const QList<DataFile::LoadIssue> issues = readDataFile(*this, m_encoding);
        m_loadFailed = false;
        reportLoadIssues(issues);

        SetDispFromMemory();
        applyButtonRule();

        CheckMituuti();
    });
}

void F_Pirune::applyButtonRule() {
    m_editButtons = lngLast != -1;
    showEditButtons();
}

void F_Pirune::showEditButtons() {
    if (cmd_Settei && m_editButtons) {
        cmd_Settei->setEnabled(*m_editButtons);
        cmd_Del->setEnabled(*m_editButtons);
    }
}

void F_Pirune::setEditorStart(const QDateTime &now) {
    m_editorStart = now;
    if (controlsBuilt()) {
        DTP_YMD->setDate(now.date());
        txt_SetteiJikoku->setText(now.toString(QStringLiteral("HH:mm")));
    }
}

void F_Pirune::ensureControls() {
    if (controlsBuilt())
        return;
    buildControls();
    lstItiran->addItems(listLines());
    setEditorStart(m_editorStart);
    showEditButtons();
    alignListHeader();
    Form_Resize();
    cmdEnd->setFocus(); // first in the tab order: the focus when the window is first shown
}

void F_Pirune::cmdEnd_Click() {
    ErrorTrap::run("cmdEnd_Click Code:", [&] {
        if (TrayControl1->isHostMissing()) {
            showMinimized();
        } else {
            m_closedGeometry = geometry();
            hide();
        }
    });
}

void F_Pirune::closeEvent(QCloseEvent *event) {
    Form_Unload();
    event->accept();
}

void F_Pirune::Form_Unload() {
    ErrorTrap::run("Form_Unload Code:", [&] { TrayControl1->remove(); });
    Timer1->stop();
    emit unloaded();
    if (!findChild<QObject *>(QStringLiteral("EndWithLastWindow"), Qt::FindDirectChildrenOnly))
        qApp->installEventFilter(new EndWithLastWindow(this));
}

void F_Pirune::SetDispFromMemory() {
    ErrorTrap::run("SetDispFromMemory Code:", [&] {
        if (!lstItiran)
            return; // the lines are written when the list is built
        const qint32 last = lngLast;
        for (qint32 i = 0; i <= last; ++i) {
            QListWidgetItem *item = lstItiran->item(i);
            if (!item)
                throw RunError::indexOutOfRange(QStringLiteral("lstItiran(%1)").arg(i));
            const QString text = displayText(i);
            if (item->text() != text)
                item->setText(text);
        }
    });
}

qint32 F_Pirune::SortItiran(qint32 index) {
    qint32 result = -1;
    ErrorTrap::run("SortItiran Code:", [&] { result = SortItiranFast(*this, index); });
    return result;
}
