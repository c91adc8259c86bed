#pragma once

#include "base/RunError.h"
#include "store/DataFile.h"
#include "store/NoticeTable.h"
#include "store/TextCodec.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <optional>

class DataFileWatch;
class QTimer;

// The one owner of the Data file: its path, encoding, the watch for changes made outside, what
// is known of the file on disk, and the changes not yet in it. Every change is applied to the
// freshest table: a file someone else wrote is read (once the writing has settled) and the
// changes not yet in it applied again before it is saved, and just before the new file replaces
// the old one it is checked once more. A file not read whole is never written over. It reports
// through its results and signals; it shows nothing.
class NoticeFile : public QObject {
    Q_OBJECT
public:
    explicit NoticeFile(const QString &path, QObject *parent = nullptr);

    QString path() const { return m_path; }
    FileEncoding encoding() const { return m_encoding; }

    // Start-up: creates an empty file where none exists and reads it into the empty table.
    // Throws RunError when it cannot; the file is then never saved over until it reads whole.
    QList<DataFile::LoadIssue> open(NoticeTable &table);

    struct Outcome {
        qint32 row = -1;       // see applyChange()
        bool reloaded = false; // the file was read again first
        bool saved = false;
    };
    // Applies one change to the table, the file read first where someone else wrote it. With
    // refuseAfterReload nothing is applied when the file was read again (a picked line may have
    // moved). With save false it waits for the next save.
    Outcome apply(NoticeTable &table, const NoticeChange &change, bool refuseAfterReload = false,
                  bool save = true);
    // Marks these notices shown, the file read first where someone else wrote it; the flags wait
    // for the next save. The row each was marked at, or -1 where it is no longer pending.
    QList<qint32> markShown(NoticeTable &table, const QList<Notice> &notices);
    // Writes the table with the changes not yet in the file. A failure emits saveFailed() once a
    // streak; a file that someone is still writing is waited for, and caught up with later.
    bool save(NoticeTable &table);
    // Reads the file again when someone else wrote it, or when it could not be read, and saves
    // the changes not yet in it (each minute, and when the watch saw the writing settle).
    void catchUp(NoticeTable &table, bool writingSettled = false);
    // At exit: a save that failed or waits, made without waiting for writers to settle.
    bool saveBeforeExit(NoticeTable &table);
    // Asked before each write: whether this process still holds the Data file alone.
    void setOwnerCheck(std::function<bool()> check) { m_stillOwner = std::move(check); }
    // No read or write any more: the process is ending.
    void stop();

    // A save failed, or waits for a writer to finish.
    bool isBehind() const { return m_saveWanted; }
    bool isCurrent() const;
    int reloadCount() const { return m_reloads; }
    int saveCount() const { return m_saves; }

    // The changes a save has not yet written, one line per notice in words a user reads:
    // "追加: …", "変更: … → …", "削除: …", or shown with its mark not saved. What an exit loses.
    QStringList unsavedChanges() const;

signals:
    // Someone else wrote the file and the writing has settled: catchUp(table, true) reads it.
    void changedOutside();
    // A change or a save waited for a writer: catchUp(table) now.
    void catchUpDue();
    void reloaded(const QList<DataFile::LoadIssue> &issues);
    void reloadFailed(const RunError &error);
    void saveFailed(const RunError &error);
    // Once: the folder takes no new file, so saves write the file in place, not crash-safe.
    void savedInPlace();

private:
    QList<DataFile::LoadIssue> read(NoticeTable &table, FileEncoding &enc);
    bool reload(NoticeTable &table);
    bool readIfChanged(NoticeTable &table, bool writingSettled);
    bool looksSettled();
    std::optional<RunError> write(const NoticeTable &table, bool &moved);

    QString m_path;
    FileEncoding m_encoding = FileEncoding::Cp932;
    DataFileWatch *m_watch;
    QTimer *m_catchUp;
    std::function<bool()> m_stillOwner;
    QList<NoticeChange> m_pending; // applied to the table, not yet in the file
    bool m_saveWanted = false;     // ...and a save of them failed or waits
    bool m_stopped = false;
    bool m_loadFailed = true; // the file was not read whole: it must not be written over
    bool m_failedAtStart = false;
    std::optional<RunError> m_readFailureTold;
    bool m_saveFailureTold = false;
    bool m_inPlaceTold = false;
    std::optional<FileStamp> m_lastLook; // the file as last seen, to tell when writing has stopped
    QElapsedTimer m_lookClock;
    int m_reloads = 0;
    int m_saves = 0;
};
