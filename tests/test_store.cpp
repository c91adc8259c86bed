#include "base/RunError.h"
#include "store/DataFile.h"
#include "store/DateText.h"

#include <QtTest>
#ifdef Q_OS_UNIX
#include "store/FileSystemCalls.h"

#include <sys/stat.h>
#endif

using namespace Qt::Literals::StringLiterals; // u"\xDC80"_s: byte 80 as a loaded text keeps it

namespace {
// Messages are the notices' first indexes, so the order after a sort reads off the messages.
NoticeTable tableOf(const QStringList &keys) {
    NoticeTable t;
    for (qint32 i = 0; i < keys.size(); ++i)
        t.append({keys[i], QString::number(i), QString::number(i % 2)});
    return t;
}

QStringList column(const NoticeTable &t, QString Notice::*field) {
    QStringList out;
    for (const Notice &n : t.notices())
        out << n.*field;
    return out;
}

struct Text3 {
    QString a, b, c;
};
struct Decoded {
    QByteArray mes;
    FileEncoding enc;
    QString text;
};
struct Encoded {
    QString text;
    FileEncoding enc;
    QByteArray bytes;
    char32_t refused;
};
// The Data file ("": none, or "old"); the call failing once and how; the
// error of the save; the file's bytes after; the calls made, if given.
struct Save {
    QString file;
    const char *failing;
    int err, error;
    QByteArray after;
    QString calls;
};
} // namespace

class TestStore : public QObject {
    Q_OBJECT
private slots:
    // A text; read as a date-time (seconds optional); read as a notice's minute.
    void dateText_data() {
        QTest::addColumn<Text3>("t");
        for (const Text3 &t : {Text3{"2026/12/07 09:05", "2026/12/07 09:05:00", "2026/12/07 09:05"},
                               {"2026/1/5 9:5", "2026/01/05 09:05:00", "2026/01/05 09:05"},
                               {" 2026-01-05  09:05 ", "2026/01/05 09:05:00", "2026/01/05 09:05"},
                               {"2026/12/07 09:05:59", "2026/12/07 09:05:59", ""}})
            QTest::addRow("\"%s\"", qPrintable(t.a)) << t;
        for (const char *no : {"2026/12/07 09:05:60", "2026/12/07 24:00", "2026/02/30 09:00",
                               "0000/01/01 00:00", "2026/12/07 9:05x"})
            QTest::addRow("not a date-time: \"%s\"", no) << Text3{no, "", ""};
    }
    void dateText() {
        QFETCH(Text3, t);
        const auto r = DateText::parse(t.a);
        QCOMPARE(r ? DateText::renderMinute(*r) + QString(":%1").arg(*r % 60, 2, 10, QChar('0'))
                   : QString(),
                 t.b);
        const auto m = DateText::parseMinute(t.a);
        QCOMPARE(m ? DateText::renderMinute(*m) : QString(), t.c);
    }

