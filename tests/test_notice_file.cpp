#include "store/FileSystemCalls.h"
#include "store/NoticeFile.h"

#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {
QByteArray lines(const QByteArrayList &rows) {
    return rows.join("\r\n") + "\r\n";
}
const QByteArray kA = "2026/12/07 09:00\ta\t0", kB = "2026/12/08 09:00\tb\t0",
                 kC = "2026/12/09 09:00\tc\t0";
const NoticeChange kAddC{NoticeChange::Kind::Add, {}, {"2026/12/09 09:00", "c", "0"}};

// A Data file with its owner, run as the program runs it: outside changes read when the watch
// or the owner's own wait for a writer says so.
struct Disk {
    QTemporaryDir dir;
    QString path = dir.filePath("Pirune.dat");
    NoticeTable table;
    QList<QString> failures; // what the owner reported, in order
    std::unique_ptr<NoticeFile> file;

    explicit Disk(const QByteArray &bytes) {
        put(bytes);
        file = std::make_unique<NoticeFile>(path);
        file->open(table);
        QObject::connect(file.get(), &NoticeFile::changedOutside,
                         [this] { file->catchUp(table, true); });
        QObject::connect(file.get(), &NoticeFile::catchUpDue, [this] { file->catchUp(table); });
        for (auto signal : {&NoticeFile::reloadFailed, &NoticeFile::saveFailed})
            QObject::connect(file.get(), signal,
                             [this](const RunError &e) { failures << e.description(); });
        QObject::connect(file.get(), &NoticeFile::savedInPlace, [this] { failures << "in place"; });
    }
    void put(const QByteArray &bytes) const { // as a sync client writes: beside it, renamed over
        QFile f(path + ".sync");
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        QCOMPARE(::rename(qPrintable(f.fileName()), qPrintable(path)), 0);
    }
    QByteArray bytes() const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

// Puts `calls` in place until the end of the scope.
struct Calls {
    FileSystemCalls previous;
    explicit Calls(FileSystemCalls calls) : previous(FileSystemCalls::exchange(std::move(calls))) {}
    ~Calls() { FileSystemCalls::exchange(previous); }
};
} // namespace

class TestNoticeFile : public QObject {
    Q_OBJECT
private slots:
    // A sync client's change that lands after the file was read, or after Pirune's rename, is
    // read and kept with Pirune's change.
    void outsideChangesAroundTheRename_data() {
        QTest::addColumn<bool>("afterTheRename");
        QTest::newRow("between the check and the rename") << false;
        QTest::newRow("right after the rename") << true;
    }
    void outsideChangesAroundTheRename() {
        QFETCH(bool, afterTheRename);
        Disk d(lines({kA}));
        FileSystemCalls calls;
        auto sync = [&, once = true]() mutable {
            if (std::exchange(once, false))
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
        Calls seam(calls);
        d.file->apply(d.table, kAddC);
        if (afterTheRename) // the sync client's rename lost Pirune's; the next change keeps its
            d.file->apply(d.table,
                          {NoticeChange::Kind::Remove, {"2026/12/07 09:00", "a", "0"}, {}});
        QTRY_COMPARE(d.bytes(), afterTheRename ? lines({kB}) : lines({kA, kB, kC}));
        QVERIFY(!d.file->isBehind() && d.failures.isEmpty());
    }

    // A save that failed is tried again on what the file then holds.
    void retryAfterAFailedSave() {
        Disk d(lines({kA}));
        {
            FileSystemCalls calls;
            calls.write = [](int, const void *, size_t) {
                errno = ENOSPC;
                return ssize_t(-1);
            };
            Calls seam(calls);
            d.file->apply(d.table, kAddC);
        }
        QCOMPARE(d.failures.size(), 1);
        d.put(lines({kA, kB}));
        QTRY_COMPARE(d.bytes(), lines({kA, kB, kC}));
    }

    // A file caught half-written is not read; once it is whole, it is.
    void halfWrittenFileWaits() {
        Disk d(lines({kA}));
        QFile f(d.path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write("2026/12/08 09");
        f.flush();
        d.file->catchUp(d.table); // the next minute's pass
        QCOMPARE(d.table.size(), 1);
        f.write(":00\tb\t0\r\n");
        f.close();
        QTRY_COMPARE(d.table.size(), 2);
        QCOMPARE(d.table.notices().last().message, "b");
    }

    // A read that fails is tried again, and saves resume once the file reads whole.
    void failedReadIsTriedAgain() {
        Disk d(lines({kA}));
        d.put(lines({kA, kB}));
        {
            FileSystemCalls calls;
            calls.open = [real = calls.open](const char *path, int flags, mode_t mode) {
                errno = EIO;
                return flags & (O_WRONLY | O_RDWR) ? real(path, flags, mode) : -1;
            };
            Calls seam(calls);
            d.file->catchUp(d.table, true);
            d.file->apply(d.table, kAddC);
        }
        QCOMPARE(d.failures.size(), 2);
        QVERIFY(d.failures[1].startsWith("データファイルを最後まで読み込めなかったため"));
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
        d.file->apply(d.table, kAddC);
        struct stat st;
        QVERIFY(::stat(name, &st) == 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
        QVERIFY(!root || (st.st_uid == 65534 && st.st_gid == 65534));
        char value[2] = {};
        QVERIFY(!xattrs || ::getxattr(name, "user.pirune", value, 1) == 1);
        FileSystemCalls calls;
        calls.open = [real = calls.open](const char *path, int flags, mode_t mode) {
            errno = EACCES;
            return flags & O_EXCL ? -1 : real(path, flags, mode);
        };
        Calls seam(calls);
        d.file->apply(d.table, {NoticeChange::Kind::Add, {}, {"2026/12/08 09:00", "b", "0"}});
        QCOMPARE(d.bytes(), lines({kA, kB, kC}));
        struct stat again;
        QVERIFY(::stat(name, &again) == 0 && again.st_ino == st.st_ino);
        FileSystemCalls full = FileSystemCalls::current();
        full.write = [real = full.write, once = true](int fd, const void *data,
                                                      size_t size) mutable {
            errno = ENOSPC;
            return std::exchange(once, false) ? ssize_t(-1) : real(fd, data, size);
        };
        {
            Calls fails(full);
            d.file->apply(d.table,
                          {NoticeChange::Kind::Remove, {"2026/12/07 09:00", "a", "0"}, {}});
        }
        QCOMPARE(d.bytes(), lines({kA, kB, kC}));
        QCOMPARE(d.failures.size(), 2); // in place, told once; then the full disk
        QCOMPARE(d.failures[0], "in place");
    }
};

QTEST_GUILESS_MAIN(TestNoticeFile)
#include "test_notice_file.moc"
