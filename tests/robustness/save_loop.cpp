// Saves the Data file over and over, alternating two large tables, until it is killed.
//   pirune_save_loop make-refs <dir>                 writes a.dat and b.dat (the two tables' bytes)
//   pirune_save_loop loop <a.dat> <b.dat> <target>   loads both and saves them in turn into target
//   pirune_save_loop overwrite <a.dat> <b.dat> <target>   the same with a plain overwrite, which the
//                                                    test must catch: proof that kills land mid-save
#include "app/RunError.h"
#include "store/DataFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

namespace {

void fill(NoticeTable &t, int count, const QString &tag)
{
    t.reset();
    t.resizeTo(count - 1);
    t.lngLast = count - 1;
    for (int i = 0; i < count; ++i) {
        t.arrJikoku[i] = QStringLiteral("20%1/%2/%3 %4:%5")
                             .arg(30 + i % 60)
                             .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                             .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                             .arg(i % 24, 2, 10, QLatin1Char('0'))
                             .arg(i % 60, 2, 10, QLatin1Char('0'));
        t.arrMes[i] = QStringLiteral("%1 %2番目の予定です。会議室Ａで打ち合わせ／資料を持参").arg(tag).arg(i);
        t.arrTuuti[i] = QString::number(i % 2);
    }
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

int makeRefs(const QString &dir)
{
    NoticeTable a, b;
    fill(a, 16000, QStringLiteral("旧"));
    fill(b, 14000, QStringLiteral("新しい"));
    const QByteArray aBytes = DataFile::serialize(a, FileEncoding::Cp932);
    const QByteArray bBytes = DataFile::serialize(b, FileEncoding::Utf8Bom);
    return writeFile(QDir(dir).filePath(QStringLiteral("a.dat")), aBytes) &&
                   writeFile(QDir(dir).filePath(QStringLiteral("b.dat")), bBytes)
               ? 0
               : 2;
}

int loop(const QString &aPath, const QString &bPath, const QString &target, bool atomic)
{
    NoticeTable tables[2];
    FileEncoding enc[2];
    DataFile::load(DataFile::readAll(aPath), tables[0], enc[0]);
    DataFile::load(DataFile::readAll(bPath), tables[1], enc[1]);
    for (unsigned long n = 0;; ++n) {
        const int k = int(n % 2);
        const QByteArray bytes = DataFile::serialize(tables[k], enc[k]);
        if (atomic)
            DataFile::writeAtomically(target, bytes);
        else if (!writeFile(target, bytes))
            return 4;
        if (n == 0) {
            std::fputs("saving\n", stdout);
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 3 && args.at(1) == QLatin1String("make-refs"))
            return makeRefs(args.at(2));
        if (args.size() == 5 && (args.at(1) == QLatin1String("loop") || args.at(1) == QLatin1String("overwrite")))
            return loop(args.at(2), args.at(3), args.at(4), args.at(1) == QLatin1String("loop"));
    } catch (const RunError &e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qUtf8Printable(e.description()));
        return 3;
    }
    std::fputs("usage: pirune_save_loop make-refs <dir> | loop|overwrite <a.dat> <b.dat> <target>\n", stderr);
    return 1;
}
