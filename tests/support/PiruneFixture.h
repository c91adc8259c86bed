#pragma once

#include "base/Clock.h"
#include "base/MessageSeam.h"

#include <QStringList>
#include <functional>
#include <utility>

// Answers every message box in place of the user and keeps what was shown. `during` runs while the
// next box is open, as the event loop of a real box would run timers and clicks then.
struct BoxRecorder {
    QList<MessageSeam::Box> boxes;
    QList<MessageSeam::Answer> answers; // taken in order; when empty, the box's default answer
    std::function<void(const MessageSeam::Box &)> during;
    MessageSeam::Handler previous = MessageSeam::setHandler([this](const MessageSeam::Box &b) {
        boxes << b;
        if (during)
            std::exchange(during, nullptr)(b);
        return answers.isEmpty() ? b.defaultAnswer : answers.takeFirst();
    });
    ~BoxRecorder() { MessageSeam::setHandler(std::move(previous)); }
    QStringList texts() const { // "title: text"
        QStringList out;
        for (const auto &b : boxes)
            out << b.title + ": " + b.text;
        return out;
    }
};

#ifdef QT_WIDGETS_LIB
#include "main_window/F_Pirune.h"
#include "notify/frmMessage.h"
#include "widgets/DatePicker.h"
#include "widgets/TimeField.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

// Message windows in the order they were first shown, which is the order they were opened.
struct ShowOrder : QObject {
    QList<QPointer<frmMessage>> windows;
    bool eventFilter(QObject *o, QEvent *e) override {
        if (auto *m = qobject_cast<frmMessage *>(o);
            m && e->type() == QEvent::Show && !windows.contains(m))
            windows << m;
        return false;
    }
    static ShowOrder &instance() {
        static ShowOrder *order = [] {
            auto *o = new ShowOrder;
            qApp->installEventFilter(o);
            return o;
        }();
        return *order;
    }
};

// A Pirune main window on a Data file in a temporary folder, its clock fixed.
struct PiruneFixture {
    QTemporaryDir dir;
    QString path = dir.filePath("Pirune.dat");
    BoxRecorder boxes;
    std::unique_ptr<F_Pirune> w;

    explicit PiruneFixture(const QDateTime &now = {QDate(2026, 12, 7), QTime(9, 4, 30)}) {
        Clock::setFixed(now);
        F_Pirune::exitProcess() = [] {};
        ShowOrder::instance();
    }
    ~PiruneFixture() {
        w.reset();
        qDeleteAll(messageWindows());
        Clock::reset();
    }

    QByteArray data() const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // A null `file` starts without a Data file; `build` builds the window as the first look does.
    F_Pirune &start(const QByteArray &file, bool build = true) {
        if (QFile f(path);
            !file.isNull() && (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size()))
            qFatal("cannot write the Data file");
        w = std::make_unique<F_Pirune>(dir.path());
        w->Form_Load();
        if (build)
            w->ensureControls();
        return *w;
    }

    QStringList listLines() const {
        QStringList out;
        for (int i = 0; i < w->lstItiran->count(); ++i)
            out << w->lstItiran->item(i)->text();
        return out;
    }

    // What the user sees of the main window: the selected line, the editor (line breaks as "/"),
    // 変更 and 削除 when enabled, the focus unless on 閉じる, or "hidden"; and the boxes shown
    // since the last look. A list that does not show the table line for line reads "list out of
    // step".
    QString seen() {
        QString s = "hidden";
        if (w->isVisible()) {
            s = QString::number(w->listIndex()) + " " + w->DTP_YMD->Value() + " " +
                w->txt_SetteiJikoku->Text() + " " +
                w->txtSetteiMes->toPlainText().replace('\n', '/');
            s += QString(w->cmd_Settei->isEnabled() ? " 変更" : "") +
                 (w->cmd_Del->isEnabled() ? " 削除" : "");
            if (QWidget *focus = w->focusWidget(); focus != w->cmdEnd)
                s += " focus:" + (focus ? focus->objectName() : "none");
            QStringList lines;
            for (qint32 i = 0; i <= w->table().lngLast; ++i)
                lines << w->table().displayText(i);
            if (listLines() != lines)
                s += " list out of step";
        }
        for (const QString &b : boxes.texts())
            s += " [" + b + "]";
        boxes.boxes.clear();
        return s.replace(dir.path(), "DIR");
    }

    static QList<frmMessage *> messageWindows() { // oldest first
        QList<frmMessage *> out;
        for (frmMessage *m : ShowOrder::instance().windows)
            if (m && m->isVisible())
                out << m;
        return out;
    }
    static QStringList messageTexts() { // each after its title unless that is "メッセージ"
        QStringList out;
        for (frmMessage *m : messageWindows())
            out << (m->windowTitle() == "メッセージ" ? "" : m->windowTitle() + ": ") +
                       m->txtMessage->toPlainText();
        return out;
    }
};
#endif