    // A one-notice file with these message bytes: the text it reads as, and written back unchanged.
    void decode_data() {
        QTest::addColumn<Decoded>("d");
        const auto cp932 = FileEncoding::Cp932;
        QTest::newRow("cp932") << Decoded{"\x81\x60\x87\x40\xfb\xfc\xb6\xc0", cp932, "～①髙ｶﾀ"};
        QTest::newRow("kana that is valid utf-8")
            << Decoded{"\xd0\xbd\x20\xd2\xb0", cp932, "ﾐｽ ﾒｰ"};
        QTest::newRow("JIS and Microsoft forms")
            << Decoded{"\x81\x60\x81\x61\x81\x7c\x81\x5c\x81\x91\x81\x92\x81\xca\x5c\x7e", cp932,
                       "～∥－―￠￡￢\\~"};
        QTest::newRow("one bad byte")
            << Decoded{"\x93\xfa\x96\x7b\x80\x8c\xea", cp932, u"日本\xDC80語"_s};
        QTest::newRow("NUL") << Decoded{QByteArray("\x93\xfa\0a", 4), cp932, u"日\0a"_s};
        QTest::newRow("bad byte after ASCII") << Decoded{"a\x80", cp932, u"a\xDC80"_s};
        QTest::newRow("half-width ends") << Decoded{"\xa1\xdf\xa0\xe0", cp932, u"｡ﾟ\xDCA0\xDCE0"_s};
        QTest::newRow("lead at the end") << Decoded{"\x93\xfa\x82", cp932, u"日\xDC82"_s};
        QTest::newRow("lead, bad trail") << Decoded{"\x81\x20\xfd", cp932, u"\xDC81 \xDCFD"_s};
        QTest::newRow("control codes") << Decoded{"\x93\xfa\x1a\x1c\x7f", cp932, "日\x1a\x1c\x7f"};
        const QByteArray line = QByteArray("\x92\xb7\x82\xa2\x8d\x73").repeated((10 << 20) / 6);
        QTest::newRow("10 MB, a bad byte at its end") // read and written in linear time
            << Decoded{line + "\xff", cp932,
                       QString("長い行").repeated((10 << 20) / 6) + u"\xDCFF"_s};
        QTest::newRow("utf-8") << Decoded{"\xe9\xab\x99\xf0\x9f\x82\xa1", FileEncoding::Utf8,
                                          "髙🂡"};
        const std::pair<const char *, QString> bom[] = {
            {"\xc2\x80\xdf\xbf", u"\x80\x7ff"_s},
            {"\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", u"\U00010000\U0010ffff"_s},
            {"\xe0\x9f\xbf\xed\xa0\x80", u"\xDCE0\xDC9F\xDCBF\xDCED\xDCA0\xDC80"_s},
            {"\xf0\x8f\xbf\xbf\xf4\x90\x80\x80",
             u"\xDCF0\xDC8F\xDCBF\xDCBF\xDCF4\xDC90\xDC80\xDC80"_s}};
        for (const auto &[bytes, text] : bom)
            QTest::addRow("BOM, %s", QByteArray(bytes).toHex(' ').constData())
                << Decoded{bytes, FileEncoding::Utf8Bom, text};
    }
    void decode() {
        QFETCH(Decoded, d);
        const QByteArray file = TextCodec::bom(d.enc) + "2026/12/07 09:00\t" + d.mes + "\t0\r\n";
        NoticeTable t;
        FileEncoding enc;
        DataFile::load(file, t, enc);
        QCOMPARE(int(enc), int(d.enc));
        QCOMPARE(column(t, &Notice::message), QStringList{d.text});
        QCOMPARE(DataFile::serialize(t, enc), file);
    }

    void encode_data() {
        QTest::addColumn<Encoded>("e");
        const auto cp932 = FileEncoding::Cp932, utf8 = FileEncoding::Utf8;
        QTest::newRow("variant twins, as iconv writes them")
            << Encoded{"〜‖−—¢£¬¥‾", cp932,
                       "\x81\x60\x81\x61\x81\x7c\x81\x5c\x81\x91\x81\x92\x81\xca\x5c\x7e", 0};
        QTest::newRow("emoji after ASCII") << Encoded{"a😀", cp932, {}, 0x1f600};
        QTest::newRow("emoji in utf-8") << Encoded{"a😀", utf8, "a\xf0\x9f\x98\x80", 0};
        QTest::newRow("lone surrogate") << Encoded{u"a\xD800"_s, utf8, {}, 0xd800};
    }
    void encode() {
        QFETCH(Encoded, e);
        const auto bad = TextCodec::firstUnencodable(e.text, e.enc);
        QCOMPARE(bad.value_or(0), e.refused);
        QString error;
        try {
            QCOMPARE(TextCodec::encode(e.text, e.enc), e.bytes);
        } catch (const RunError &r) {
            error = QString::number(r.number()) + r.description();
        }
        QCOMPARE(error, e.refused ? "1001文字" + describeCharacter(e.refused) +
                                        "はデータファイルの文字コードで保存できません。"
                                  : QString());
    }

