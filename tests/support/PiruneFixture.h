#pragma once

#include "BoxRecorder.h"
#include "app/Clock.h"
#include "app/DatePicker.h"
#include "app/TimeField.h"
#include "main_window/F_Pirune.h"
#include "notify/frmMessage.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

// A Pirune main window on a temporary Data file, its boxes answered by a recorder.
struct PiruneFixture
{
    QTemporaryDir dir;
    BoxRecorder boxes;
    std::unique_ptr<F_Pirune> w;

    explicit PiruneFixture(const QDateTime &now = QDateTime(QDate(2026, 12, 7), QTime(9, 4, 30)))
    {
        Clock::setFixed(now);
        F_Pirune::exitProcess() = [] {};
    }
    ~PiruneFixture()
    {
        w.reset();
        closeMessageWindows();
        Clock::reset();
    }

    QString path() const { return dir.filePath(QStringLiteral("Pirune.dat")); }

    static QByteArray cp932(const QString &text)
    {
        QStringEncoder e("Shift_JIS");
        return e.encode(text);
    }

    void writeData(const QByteArray &bytes) const
    {
        QFile f(path());
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the Data file");
    }
    void writeText(const QString &text) const { writeData(cp932(text)); }

    QByteArray data() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Starts Pirune; unless told otherwise, also builds the window as the user's first look does.
    F_Pirune &start(bool buildControls = true)
    {
        w = std::make_unique<F_Pirune>(dir.path());
        w->Form_Load();
        if (buildControls)
            w->ensureControls();
        return *w;
    }

    QStringList listLines() const
    {
        QStringList out;
        for (int i = 0; i < w->lstItiran->count(); ++i)
            out << w->lstItiran->item(i)->text();
        return out;
    }

    void editor(const QDate &date, const QString &time, const QString &message) const
    {
        w->DTP_YMD->setDate(date);
        w->txt_SetteiJikoku->setText(time);
        w->txtSetteiMes->setPlainText(message);
    }

    // Open message windows, oldest first.
    static QList<frmMessage *> messageWindows()
    {
        QList<frmMessage *> out;
        for (QWidget *t : QApplication::topLevelWidgets())
            if (auto *m = qobject_cast<frmMessage *>(t); m && m->isVisible())
                out << m;
        std::sort(out.begin(), out.end(), [](frmMessage *a, frmMessage *b) { return a->serial < b->serial; });
        return out;
    }
    static QStringList messageTexts()
    {
        QStringList out;
        for (frmMessage *m : messageWindows())
            out << m->txtMessage->toPlainText();
        return out;
    }
    static void closeMessageWindows()
    {
        for (frmMessage *m : messageWindows())
            m->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};
