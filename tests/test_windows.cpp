// The save on Windows: how it meets a full disk, a file held by another program and the file's
// attributes. Run under Wine here.
#include "DataFileBytes.h"
#include "base/RunError.h"
#include "store/DataFile.h"
#include "store/win/WindowsFileCalls.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

namespace {
// Fails the first `times` calls of one kind with `error`, then makes the system's.
struct Failing {
    WindowsFileCalls previous;
    Failing(std::function<BOOL(LPCWSTR, LPCWSTR)> WindowsFileCalls::*call, DWORD error, int times) {
        WindowsFileCalls calls;
        const auto real = calls.*call;
        calls.*call = [=, left = times](LPCWSTR a, LPCWSTR b) mutable {
            if (left-- > 0)
                return SetLastError(error), FALSE;
            return real(a, b);
        };
        previous = WindowsFileCalls::exchange(calls);
    }
    ~Failing() { WindowsFileCalls::exchange(previous); }
};

const QByteArray kOld = lines({"2026/12/07 09:00\told\t0"});
const QByteArray kNew = lines({"2026/12/07 09:00\tnew\t0"});

int errorOfSave(const QString &path) {
    try {
        DataFile::writeAtomically(path, kNew);
    } catch (const RunError &e) {
        return e.number();
    }
    return 0;
}
} // namespace

class TestWindows : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path;

private slots:
    void init() {
        path = dir.filePath("Pirune.dat");
        SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_ATTRIBUTE_NORMAL);
        writeFile(path, kOld);
    }

    // Each failure leaves the old file whole and no temporary file beside it.
    void failuresKeepTheOldFile() {
        WindowsFileCalls full;
        full.flush = [](HANDLE) { return SetLastError(ERROR_DISK_FULL), FALSE; };
        const WindowsFileCalls previous = WindowsFileCalls::exchange(full);
        QCOMPARE(errorOfSave(path), int(RunError::DiskFull));
        WindowsFileCalls::exchange(previous);
        {
            Failing busy(&WindowsFileCalls::replace, ERROR_SHARING_VIOLATION, 1000);
            QCOMPARE(errorOfSave(path), int(RunError::PermissionDenied));
        }
        SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_ATTRIBUTE_READONLY);
        QCOMPARE(errorOfSave(path), int(RunError::PermissionDenied));
        QCOMPARE(bytesOf(path), kOld);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Pirune.dat"});
    }

    // An editor or a scanner holding the file a moment is waited for; the file keeps its
    // attributes.
    void heldForAMoment() {
        SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_ATTRIBUTE_HIDDEN);
        {
            Failing busy(&WindowsFileCalls::replace, ERROR_SHARING_VIOLATION, 5);
            QCOMPARE(errorOfSave(path), 0);
        }
        const HANDLE held = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(held != INVALID_HANDLE_VALUE);
        std::thread release([held] { Sleep(300), CloseHandle(held); });
        QCOMPARE(errorOfSave(path), 0);
        release.join();
        QCOMPARE(bytesOf(path), kNew);
        // The file in place is the one written: no outside change to read back.
        const auto stamp = DataFile::writeAtomically(path, kNew).stamp;
        QVERIFY(stamp && stamp == FileStamp::of(path));
        QVERIFY(GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16())) &
                FILE_ATTRIBUTE_HIDDEN);
        // Wine's ReplaceFileW leaves a file of its own for each try that met the holder.
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.filter(QRegularExpression("^(?!rf[0-9a-f]+\\.tmp$)")),
                 QStringList{"Pirune.dat"});
    }
};

QTEST_GUILESS_MAIN(TestWindows)
#include "test_windows.moc"
