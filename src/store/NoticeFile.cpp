#include "store/NoticeFile.h"

#include "store/DataFileWatch.h"

#include <QTimer>
#include <algorithm>
#include <utility>

namespace {
// Writes closer together than this are one change: a sync client or an editor saving.
constexpr int kSettleMs = 500;
// A save that finds the file replaced again and again (a sync client busy) waits for it.
constexpr int kSaveAttempts = 5;
} // namespace

NoticeFile::NoticeFile(const QString &path, QObject *parent)
    : QObject(parent), m_path(path), m_watch(new DataFileWatch(path, this)),
      m_catchUp(new QTimer(this)) {
    m_catchUp->setSingleShot(true);
    m_catchUp->setInterval(kSettleMs);
    connect(m_watch, &DataFileWatch::changedOutside, this, &NoticeFile::changedOutside);
    connect(m_catchUp, &QTimer::timeout, this, &NoticeFile::catchUpDue);
}

// Reads the file into t, and remembers which file that was unless it changed meanwhile.
QList<DataFile::LoadIssue> NoticeFile::read(NoticeTable &table, FileEncoding &enc) {
    const std::optional<FileStamp> before = FileStamp::of(m_path);
    // A file that cannot be read is tried again once it has changed, or at the next minute.
    m_watch->remember(before);
    QList<DataFile::LoadIssue> issues = DataFile::load(DataFile::readAll(m_path), table, enc);
    m_watch->remember(m_watch->stampUnchangedSince(before));
    return issues;
}

QList<DataFile::LoadIssue> NoticeFile::open(NoticeTable &table) {
    m_loadFailed = m_failedAtStart = true;
    DataFile::ensureExists(m_path);
    table.clear();
    QList<DataFile::LoadIssue> issues = read(table, m_encoding);
    m_loadFailed = m_failedAtStart = false;
    return issues;
}

bool NoticeFile::isCurrent() const {
    return m_watch->isCurrent();
}

// The file as it is now has been seen for as long as writes that belong together take.
bool NoticeFile::looksSettled() {
    const std::optional<FileStamp> now = FileStamp::of(m_path);
    if (!m_lookClock.isValid() || now != m_lastLook) {
        m_lastLook = now;
        m_lookClock.start();
        return false;
    }
    return m_lookClock.elapsed() >= kSettleMs;
}

bool NoticeFile::reload(NoticeTable &table) {
    NoticeTable fresh;
    FileEncoding enc;
    QList<DataFile::LoadIssue> issues;
    if (const auto failure = captureFailure([&] { issues = read(fresh, enc); })) {
        m_loadFailed = true;
        // Tried again each minute: the same failure is told once.
        if (!m_readFailureTold || m_readFailureTold->description() != failure->description())
            emit reloadFailed(*failure);
        m_readFailureTold = failure;
        return false;
    }
    for (const NoticeChange &change : std::as_const(m_pending))
        applyChange(fresh, change);
    table = std::move(fresh);
    m_encoding = enc;
    m_loadFailed = m_failedAtStart = false;
    m_readFailureTold.reset();
    m_catchUp->stop();
    ++m_reloads;
    emit reloaded(issues);
    return true;
}

bool NoticeFile::readIfChanged(NoticeTable &table, bool writingSettled) {
    if (m_stopped || (!m_loadFailed && isCurrent()) || !FileStamp::of(m_path))
        return false;
    if (!writingSettled && !looksSettled()) {
        m_catchUp->start();
        return false;
    }
    return reload(table);
}

NoticeFile::Outcome NoticeFile::apply(NoticeTable &table, const NoticeChange &change,
                                      bool refuseAfterReload, bool save) {
    Outcome out;
    out.reloaded = readIfChanged(table, false);
    if (out.reloaded && refuseAfterReload)
        return out;
    out.row = applyChange(table, change);
    m_pending << change;
    out.saved = save && this->save(table);
    return out;
}

QList<qint32> NoticeFile::markShown(NoticeTable &table, const QList<Notice> &notices) {
    readIfChanged(table, false);
    QList<qint32> rows;
    for (const Notice &n : notices) {
        const NoticeChange mark{NoticeChange::Kind::MarkShown, n, {}};
        rows << applyChange(table, mark);
        m_pending << mark;
    }
    return rows;
}

