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
const QByteArray kOld = lines({"2026/12/07 09:00\told\t0"});
const QByteArray kNew = lines({"2026/12/07 09:00\tnew\t0"});

// The error number a save of kNew through these calls ends in; 0 when it succeeds.
int saveWith(const QString &path, WindowsFileCalls calls = {}) {
    const WindowsFileCalls previous = WindowsFileCalls::exchange(std::move(calls));
    int number = 0;
    try {
        DataFile::writeAtomically(path, kNew);
    } catch (const RunError &e) {
        number = e.number();
    }
    WindowsFileCalls::exchange(previous);
    return number;
}

// The replace refused `times` times, as while another program holds the file.
WindowsFileCalls held(int times) {
    WindowsFileCalls calls;
    calls.replace = [real = calls.replace, times](LPCWSTR a, LPCWSTR b) mutable {
        return times-- > 0 ? (SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED), FALSE) : real(a, b);
    };
    return calls;
}

LPCWSTR wide(const QString &text) {
    return reinterpret_cast<LPCWSTR>(text.utf16());
}
} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    // Each failure leaves the old file whole and no temporary file beside it. An editor or a
    // scanner holding the file a moment is waited for; the file keeps its attributes, and the
    // stamp of the save is of the file now in place.
    void saves() {
        QTemporaryDir dir;
        const QString path = dir.filePath("Pirune.dat");
        writeFile(path, kOld);
        WindowsFileCalls full;
        full.flush = [](HANDLE) { return SetLastError(ERROR_DISK_FULL), FALSE; };
        QCOMPARE(saveWith(path, full), int(RunError::DiskFull));
        QCOMPARE(saveWith(path, held(1000)), int(RunError::PermissionDenied));
        SetFileAttributesW(wide(path), FILE_ATTRIBUTE_READONLY);
        QCOMPARE(saveWith(path), int(RunError::PermissionDenied));
        QCOMPARE(bytesOf(path), kOld);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Pirune.dat"});

        SetFileAttributesW(wide(path), FILE_ATTRIBUTE_HIDDEN);
        QCOMPARE(saveWith(path, held(5)), 0);
        WindowsFileCalls lost; // the old file removed, then the replace failed
        lost.replace = [](LPCWSTR replaced, LPCWSTR) {
            return DeleteFileW(replaced), SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT), FALSE;
        };
        QCOMPARE(saveWith(path, lost), 0);
        const HANDLE holder = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        std::thread release([holder] { Sleep(300), CloseHandle(holder); });
        QCOMPARE(saveWith(path), 0);
        release.join();
        QCOMPARE(bytesOf(path), kNew);
        QVERIFY(GetFileAttributesW(wide(path)) & FILE_ATTRIBUTE_HIDDEN);
        const auto stamp = DataFile::writeAtomically(path, kNew).stamp;
        QVERIFY(stamp && stamp == FileStamp::of(path));
        // Wine's ReplaceFileW leaves a file of its own for each try that met the holder.
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.filter(QRegularExpression("^(?!rf[0-9a-f]+\\.tmp$)")),
                 QStringList{"Pirune.dat"});
    }
};

QTEST_GUILESS_MAIN(TestWindows)
#include "test_windows.moc"
