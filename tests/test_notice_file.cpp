#include "DataFileBytes.h"
#include "store/FileSystemCalls.h"
#include "store/NoticeFile.h"

#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {
const QByteArray kA = "2026/12/07 09:00\ta\t0", kB = "2026/12/08 09:00\tb\t0",
                 kC = "2026/12/09 09:00\tc\t0";
NoticeChange add(const char *dateTime, const char *message) {
    return {NoticeChange::Kind::Add, {}, {dateTime, message, "0"}};
}
const NoticeChange kAddC = add("2026/12/09 09:00", "c");

// A Data file and its owner, run as the program runs them: outside changes read when the watch
// or the owner's wait for a writer says so; what it reports noted in order.
struct Disk {
    QTemporaryDir dir;
    QString path = dir.filePath("Pirune.dat");
    NoticeTable table;
    QStringList told;
    std::unique_ptr<NoticeFile> file;

    explicit Disk(const QByteArray &bytes) {
        put(bytes);
        file = std::make_unique<NoticeFile>(path);
        file->open(table);
        QObject::connect(file.get(), &NoticeFile::changedOutside,
                         [this] { file->catchUp(table, true); });
        QObject::connect(file.get(), &NoticeFile::catchUpDue, [this] { file->catchUp(table); });
        for (auto failed : {&NoticeFile::reloadFailed, &NoticeFile::saveFailed})
            QObject::connect(file.get(), failed,
                             [this](const RunError &e) { told << e.description(); });
        QObject::connect(file.get(), &NoticeFile::savedInPlace, [this] { told << "in place"; });
    }
    void put(const QByteArray &bytes) const { writeBySync(path, bytes); }
    QByteArray bytes() const { return bytesOf(path); }
};

// The system's calls until the end of the scope, but `call` failing with err where `fails` says.
struct Failing {
    FileSystemCalls previous;
    template <class Call, class Fails> Failing(Call FileSystemCalls::*call, int err, Fails fails) {
        FileSystemCalls calls = FileSystemCalls::current();
        calls.*call = [real = calls.*call, err, fails](auto... a) mutable {
            if (!fails(a...))
                return real(a...);
            errno = err;
            return decltype(real(a...))(-1);
        };
        previous = FileSystemCalls::exchange(calls);
    }
    ~Failing() { FileSystemCalls::exchange(previous); }
};
const auto once = [done = false](auto...) mutable { return !std::exchange(done, true); };
} // namespace

class TestNoticeFile : public QObject {
    Q_OBJECT
private slots:
    // A sync client's change that lands between the read and the rename is read and kept with
    // Pirune's; one that lands right after the rename is read before the next change.
    void outsideChangesAroundTheRename() {
        for (const bool afterTheRename : {false, true}) {
            Disk d(lines({kA}));
            FileSystemCalls calls = FileSystemCalls::current();
            auto sync = [&, first = true]() mutable {
                if (std::exchange(first, false))
                    d.put(lines({kA, kB}));
            };
            calls.fdatasync = [&, real = calls.fdatasync](int fd) { // before the last check
                if (!afterTheRename)
                    sync();
                return real(fd);
            };
            calls.rename = [&, real = calls.rename](const char *from, const char *to) {
                const int done = real(from, to);
                if (afterTheRename)
                    sync();
                return done;
            };
            const FileSystemCalls previous = FileSystemCalls::exchange(calls);
            d.file->apply(d.table, kAddC);
            FileSystemCalls::exchange(previous);
            if (afterTheRename) // which lost Pirune's change: a writer that locks nothing wins
                d.file->apply(d.table, add("2026/12/10 09:00", "d"));
            QTRY_COMPARE(d.bytes(), afterTheRename ? lines({kA, kB, "2026/12/10 09:00\td\t0"})
                                                   : lines({kA, kB, kC}));
            QVERIFY(!d.file->isBehind() && d.told.isEmpty());
        }
    }

    // A save that failed is told once, and tried again on what the file then holds. With the file
    // gone and a folder that takes no new file, the refusal is told, not a missing file.
    void retryAfterAFailedSave() {
        Disk d(lines({kA}));
        for (int streak = 1; streak <= 2; ++streak) {
            {
                Failing full(&FileSystemCalls::write, ENOSPC, [](auto...) { return true; });
                d.file->apply(d.table, kAddC);
                d.file->catchUp(d.table); // the next minute
            }
            QCOMPARE(d.told.size(), streak);
            d.put(lines({kA, kB}));
            QTRY_COMPARE(d.bytes(), lines({kA, kB, kC}));
        }
        QFile::remove(d.path);
        Failing noNewFile(&FileSystemCalls::open, EACCES, [](auto...) { return true; });
        d.file->apply(d.table, add("2026/12/10 09:00", "d"));
        QVERIFY(d.told.last().startsWith("書き込みできません。"));
    }

