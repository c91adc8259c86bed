#include "store/NoticeFile.h"

#include "store/DataFileWatch.h"

#include <utility>

NoticeFile::NoticeFile(const QString &path, QObject *parent)
    : QObject(parent), m_path(path), m_watch(new DataFileWatch(path, this)) {
    connect(m_watch, &DataFileWatch::changedOutside, this, &NoticeFile::changedOutside);
}

// Reads the file into t, and remembers which file that was unless it changed meanwhile.
QList<DataFile::LoadIssue> NoticeFile::read(NoticeTable &table, FileEncoding &enc) {
    const std::optional<FileStamp> before = FileStamp::of(m_path);
    // A file that cannot be read is tried again only once it has changed.
    m_watch->remember(before);
    QList<DataFile::LoadIssue> issues = DataFile::load(DataFile::readAll(m_path), table, enc);
    m_watch->remember(m_watch->stampUnchangedSince(before));
    return issues;
}

QList<DataFile::LoadIssue> NoticeFile::open(NoticeTable &table) {
    // Until the whole file is in the table, a save would overwrite notices not yet read.
    m_loadFailed = true;
    DataFile::ensureExists(m_path);
    table.clear();
    QList<DataFile::LoadIssue> issues = read(table, m_encoding);
    m_loadFailed = false;
    return issues;
}

bool NoticeFile::reload(NoticeTable &table) {
    if (m_behind)
        return false;
    NoticeTable fresh;
    FileEncoding enc;
    m_loadFailed = true;
    QList<DataFile::LoadIssue> issues;
    if (const auto failure = captureFailure([&] { issues = read(fresh, enc); })) {
        emit reloadFailed(*failure);
        return false;
    }
    table = std::move(fresh);
    m_encoding = enc;
    m_loadFailed = false;
    ++m_reloads;
    emit reloaded(issues);
    return true;
}

bool NoticeFile::isCurrent() const {
    return m_watch->isCurrent();
}

bool NoticeFile::reloadIfChanged(NoticeTable &table) {
    return !m_behind && !m_watch->isCurrent() && reload(table);
}

bool NoticeFile::change(NoticeTable &table, const std::function<bool(bool reloaded)> &apply) {
    const bool reloaded = reloadIfChanged(table);
    return apply(reloaded) && save(table);
}

bool NoticeFile::save(const NoticeTable &table) {
    const std::optional<RunError> failure = captureFailure([&] {
        if (m_loadFailed)
            throw RunError::refusedUnloadedFile(m_path);
        DataFile::writeAtomically(m_path, DataFile::serialize(table, m_encoding));
        m_watch->remember(FileStamp::of(m_path));
    });
    if (failure) {
        m_behind = true;
        // The save is tried again at every change and every minute: told once per streak.
        if (!std::exchange(m_failureTold, true))
            emit saveFailed(*failure);
        return false;
    }
    m_behind = false;
    m_failureTold = false;
    ++m_saves;
    return true;
}

bool NoticeFile::retrySave(const NoticeTable &table) {
    return !m_behind || save(table);
}

NoticeFile::Difference NoticeFile::unsavedChanges(const NoticeTable &table) const {
    NoticeTable onDisk;
    if (!m_loadFailed) {
        FileEncoding enc;
        // What cannot be read counts as not in the file.
        captureFailure([&] { DataFile::load(DataFile::readAll(m_path), onDisk, enc); });
    }
    const auto rows = [](const NoticeTable &t) {
        QStringList out;
        for (const Notice &n : t.notices())
            out << n.dateTime + QLatin1Char(' ') + n.message +
                       (n.isPending() ? QString() : QStringLiteral(" (表示済み)"));
        return out;
    };
    const QStringList mine = rows(table), theirs = rows(onDisk);
    Difference d;
    for (const QString &row : mine) {
        if (!theirs.contains(row))
            d.onlyInTable << row;
    }
    for (const QString &row : theirs) {
        if (!mine.contains(row))
            d.onlyInFile << row;
    }
    return d;
}
