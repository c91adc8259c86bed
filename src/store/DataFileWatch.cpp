#include "store/DataFileWatch.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
// Writes closer together than this are one change: a sync client or an editor saving.
constexpr int kSettleMs = 500;
} // namespace

std::optional<FileStamp> FileStamp::of(const QString &path) {
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const auto ns = [](const timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return FileStamp{qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size), ns(st.st_mtim),
                     ns(st.st_ctim)};
#else
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return FileStamp{0, 0, info.size(), info.lastModified().toMSecsSinceEpoch() * 1000000,
                     info.birthTime().toMSecsSinceEpoch() * 1000000};
#endif
}

DataFileWatch::DataFileWatch(const QString &path, QObject *parent)
    : QObject(parent), m_path(path), m_watcher(new QFileSystemWatcher(this)),
      m_settle(new QTimer(this)) {
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &DataFileWatch::settle);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &DataFileWatch::poke);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &DataFileWatch::poke);
    m_watcher->addPath(QFileInfo(path).absolutePath());
    m_watcher->addPath(path);
}

void DataFileWatch::remember(std::optional<FileStamp> stamp) {
    m_known = stamp;
    // A file made again by a rename is a new file to watch.
    if (!m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
}

bool DataFileWatch::isCurrent() const {
    const std::optional<FileStamp> now = FileStamp::of(m_path);
    // A file that is gone is no newer table; the next save writes it again.
    return !now || (m_known && *now == *m_known);
}

std::optional<FileStamp>
DataFileWatch::stampUnchangedSince(const std::optional<FileStamp> &before) const {
    const std::optional<FileStamp> after = FileStamp::of(m_path);
    return before && after && *before == *after ? after : std::nullopt;
}

void DataFileWatch::poke() {
    if (!m_watcher->files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
    m_seen = FileStamp::of(m_path);
    m_settle->start();
}

void DataFileWatch::settle() {
    const std::optional<FileStamp> now = FileStamp::of(m_path);
    if (now != m_seen) {
        poke(); // still being written
        return;
    }
    if (!isCurrent())
        emit changedOutside();
}
