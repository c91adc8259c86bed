#include "main_window/F_Pirune.h"

#include "app/AppIcon.h"
#include "app/Clock.h"
#include "app/ErrorTrap.h"
#include "app/TimeField.h"
#include "tray/TrayControl.h"
#include "store/DataFile.h"

#include <QCloseEvent>
#include <QScopeGuard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdlib>

namespace {
// Ends the process once no window of it is open, whichever closed last. Qt's own rule does not
// count windows owned by the main window, such as the version window.
class EndWithLastWindow : public QObject
{
public:
    explicit EndWithLastWindow(QObject *parent) : QObject(parent)
    {
        setObjectName(QStringLiteral("EndWithLastWindow"));
        queueCheck();
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            queueCheck();
        return false;
    }

private:
    void queueCheck()
    {
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

F_Pirune::F_Pirune(const QString &dataDir, QWidget *parent) : QWidget(parent), m_dataDir(dataDir)
{
    setupWindow();
    TrayControl1 = new TrayControl(this);
    TrayControl1->setObjectName(QStringLiteral("TrayControl1"));
    buildMenu();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &F_Pirune::timerWake);
    Timer1->start();
    m_clockWatched = Clock::watchChanges(this, [this] {
        if (Timer1->isActive())
            timerWake();
    });
}

F_Pirune::~F_Pirune() = default;

std::function<void()> &F_Pirune::exitProcess()
{
    static std::function<void()> f = [] { std::_Exit(0); };
    return f;
}

QString F_Pirune::dataFilePath() const { return DataFile::pathIn(m_dataDir); }

void F_Pirune::Form_Load()
{
    // Until the whole file is in the table, a save would overwrite notices not yet read.
    m_loadFailed = true;
    // The window is usually hidden; closing a message window must not end the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    ErrorTrap::run("Form_Load Code:", [&] {
        TrayControl1->setIcon(windowIcon());
        TrayControl1->setTip(QStringLiteral("Pirune"));
        TrayControl1->show();
        if (!TrayControl1->isDocked())
            watchForTray();
        hide();

        const QString path = dataFilePath();
        DataFile::ensureExists(path);

        NoticeTable::reset();
        syncListLines();
        setTimeField(Clock::now().toString(QStringLiteral("HH:mm")));
        {
            const auto loaded = qScopeGuard([&] { m_loaded = true; });
            DataFile::load(DataFile::readAll(path), *this, m_encoding);
            m_loadFailed = false;
        }

        syncListLines();
        SetDispFromMemory();
        applyButtonRule();

        CheckMituuti();
    });
    m_loaded = true;
    syncListLines(); // also when loading failed: the list holds what was loaded
}

// The list is built late (see ensureControls), possibly while start-up waits in one of its boxes
// with the table half loaded; wherever that happens, line k must show notice k.
void F_Pirune::syncListLines()
{
    if (!lstItiran)
        return;
    const QSignalBlocker block(lstItiran);
    while (lstItiran->count() > lngLast + 1)
        delete lstItiran->takeItem(lstItiran->count() - 1);
    QStringList added;
    for (qint32 i = lstItiran->count(); i <= lngLast; ++i)
        added << displayText(i);
    lstItiran->addItems(added);
}

void F_Pirune::applyButtonRule()
{
    m_editButtons = lngLast != -1;
    showEditButtons();
}

void F_Pirune::showEditButtons()
{
    if (cmd_Settei && m_editButtons) {
        cmd_Settei->setEnabled(*m_editButtons);
        cmd_Del->setEnabled(*m_editButtons);
    }
}

void F_Pirune::setTimeField(const QString &hhnn)
{
    m_timeText = hhnn;
    if (txt_SetteiJikoku)
        txt_SetteiJikoku->setText(hhnn);
}

void F_Pirune::ensureControls()
{
    if (controlsBuilt())
        return;
    buildControls();
    syncListLines();
    txt_SetteiJikoku->setText(m_timeText);
    showEditButtons();
    alignListHeader();
    Form_Resize();
    cmdEnd->setFocus(); // first in the tab order: the focus when the window is first shown
}

void F_Pirune::cmdEnd_Click()
{
    ErrorTrap::run("cmdEnd_Click Code:", [&] {
        if (m_noTray)
            showMinimized();
        else
            hide();
    });
}

void F_Pirune::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void F_Pirune::Form_Unload()
{
    ErrorTrap::run("Form_Unload Code:", [&] { TrayControl1->remove(); });
    Timer1->stop();
    if (m_trayWatch)
        m_trayWatch->stop();
    emit unloaded();
    if (!findChild<QObject *>(QStringLiteral("EndWithLastWindow"), Qt::FindDirectChildrenOnly))
        qApp->installEventFilter(new EndWithLastWindow(this));
}

void F_Pirune::SetDispFromMemory()
{
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

qint32 F_Pirune::SortItiran(qint32 index)
{
    qint32 result = -1;
    ErrorTrap::run("SortItiran Code:", [&] { result = SortItiranFast(*this, index); });
    return result;
}

bool F_Pirune::SaveDataToFile()
{
    bool result = false;
    ErrorTrap::run("SaveDataToFile Code:", [&] {
        const QString path = dataFilePath();
        if (m_loadFailed)
            throw RunError::refusedUnloadedFile(path);
        const QByteArray bytes = DataFile::serialize(*this, m_encoding);
        DataFile::writeAtomically(path, bytes);
        ++m_saves;
        result = true;
    });
    return result;
}