    void loadOddLines() {
        NoticeTable t;
        FileEncoding enc;
        // Lone CR and lone LF (lines appended by echo to a CR LF file) end lines too.
        const QList<DataFile::LoadIssue> issues =
            DataFile::load("2026/12/07 09:00\ta\\nb\t0\r\n\r\n2026/12/08 10:00\r\n2026/12/09 "
                           "11:00\tcr\t1\r2026/12/10 12:00\tm\t0\textra\tmore"
                           "\r\n2026/12/11 13:00\tends\t0\t\r\n2026/12/12 "
                           "14:00\tlast\t0\n2026/12/13 15:00\techo\t0\n\tno date\t0\r\n",
                           t, enc);
        QCOMPARE(column(t, &Notice::dateTime),
                 (QStringList{"2026/12/07 09:00", "2026/12/08 10:00", "2026/12/09 11:00",
                              "2026/12/10 12:00", "2026/12/11 13:00", "2026/12/12 14:00",
                              "2026/12/13 15:00", ""}));
        QCOMPARE(column(t, &Notice::message),
                 (QStringList{"a\\nb", "", "cr", "m", "ends", "last", "echo", "no date"}));
        QCOMPARE(column(t, &Notice::flag), (QStringList{"0", "", "1", "0", "0", "0", "0", "0"}));
        QCOMPARE(issues.size(), 1); // the fourth field of the fifth line, reported, not shown
        QCOMPARE(std::pair(issues[0].line, issues[0].field), std::pair(3, 3));
        QCOMPARE(issues[0].error.number(), int(RunError::IndexOutOfRange));
        NoticeTable many;
        DataFile::load(QByteArray("2025/01/02 03:04\ta\t0\r\n").repeated(500000), many, enc);
        QCOMPARE(many.size(), 500000); // half a million lines, in linear time
        // A file too big for memory is told as memory running short.
        QCOMPARE(RunError::fromStd(std::bad_alloc()).number(), int(RunError::OutOfMemory));

        // What is no date-time stays as it stands, also first in the file and opening with a pair.
        t = tableOf({"🂡 not a date", "2026/1/5 9:05", "2026/12/07 09:05:59", "2026/12/07 09:00"});
        const QString messages[] = {"kept", "", "s", "a\\nb"};
        for (qint32 i = 0; i < 4; ++i)
            t.at(i).message = messages[i];
        const QByteArray saved("\xf0\x9f\x82\xa1 not a date\tkept\t0\r\n2026/01/05 09:05\t\t1\r\n"
                               "2026/12/07 09:05\ts\t0\r\n2026/12/07 09:00\ta\\nb\t1\r\n");
        QCOMPARE(DataFile::serialize(t, FileEncoding::Utf8Bom), "\xef\xbb\xbf" + saved);
        QCOMPARE(t.at(1).dateTime, QStringLiteral("2026/1/5 9:05")); // the table keeps its form
        // A code written back as its twin (IBM's Ⅰ as NEC's) reads as its character once a pair has
        // followed a kept lead byte.
        QCOMPARE(TextCodec::decode("\x85\x93\xfa\xfa\x4a\x81\x80\xfb\xfc", FileEncoding::Cp932),
                 u"\xDC85日Ⅰ÷髙"_s);
    }

#ifdef Q_OS_UNIX
    void saveAndRead_data() {
        QTest::addColumn<Save>("s");
        const QString synced = "open,fchmod,write,fdatasync,rename,close,open,fsync,close";
        QTest::newRow("a save syncs the file, renames it, syncs the folder")
            << Save{"old", "", 0, 0, "new", synced};
        const QString unsynced = "open,fchmod,write,fdatasync,close,unlink";
        QTest::newRow("a failed flush fails the save")
            << Save{"old", "fdatasync", EIO, RunError::DeviceIO, "old", unsynced};
        QTest::newRow("a full disk") << Save{"old", "write", ENOSPC, RunError::DiskFull, "old", {}};
        QTest::newRow("an interrupted write goes on") << Save{
            "old", "write", EINTR, 0, "new", QString(synced).replace("write", "write,write")};
        QTest::newRow("a new file gets the usual mode") << Save{"", "", 0, 0, "new", {}};
    }
    void saveAndRead() {
        QFETCH(Save, s);
        QTemporaryDir dir;
        const QString path = dir.filePath("Pirune.dat");
        if (QFile f(path); !s.file.isEmpty())
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("old") == 3);

