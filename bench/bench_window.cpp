#include "BenchData.h"

#include "base/Clock.h"
#include "base/MessageSeam.h"
#include "main_window/MainWindow.h"
#include "notify/Scheduler.h"
#include "store/DataFile.h"
#include "widgets/DatePicker.h"
#include "widgets/TimeField.h"

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

// A real main window started on a Data file of `count` notices. Boxes are answered at once:
// yes to the delete question, the default to anything else (counted, as none is expected).
struct Window {
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> w;
    QListWidget *list = nullptr;
    int unexpectedBoxes = 0;
    MessageSeam::Handler previous;

    explicit Window(qint32 count) {
        previous = MessageSeam::setHandler([this](const MessageSeam::Box &box) {
            if (box.buttons == MessageSeam::Buttons::YesNo &&
                box.text.startsWith(QStringLiteral("削除")))
                return MessageSeam::Answer::Yes;
            ++unexpectedBoxes;
            return box.defaultAnswer;
        });
        QFile f(DataFile::pathIn(dir.path()));
        const QByteArray bytes = BenchData::fileBytes(count);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the Data file");
        f.close();
        w = std::make_unique<MainWindow>(DataFile::pathIn(dir.path()));
        w->start();
        w->showFromTray();
        list = w->findChild<QListWidget *>(QStringLiteral("noticeList"));
    }
    ~Window() {
        w.reset();
        MessageSeam::setHandler(std::move(previous));
    }
    // Deleting from the middle of the list leaves QListWidget's cached row of every later item
    // stale; looking each one up once renews it, as the first change of each would.
    void healListRows() const {
        for (int i = list->count() - 1; i >= 0; --i)
            list->row(list->item(i));
    }
    template <class T> T *control(const char *name) const {
        return w->findChild<T *>(QString::fromLatin1(name));
    }
    void click(const char *button) const { control<QPushButton>(button)->click(); }
    void fillEditor(const QDate &date) const {
        control<DatePicker>("dateEdit")->setDate(date);
        control<TimeField>("timeEdit")->setText(QStringLiteral("09:05"));
        control<QPlainTextEdit>("messageEdit")
            ->setPlainText(QStringLiteral("追加した予定\n二行目"));
    }
    // The date of the notice in the middle of the list.
    QDate middleDate() const {
        const QString line = list->item(list->count() / 2)->text();
        return QDate::fromString(line.left(10), QStringLiteral("yyyy/MM/dd"));
    }
    bool check(benchmark::State &state) const {
        if (unexpectedBoxes == 0)
            return true;
        state.SkipWithError("a message box was shown");
        return false;
    }
};

void sizes(benchmark::internal::Benchmark *b) {
    b->Arg(1000)->Arg(10000)->Arg(32768)->Arg(100000);
}

void BM_WindowStart(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            QTemporaryDir dir;
            QFile f(DataFile::pathIn(dir.path()));
            const QByteArray bytes = BenchData::fileBytes(qint32(state.range(0)));
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                qFatal("cannot write the Data file");
            f.close();
            state.ResumeTiming();
            MainWindow w(DataFile::pathIn(dir.path()));
            w.start();
            benchmark::DoNotOptimize(&w);
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowStart)->Arg(0)->Apply(sizes)->Unit(benchmark::kMillisecond);

void BM_TimerPass(benchmark::State &state) {
    Window win(qint32(state.range(0)));
    auto *scheduler = win.w->findChild<Scheduler *>();
    for (auto _ : state)
        scheduler->runPass();
    win.check(state);
}
BENCHMARK(BM_TimerPass)->Apply(sizes)->Unit(benchmark::kMicrosecond);

// The whole Add command: insert, sort, list, save. The added notice is deleted again between
// iterations (untimed) so that every iteration starts from the same table.
void BM_AddCommand(benchmark::State &state) {
    const qint32 n = qint32(state.range(0));
    Window win(n);
    const QDate date = win.middleDate();
    for (auto _ : state) {
        state.PauseTiming();
        win.fillEditor(date);
        state.ResumeTiming();
        win.click("addButton");
        state.PauseTiming();
        if (win.list->count() != n + 1)
            state.SkipWithError("the notice was not added");
        win.click("deleteButton");
        win.healListRows();
        state.ResumeTiming();
    }
    win.check(state);
}
BENCHMARK(BM_AddCommand)->Apply(sizes)->Unit(benchmark::kMillisecond);

// Add right after deleting a notice in the middle. QListWidget then looks up every item below
// the deleted one by a linear search the first time its text changes.
void BM_AddAfterDelete(benchmark::State &state) {
    const qint32 n = qint32(state.range(0));
    Window win(n);
    const QDate date = win.middleDate();
    for (auto _ : state) {
        state.PauseTiming();
        win.list->setCurrentRow(n / 4);
        win.click("deleteButton");
        win.fillEditor(date);
        state.ResumeTiming();
        win.click("addButton");
        state.PauseTiming();
        if (win.list->count() != n)
            state.SkipWithError("the notice was not added");
        state.ResumeTiming();
    }
    win.check(state);
}
BENCHMARK(BM_AddAfterDelete)->Arg(1000)->Arg(10000)->Arg(32768)->Unit(benchmark::kMillisecond);

} // namespace
