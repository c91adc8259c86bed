#pragma once

#include "DataFileBytes.h"
#include "base/Clock.h"
#include "base/MessageSeam.h"
#include "main_window/MainWindow.h"
#include "notify/MessageWindow.h"
#include "notify/Scheduler.h"
#include "store/NoticeFile.h"
#include "tray/TrayIcon.h"
#include "widgets/DatePicker.h"
#include "widgets/TimeField.h"

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>

// A Pirune on a Data file in a temporary folder, its clock set by the test and its timer stopped,
// so that each pass of the timer is one the test makes. Message boxes are answered in the user's
// place: with `answers` in order, else with the box's default; `during` runs while the next box
// is open, as the event loop of a real box would run timers and clicks then.
struct PiruneFixture {
    QTemporaryDir dir;
    QString path = dir.filePath("Pirune.dat");
    QList<MessageSeam::Box> shownBoxes;
    QList<MessageSeam::Answer> answers;
    std::function<void()> during;
    MessageSeam::Handler previous = MessageSeam::setHandler([this](const MessageSeam::Box &b) {
        shownBoxes << b;
        if (during)
            std::exchange(during, nullptr)();
        return answers.isEmpty() ? b.defaultAnswer : answers.takeFirst();
    });
    std::unique_ptr<MainWindow> w;

    PiruneFixture() {
        MainWindow::exitProcess() = [] {};
    }
    ~PiruneFixture() {
        w.reset();
        qDeleteAll(messageWindows());
        Clock::reset();
        MessageSeam::setHandler(std::move(previous));
    }

    // `file` null: no Data file.
    MainWindow &start(const QByteArray &file, const char *time = "08:00:20") {
        setClock(time);
        if (!file.isNull())
            writeFile(path, file);
        w = std::make_unique<MainWindow>(path);
        w->start();
        scheduler()->stop();
        return *w;
    }
    MainWindow &open(const QByteArray &file) {
        start(file);
        open();
        return *w;
    }
    void open() { // from the tray
        emit tray()->doubleClicked(0);
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(w.get());
    }
    static void setClock(const char *time) {
        Clock::setFixed({QDate(2026, 12, 7), QTime::fromString(time, "hh:mm:ss")});
    }
    void pass(const char *time) {
        setClock(time);
        scheduler()->runPass();
    }

    // The window's parts, found as a user finds them: by what they are.
    template <class T = QWidget> T *find(const char *name) const {
        return w->findChild<T *>(QString::fromLatin1(name));
    }
    QPushButton *button(const char *name) const { return find<QPushButton>(name); }
    QListWidget *noticeList() const { return find<QListWidget>("noticeList"); }
    DatePicker *dateEdit() const { return find<DatePicker>("dateEdit"); }
    TimeField *timeEdit() const { return find<TimeField>("timeEdit"); }
    QPlainTextEdit *messageEdit() const { return find<QPlainTextEdit>("messageEdit"); }
    Scheduler *scheduler() const { return w->findChild<Scheduler *>(); }
    TrayIcon *tray() const { return w->findChild<TrayIcon *>(); }
    QAction *action(const char *name) const {
        return tray()->menu()->findChild<QAction *>(QString::fromLatin1(name));
    }
    int saves() const { return w->findChild<NoticeFile *>()->saveCount(); }
    void pick(int row) const { // a click on the line; -1: none
        if (QListWidgetItem *item = noticeList()->item(row))
            QTest::mouseClick(noticeList()->viewport(), Qt::LeftButton, {},
                              noticeList()->visualItemRect(item).center());
    }
    int picked() const { return noticeList()->selectionModel()->selectedRows().value(0).row(); }

    void edit(const char *date, const QString &time, const QString &message) {
        dateEdit()->setDate(QDate::fromString(date, "yyyy/MM/dd"));
        timeEdit()->setText(time);
        messageEdit()->setPlainText(message);
    }
    QString editor() const { // line breaks as "/"
        return dateEdit()->dateText() + " " + timeEdit()->shownText() + " " +
               messageEdit()->toPlainText().replace('\n', '/');
    }
    QStringList list() const {
        QStringList out;
        for (int i = 0; i < noticeList()->count(); ++i)
            out << noticeList()->item(i)->text();
        return out;
    }
    // The boxes shown since the last call, as "title: text".
    QStringList boxes() {
        QStringList texts;
        for (const auto &b : std::exchange(shownBoxes, {}))
            texts << QString(b.title + ": " + b.text).replace(dir.path(), "DIR");
        return texts;
    }

    QByteArray data() const { return bytesOf(path); }
    static inline const QByteArray kByHand = "2026/12/07 09:30\t手で追加\t0\r\n";
    void writeBySync(const QByteArray &bytes) const { ::writeBySync(path, bytes); }
    void makeDataFileAFolder() {
        QFile::remove(path);
        QDir(dir.path()).mkdir("Pirune.dat");
    }

    // The open ones, oldest first: the offscreen platform numbers windows as it makes them.
    static QList<MessageWindow *> messageWindows() {
        QList<MessageWindow *> out;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *m = qobject_cast<MessageWindow *>(w); m && m->isVisible())
                out << m;
        std::sort(out.begin(), out.end(),
                  [](QWidget *a, QWidget *b) { return a->winId() < b->winId(); });
        return out;
    }
    static QStringList messages() { // each after its title unless that is "メッセージ"
        QStringList out;
        for (MessageWindow *m : messageWindows())
            out << (m->windowTitle() == "メッセージ" ? "" : m->windowTitle() + ": ") + m->message();
        return out;
    }
};
