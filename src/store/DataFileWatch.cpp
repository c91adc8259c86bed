#include "store/DataFileWatch.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {
// Writes closer together than this are one change: a sync client or an editor saving.
constexpr int kSettleMs = 500;
} // namespace

DataFileWatch::DataFileWatch(const QString &path, QObject *parent)
    : QObject(parent), m_path(path), m_watcher(new QFileSystemWatcher(this)),
      m_settle(new QTimer(this)) {
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &DataFileWatch::settle);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &DataFileWatch::poke);
    // Other programs may create and rename files in the folder all the time: only a change of the
    // Data file itself counts.
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (FileStamp::of(m_path) != m_seen)
            poke();
    });
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
