#pragma once

#include "store/FileStamp.h"

#include <QObject>
#include <QString>
#include <optional>

class QFileSystemWatcher;
class QTimer;

// Tells when someone else changed the Data file: watches the file and its folder (a rename over
// the file replaces it, and a watch on the file alone ends with the old one) and waits until the
// writes have settled, so a file caught half-written is read once it is whole.
class DataFileWatch : public QObject {
    Q_OBJECT
public:
    explicit DataFileWatch(const QString &path, QObject *parent = nullptr);

    // The file as Pirune last read or wrote it; nullopt when that is not known.
    void remember(std::optional<FileStamp> stamp);
    // The file on disk is the one remembered.
    bool isCurrent() const;
    // The file as it is now, to remember after reading it: nullopt while it changed meanwhile.
    std::optional<FileStamp> stampUnchangedSince(const std::optional<FileStamp> &before) const;
    QString path() const { return m_path; }

signals:
    void changedOutside();

private:
    void poke();
    void settle();

    QString m_path;
    std::optional<FileStamp> m_known;
    std::optional<FileStamp> m_seen; // at the last event, to tell when writing has stopped
    QFileSystemWatcher *m_watcher;
    QTimer *m_settle;
};