std::optional<RunError> NoticeFile::write(const NoticeTable &table, bool &moved) {
    return captureFailure([&] {
        if (m_stillOwner && !m_stillOwner())
            throw RunError::takenByAnother(m_path);
        if (m_loadFailed)
            throw m_failedAtStart ? RunError::refusedUnloadedFile(m_path)
                                  : RunError::refusedUnreadFile(m_path);
        const DataFile::WriteResult result = DataFile::writeAtomically(
            m_path, DataFile::serialize(table, m_encoding), [this] { return isCurrent(); });
        moved = result.moved;
        if (moved)
            return;
        m_watch->remember(result.stamp);
        if (result.inPlace && !std::exchange(m_inPlaceTold, true))
            emit savedInPlace();
    });
}

bool NoticeFile::save(NoticeTable &table) {
    if (m_stopped)
        return false;
    m_saveWanted = true;
    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        bool moved = false;
        if (const auto failure = write(table, moved)) {
            // Tried again at every change and every minute: told once per streak.
            if (!std::exchange(m_saveFailureTold, true))
                emit saveFailed(*failure);
            return false;
        }
        if (!moved) {
            m_pending.clear();
            m_saveWanted = false;
            m_saveFailureTold = false;
            ++m_saves;
            return true;
        }
        // Someone wrote the file after it was read: the changes go into what it holds now.
        if (!looksSettled() || !reload(table))
            break;
    }
    m_catchUp->start();
    return false;
}

void NoticeFile::catchUp(NoticeTable &table, bool writingSettled) {
    readIfChanged(table, writingSettled);
    if (m_saveWanted && !m_catchUp->isActive())
        save(table);
}

bool NoticeFile::saveBeforeExit(NoticeTable &table) {
    if (!m_saveWanted)
        return true;
    if (!m_stopped && !isCurrent() && FileStamp::of(m_path))
        reload(table);
    return save(table);
}

void NoticeFile::stop() {
    m_stopped = true;
    m_catchUp->stop();
}

namespace {
// One notice's changes since the last save, folded into one: an added notice changed is still
// added, a changed one deleted is deleted as it was, an added one deleted is nothing.
struct Unsaved {
    NoticeChange::Kind kind;
    Notice first;   // as the file holds it
    Notice current; // as the table holds it
};

void fold(QList<Unsaved> &out, const NoticeChange &c) {
    using Kind = NoticeChange::Kind;
    if (c.kind == Kind::Add) {
        out << Unsaved{Kind::Add, {}, c.after};
        return;
    }
    const QString id = identityOf(c.before);
    auto it = std::find_if(out.begin(), out.end(), [&](const Unsaved &u) {
        return u.kind != Kind::Remove && identityOf(u.current) == id;
    });
    if (it == out.end()) {
        out << Unsaved{c.kind, c.before, c.kind == Kind::Replace ? c.after : c.before};
    } else if (c.kind == Kind::Replace) {
        it->current = c.after;
        if (it->kind == Kind::MarkShown)
            it->kind = Kind::Replace;
    } else if (c.kind == Kind::Remove) {
        if (it->kind == Kind::Add)
            out.erase(it);
        else
            it->kind = Kind::Remove;
    }
}

QString describe(const Notice &n) {
    return n.dateTime + QLatin1Char(' ') + n.message;
}
} // namespace

QStringList NoticeFile::unsavedChanges() const {
    using Kind = NoticeChange::Kind;
    QList<Unsaved> folded;
    for (const NoticeChange &c : m_pending)
        fold(folded, c);
    QStringList lines;
    for (const Unsaved &u : std::as_const(folded)) {
        switch (u.kind) {
        case Kind::Add:
            lines << QStringLiteral("追加: ") + describe(u.current);
            break;
        case Kind::Replace:
            lines << QStringLiteral("変更: %1 → %2").arg(describe(u.first), describe(u.current));
            break;
        case Kind::Remove:
            lines << QStringLiteral("削除: ") + describe(u.first);
            break;
        case Kind::MarkShown:
            lines << QStringLiteral("表示済みの印: ") + describe(u.first);
            break;
        }
    }
    return lines;
}
