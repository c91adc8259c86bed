#include "BenchData.h"

#include "notify/DueCheck.h"
#include "store/DataFile.h"
#include "store/NoticeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

void sizes(benchmark::internal::Benchmark *b) {
    b->Arg(1000)->Arg(10000)->Arg(32768)->Arg(100000)->Unit(benchmark::kMillisecond);
}

void BM_Load(benchmark::State &state) {
    const QByteArray bytes = BenchData::fileBytes(qint32(state.range(0)));
    for (auto _ : state) {
        NoticeTable t;
        FileEncoding enc;
        DataFile::load(bytes, t, enc);
        benchmark::DoNotOptimize(t.size());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_Load)->Apply(sizes);

void BM_Serialize(benchmark::State &state) {
    NoticeTable t = BenchData::table(qint32(state.range(0)));
    for (auto _ : state) {
        const QByteArray bytes = DataFile::serialize(t, FileEncoding::Cp932);
        benchmark::DoNotOptimize(bytes.constData());
    }
}
BENCHMARK(BM_Serialize)->Apply(sizes);

// Includes the flush to disk that QSaveFile::commit does before the rename.
void BM_WriteAtomically(benchmark::State &state) {
    const QByteArray bytes = BenchData::fileBytes(qint32(state.range(0)));
    QTemporaryDir dir;
    const QString path = DataFile::pathIn(dir.path());
    for (auto _ : state)
        DataFile::writeAtomically(path, bytes);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_WriteAtomically)->Apply(sizes);

// A save through the Data file's owner: serialize, write, flush to disk, rename, remember.
void BM_NoticeFileSave(benchmark::State &state) {
    NoticeTable t = BenchData::table(qint32(state.range(0)));
    QTemporaryDir dir;
    NoticeFile file(DataFile::pathIn(dir.path()));
    NoticeTable opened;
    file.open(opened);
    for (auto _ : state)
        benchmark::DoNotOptimize(file.save(t));
}
BENCHMARK(BM_NoticeFileSave)->Apply(sizes);

// The window a writer that takes no lock still has: from the last check of the Data file's stamp
// to the rename that replaces it.
void BM_LastCheckToRename(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = DataFile::pathIn(dir.path()), temp = path + QStringLiteral(".save-bench");
    DataFile::writeAtomically(path, BenchData::fileBytes(1000));
    for (auto _ : state) {
        state.PauseTiming();
        QFile::copy(path, temp);
        state.ResumeTiming();
        benchmark::DoNotOptimize(FileStamp::of(path));
        ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData());
    }
}
BENCHMARK(BM_LastCheckToRename)->Unit(benchmark::kMicrosecond);

// The timer's per-pass work on the table alone: one clock reading, then every notice tested.
void BM_TimerPassTable(benchmark::State &state) {
    const NoticeTable t = BenchData::table(qint32(state.range(0)));
    for (auto _ : state) {
        const qint64 now = DueCheck::nowCivil();
        qint32 due = 0;
        const auto &minutes = t.minutes();
        for (qint32 i = 0; i < t.size(); ++i)
            due += DueCheck::isDue(minutes[size_t(i)], t.notices()[i], now, now);
        benchmark::DoNotOptimize(due);
    }
}
BENCHMARK(BM_TimerPassTable)->Apply(sizes)->Unit(benchmark::kMicrosecond);

template <NoticeTable (*Make)(qint32), qint32 (*Sort)(NoticeTable &, qint32)>
void sortBench(benchmark::State &state) {
    const qint32 n = qint32(state.range(0));
    const NoticeTable input = Make(n);
    const qint32 sel = input.at(n / 4).message == QStringLiteral("変更") ? n / 4 : input.size() - 1;
    for (auto _ : state) {
        state.PauseTiming();
        NoticeTable t = input;
        BenchData::detach(t);
        state.ResumeTiming();
        benchmark::DoNotOptimize(Sort(t, sel));
    }
}

void BM_SortAfterAdd(benchmark::State &state) {
    sortBench<BenchData::afterAdd, sortNotices>(state);
}
BENCHMARK(BM_SortAfterAdd)->Apply(sizes)->Unit(benchmark::kMicrosecond);

void BM_SortAfterChange(benchmark::State &state) {
    sortBench<BenchData::afterChange, sortNotices>(state);
}
BENCHMARK(BM_SortAfterChange)->Apply(sizes)->Unit(benchmark::kMicrosecond);

// The exchange sort the fast path replaces, for comparison (quadratic: the larger sizes are slow).
void BM_SortReferenceAfterAdd(benchmark::State &state) {
    sortBench<BenchData::afterAdd, exchangeSortNotices>(state);
}
BENCHMARK(BM_SortReferenceAfterAdd)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortReferenceAfterAdd)->Arg(32768)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