        QStringList calls;
        FileSystemCalls noted; // the system's calls, each noted, `failing` failing once
        const auto note = [&](auto &call, const char *name) {
            call = [&calls, &s, name, real = call,
                    fail = qstrcmp(name, s.failing) == 0](auto... a) mutable {
                calls << name;
                if (std::exchange(fail, false)) {
                    errno = s.err;
                    return decltype(real(a...))(-1);
                }
                return real(a...);
            };
        };
        note(noted.open, "open"), note(noted.write, "write"), note(noted.fchmod, "fchmod"),
            note(noted.fdatasync, "fdatasync");
        note(noted.fsync, "fsync"), note(noted.close, "close"), note(noted.rename, "rename"),
            note(noted.unlink, "unlink");
        const auto restore = qScopeGuard(
            [previous = FileSystemCalls::exchange(noted)] { FileSystemCalls::exchange(previous); });
        int error = 0;
        try {
            DataFile::writeAtomically(path, "new");
        } catch (const RunError &e) {
            error = e.number();
        }
        QCOMPARE(error, s.error);
        if (!s.calls.isEmpty())
            QCOMPARE(calls.join(','), s.calls);
        QCOMPARE(DataFile::readAll(path), s.after);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Pirune.dat"});
        const mode_t mask = umask(0);
        umask(mask);
        struct stat st;
        QVERIFY(stat(qPrintable(path), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0666 & ~mask);
    }

    // A write that takes one byte at a time still saves the whole file.
    void shortWrites() {
        QTemporaryDir dir;
        FileSystemCalls calls;
        calls.write = [real = calls.write](int fd, const void *data, size_t size) {
            return real(fd, data, std::min<size_t>(size, 1));
        };
        const auto restore = qScopeGuard(
            [previous = FileSystemCalls::exchange(calls)] { FileSystemCalls::exchange(previous); });
        DataFile::writeAtomically(dir.filePath("Pirune.dat"), "new");
        QCOMPARE(DataFile::readAll(dir.filePath("Pirune.dat")), "new");
    }

    // A chain of links as long as the system follows leads to the file saved; a longer one is
    // refused.
    void linkChain() {
        QTemporaryDir dir;
        for (int k = 40; k > 0; --k)
            QVERIFY(QFile::link(QString::number(k), dir.filePath(QString::number(k - 1))));
        DataFile::writeAtomically(dir.filePath("0"), "new");
        QCOMPARE(DataFile::readAll(dir.filePath("40")), "new");
        QVERIFY(QFile::link("0", dir.filePath("41")));
        QVERIFY_THROWS_EXCEPTION(RunError, DataFile::writeAtomically(dir.filePath("41"), "x"));
    }
#endif

    // Tables with few distinct keys (runs of equal date-times, forms only a hand-edited file
    // holds), at random or sorted with one notice changed or appended as the editor leaves them:
    // the fast sort orders them, and moves the selection, as the exchange sort does.
    void fastSortIsTheExchangeSort() {
        const QStringList kinds = {
            "",      "2025/12/31 23:59", "2026/01/05 09:05", "2026/1/5 9:05", "2027/07/07 07:07",
            "あいう"};
        QRandomGenerator rng(23);
        for (int trial = 0; trial < 20000; ++trial) {
            const qint32 n = qint32(rng.bounded(16));
            QStringList keys;
            while (keys.size() < n)
                keys << kinds.at(rng.bounded(kinds.size()));
            qint32 sel = qint32(rng.bounded(n + 2)) - 1;
            if (trial % 2 && n) {
                std::sort(keys.begin(), keys.end(), [](auto &a, auto &b) { return a < b; });
                keys[sel = qint32(rng.bounded(n))] = kinds.at(rng.bounded(kinds.size()));
            }
            NoticeTable expected = tableOf(keys), actual = tableOf(keys);
            QCOMPARE(sortNotices(actual, sel), exchangeSortNotices(expected, sel));
            QCOMPARE(column(actual, &Notice::message), column(expected, &Notice::message));
        }
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"
