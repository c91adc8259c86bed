#pragma once

#include "base/RunError.h"
#include "store/DataFile.h"
#include "store/NoticeTable.h"
#include "store/TextCodec.h"

#include <QObject>
#include <functional>
#include <optional>

class DataFileWatch;

// The one owner of the Data file: its path, encoding, the watch for changes made outside and
// what is known of the file on disk. Every read and save goes through here, in one order: a file
// changed outside is read before a change is applied, and a file not read whole is never
// written over. It reports through its results and signals; it shows nothing.
class NoticeFile : public QObject {
    Q_OBJECT
public:
    explicit NoticeFile(const QString &path, QObject *parent = nullptr);

    QString path() const { return m_path; }
    FileEncoding encoding() const { return m_encoding; }

    // Start-up: creates an empty file where none exists and reads it into the empty table.
    // Throws RunError when it cannot; the file is then never saved over.
    QList<DataFile::LoadIssue> open(NoticeTable &table);

    // Reads the file again into the table; nothing while the table holds changes a failed save
    // could not write (the next save writes them). Emits reloaded() or reloadFailed().
    bool reload(NoticeTable &table);
    // The same, only when the file is not the one last read or written.
    bool reloadIfChanged(NoticeTable &table);

    // One change of the user's or the timer's: the file is read first when someone else changed
    // it, then `apply` runs on the fresh table (told whether it was read again) and, when it
    // returns true, the table is saved. Returns whether a save succeeded.
    bool change(NoticeTable &table, const std::function<bool(bool reloaded)> &apply);

    // Writes the table; a failure emits saveFailed() once for a streak of failures.
    bool save(const NoticeTable &table);
    // The save that failed, tried again (each minute, at exit); true when nothing is behind.
    bool retrySave(const NoticeTable &table);
    bool isBehind() const { return m_behind; }
    // The file on disk is the one last read or written.
    bool isCurrent() const;

    int reloadCount() const { return m_reloads; }
    int saveCount() const { return m_saves; }

    // What the table holds that the file does not, and the other way round, as "date-time message"
    // lines (" (表示済み)" after a shown one): what an exit would lose.
    struct Difference {
        QStringList onlyInTable, onlyInFile;
    };
    Difference unsavedChanges(const NoticeTable &table) const;

signals:
    // Someone else wrote the file and the writing has settled.
    void changedOutside();
    void reloaded(const QList<DataFile::LoadIssue> &issues);
    void reloadFailed(const RunError &error);
    void saveFailed(const RunError &error);

private:
    QList<DataFile::LoadIssue> read(NoticeTable &table, FileEncoding &enc);

    QString m_path;
    FileEncoding m_encoding = FileEncoding::Cp932;
    DataFileWatch *m_watch;
    bool m_loadFailed = true;   // the file was not read whole: it must not be overwritten
    bool m_behind = false;      // a save failed: the file lacks changes the table has
    bool m_failureTold = false; // ...and saveFailed() was emitted for this streak
    int m_reloads = 0;
    int m_saves = 0;
};
