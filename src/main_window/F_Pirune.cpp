#include "main_window/F_Pirune.h"

#include "app/AppIcon.h"
#include "app/Clock.h"
#include "app/ErrorTrap.h"
#include "app/TimeField.h"
#include "app/TrayControl.h"
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
        if (!TrayControl::hostAvailable())
            watchForTray();
        hide();

        const QString path = dataFilePath();
        DataFile::ensureExists(path);

        // The list and its lines are made when the window's controls are built (ensureControls).
        NoticeTable::reset();
        setTimeField(Clock::now().toString(QStringLiteral("HH:mm")));
        {
            const auto loaded = qScopeGuard([&] { m_loaded = true; });
            DataFile::load(DataFile::readAll(path), *this, m_encoding);
            m_loadFailed = false;
        }

        SetDispFromMemory();
        applyButtonRule();

        CheckMituuti();
    });
    m_loaded = true;
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
    lstItiran->addItems(QStringList(lngLast + 1, QString()));
    SetDispFromMemory();
    txt_SetteiJikoku->setText(m_timeText);
    showEditButtons();
    alignListHeader();
    Form_Resize();
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
    // The process ends once no window of it is left open.
    QTimer::singleShot(0, qApp, [] {
        for (QWindow *w : QGuiApplication::topLevelWindows()) {
            if (w->isVisible() && w->type() != Qt::Popup && w->type() != Qt::ToolTip) {
                QGuiApplication::setQuitOnLastWindowClosed(true);
                return;
            }
        }
        QCoreApplication::exit(0);
    });
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