    // Changes made while a writer is busy wait for it, then go into what it wrote.
    void changesWaitForAWriter() {
        Disk d(lines({kA, kB}));
        d.put(lines({kA, kB, kC}));
        using Kind = NoticeChange::Kind;
        d.file->apply(
            d.table,
            {Kind::Replace, {"2026/12/07 09:00", "a", "0"}, {"2026/12/07 09:00", "a2", "0"}});
        d.file->apply(d.table, {Kind::Remove, {"2026/12/08 09:00", "b", "0"}, {}});
        d.file->apply(d.table, add("2026/12/07 08:00", "first"));
        QTRY_COMPARE(d.bytes(),
                     lines({"2026/12/07 08:00\tfirst\t0", "2026/12/07 09:00\ta2\t0", kC}));
    }

    // A file caught half-written is not read; once it is whole, it is, also where no change is
    // told (as on a network share).
    void halfWrittenFileWaits() {
        Disk d(lines({kA}));
        QObject::disconnect(d.file.get(), &NoticeFile::changedOutside, nullptr, nullptr);
        QFile f(d.path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write("2026/12/08 09");
        f.flush();
        d.file->catchUp(d.table); // the next minute's pass
        QCOMPARE(d.table.size(), 1);
        f.write(":00\tb\t0\r\n");
        f.close();
        QTRY_COMPARE(d.table.size(), 2);
        // A change seen settling, then left unread while the program was busy, is read before a
        // due notice is marked: one it deleted is neither marked nor shown.
        d.put(lines({kB}));
        d.file->catchUp(d.table);
        QTest::qSleep(600);
        QCOMPARE(d.file->markShown(d.table, {{"2026/12/07 09:00", "a", "0"}}), QList<qint32>{-1});
    }

    // Another program busy in the folder does not keep an outside change from being read, nor does
    // the file being deleted and written anew in place a while later.
    void busyFolder() {
        Disk d(lines({kA}));
        QTimer churn;
        QObject::connect(&churn, &QTimer::timeout, [&d] {
            QFile(d.dir.filePath("other")).open(QIODevice::WriteOnly);
            QFile::remove(d.dir.filePath("other"));
        });
        churn.start(20);
        QFile::remove(d.path);
        QTest::qWait(700); // long after the deletion settled
        writeFile(d.path, lines({kA, kB}));
        QTRY_COMPARE(d.table.size(), 2);
    }

    // A read that fails is tried again, and saves resume once the file reads whole.
    void failedReadIsTriedAgain() {
        Disk d(lines({kA}));
        d.put(lines({kA, kB}));
        {
            Failing eio(&FileSystemCalls::open, EIO, [](const char *, int flags, mode_t) {
                return !(flags & (O_WRONLY | O_RDWR));
            });
            d.file->catchUp(d.table, true);
            d.file->apply(d.table, kAddC);
        }
        QCOMPARE(d.told.size(), 2);
        QVERIFY(d.told[1].startsWith("データファイルを最後まで読み込めなかったため"));
        d.file->catchUp(d.table, true); // the next minute
        QCOMPARE(d.bytes(), lines({kA, kB, kC}));
    }

    // Owner, group, mode and extended attributes stay the file's; where no new file can be made
    // beside it, it is written in place, its old contents kept when that fails.
    void attributesAndInPlaceSaves() {
        Disk d(lines({kA}));
        const QByteArray name = QFile::encodeName(d.path);
        const bool root = ::geteuid() == 0;
        QVERIFY(::chmod(name, 0640) == 0 && (!root || ::chown(name, 65534, 65534) == 0));
        const bool xattrs = ::setxattr(name, "user.pirune", "1", 1, 0) == 0;
        d.file->catchUp(d.table, true);
        struct stat old, st, again;
        QVERIFY(::stat(name, &old) == 0);
        d.file->apply(d.table, kAddC); // a new file, which has the old one's owner and attributes
        char value[2] = {};
        QVERIFY(::stat(name, &st) == 0 && (st.st_mode & 07777) == 0640 && st.st_ino != old.st_ino);
        QVERIFY(!root || (st.st_uid == 65534 && st.st_gid == 65534));
        QVERIFY(!xattrs || ::getxattr(name, "user.pirune", value, 1) == 1);
        Failing noNewFile(&FileSystemCalls::open, EACCES,
                          [](const char *, int flags, mode_t) { return flags & O_EXCL; });
        d.file->apply(d.table, add("2026/12/08 09:00", "b"));
        QVERIFY(::stat(name, &again) == 0 && again.st_ino == st.st_ino);
        {
            Failing full(&FileSystemCalls::write, ENOSPC, once);
            d.file->apply(d.table,
                          {NoticeChange::Kind::Remove, {"2026/12/07 09:00", "a", "0"}, {}});
        }
        QCOMPARE(d.bytes(), lines({kA, kB, kC}));
        QCOMPARE(d.told.size(), 2); // in place, told once; then the full disk
        QCOMPARE(d.told[0], "in place");
    }
};

QTEST_GUILESS_MAIN(TestNoticeFile)
#include "test_notice_file.moc"
