#include "BenchData.h"

#include "base/Clock.h"
#include "base/MessageSeam.h"
#include "main_window/F_Pirune.h"
#include "store/DataFile.h"
#include "widgets/DatePicker.h"
#include "widgets/TimeField.h"

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

// A real main window started on a Data file of `count` notices. Boxes are answered at once:
// yes to the delete question, the default to anything else (counted, as none is expected).
struct Window {
    QTemporaryDir dir;
    std::unique_ptr<F_Pirune> w;
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
        w = std::make_unique<F_Pirune>(dir.path());
        w->Form_Load();
        w->ensureControls();
    }
    ~Window() {
        w.reset();
        MessageSeam::setHandler(std::move(previous));
    }
    // Deleting from the middle of the list leaves QListWidget's cached row of every later item
    // stale; looking each one up once renews it, as the first change of each would.
    void healListRows() const {
        for (int i = w->lstItiran->count() - 1; i >= 0; --i)
            w->lstItiran->row(w->lstItiran->item(i));
    }
    void fillEditor(const QDate &date) const {
        w->DTP_YMD->setDate(date);
        w->txt_SetteiJikoku->setText(QStringLiteral("09:05"));
        w->txtSetteiMes->setPlainText(QStringLiteral("追加した予定\n二行目"));
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
            F_Pirune w(dir.path());
            w.Form_Load();
            benchmark::DoNotOptimize(w.table().lngLast);
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowStart)->Arg(0)->Apply(sizes)->Unit(benchmark::kMillisecond);

void BM_TimerPass(benchmark::State &state) {
    Window win(qint32(state.range(0)));
    for (auto _ : state)
        win.w->Timer1_Timer();
    win.check(state);
}
BENCHMARK(BM_TimerPass)->Apply(sizes)->Unit(benchmark::kMicrosecond);

// The whole Add command: insert, sort, list, save. The added notice is deleted again between
// iterations (untimed) so that every iteration starts from the same table.
void BM_AddCommand(benchmark::State &state) {
    const qint32 n = qint32(state.range(0));
    Window win(n);
    const QDate date = QDate::fromString(win.w->table().arrJikoku.at(n / 2).left(10),
                                         QStringLiteral("yyyy/MM/dd"));
    for (auto _ : state) {
        state.PauseTiming();
        win.fillEditor(date);
        state.ResumeTiming();
        win.w->cmd_Add_Click();
        state.PauseTiming();
        if (win.w->table().lngLast != n)
            state.SkipWithError("the notice was not added");
        win.w->cmd_Del_Click();
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
    const QDate date = QDate::fromString(win.w->table().arrJikoku.at(n / 2).left(10),
                                         QStringLiteral("yyyy/MM/dd"));
    for (auto _ : state) {
        state.PauseTiming();
        win.w->setListIndex(n / 4);
        win.w->cmd_Del_Click();
        win.fillEditor(date);
        state.ResumeTiming();
        win.w->cmd_Add_Click();
        state.PauseTiming();
        if (win.w->table().lngLast != n - 1)
            state.SkipWithError("the notice was not added");
        state.ResumeTiming();
    }
    win.check(state);
}
BENCHMARK(BM_AddAfterDelete)->Arg(1000)->Arg(10000)->Arg(32768)->Unit(benchmark::kMillisecond);

// The parts of Add after the sort, on an unchanged table.
void BM_SetDispFromMemory(benchmark::State &state) {
    Window win(qint32(state.range(0)));
    for (auto _ : state)
        win.w->SetDispFromMemory();
    win.check(state);
}
BENCHMARK(BM_SetDispFromMemory)->Apply(sizes)->Unit(benchmark::kMillisecond);

void BM_SaveDataToFile(benchmark::State &state) {
    Window win(qint32(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(win.w->SaveDataToFile());
    win.check(state);
}
BENCHMARK(BM_SaveDataToFile)->Apply(sizes)->Unit(benchmark::kMillisecond);

} // namespace
