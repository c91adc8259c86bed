#include "store/NoticeTable.h"

#include "base/RunError.h"
#include "store/DateText.h"

#include <utility>

const Notice &NoticeTable::at(qint32 i) const {
    return ::at(m_notices, i);
}

Notice &NoticeTable::at(qint32 i) {
    Notice &n = ::at(m_notices, i);
    m_minutesValid = false; // the caller may change its date-time
    return n;
}

void NoticeTable::append(const Notice &notice) {
    m_notices.append(notice);
    m_minutesValid = false;
}

void NoticeTable::removeAt(qint32 i) {
    ::at(m_notices, i);
    m_notices.removeAt(i);
    m_minutesValid = false;
}

void NoticeTable::clear() {
    m_notices.clear();
    m_minutesValid = false;
}

void NoticeTable::setFlag(qint32 i, const QString &flag) {
    ::at(m_notices, i).flag = flag;
}

void NoticeTable::swap(qint32 i, qint32 j) {
    m_notices.swapItemsAt(i, j);
    m_minutesValid = false;
}

const std::vector<std::optional<qint64>> &NoticeTable::rebuildMinutes() const {
    m_minutes.clear();
    m_minutes.reserve(size_t(m_notices.size()));
    for (const Notice &n : m_notices)
        m_minutes.push_back(DateText::parseMinute(n.dateTime));
    m_minutesValid = true;
    return m_minutes;
}

namespace {
bool greater(const NoticeTable &t, qint32 i, qint32 j) {
    return QStringView(t.notices()[i].dateTime).compare(QStringView(t.notices()[j].dateTime)) > 0;
}

// One exchange of the reference loop, following the picked notice as it does.
void exchange(NoticeTable &t, qint32 i, qint32 j, qint32 &picked) {
    if (i == picked)
        picked = j;
    else if (j == picked)
        picked = i;
    t.swap(i, j);
}

// Whether positions from..to, without position `skip`, are in non-decreasing order.
bool sortedWithout(const NoticeTable &t, qint32 from, qint32 to, qint32 skip) {
    qint32 prev = -1;
    for (qint32 k = from; k <= to; ++k) {
        if (k == skip)
            continue;
        if (prev >= 0 && greater(t, prev, k))
            return false;
        prev = k;
    }
    return true;
}
} // namespace

qint32 exchangeSortNotices(NoticeTable &t, qint32 picked) {
    const qint32 last = t.size() - 1;
    for (qint32 i = 0; i < last; ++i) {
        for (qint32 j = i + 1; j <= last; ++j) {
            if (greater(t, i, j))
                exchange(t, i, j, picked);
        }
    }
    return picked;
}

// The editor leaves the table sorted but for one notice at p (appended or changed). With the
// rest in order, the reference loop exchanges only these pairs, in this order:
//  - p later than p-1: nothing below p moves. Outer pass i = p finds p+1 as the only smaller
//    entry (the rest are >= it), so the notice steps right one place per pass while it is
//    greater than its right-hand neighbour, and stops before the first entry >= it.
//  - p earlier than p-1: for each i < p, the entries between i and p are >= entry i and those
//    after p are >= everything before p, so the only candidate is p itself; a smaller one is
//    exchanged into i. What p holds after i = p-1 is <= all after it, so passes i >= p do
//    nothing. Among equal entries this rotates each run's first one to its end, as the
//    reference does.
// Each such pair is exchanged exactly when the reference compares it, so order and the
// returned index are the reference's. Any other table goes to the reference loop.
qint32 sortNotices(NoticeTable &t, qint32 picked) {
    const qint32 last = t.size() - 1;
    qint32 d = 0;
    while (d < last && !greater(t, d, d + 1))
        ++d;
    if (d >= last)
        return picked;
    // d is the first descent: either d+1 belongs further left, or d further right.
    const qint32 p = d + 1;
    if (sortedWithout(t, d, last, p)) {
        for (qint32 i = 0; i < p; ++i) {
            if (greater(t, i, p))
                exchange(t, i, p, picked);
        }
    } else if ((d == 0 || !greater(t, d - 1, d + 1)) && sortedWithout(t, d + 1, last, -1)) {
        for (qint32 i = d; i < last && greater(t, i, i + 1); ++i)
            exchange(t, i, i + 1, picked);
    } else {
        return exchangeSortNotices(t, picked);
    }
    return picked;
}

QString identityOf(const Notice &n) {
    const std::optional<qint64> minute = DateText::parseMinute(n.dateTime);
    return (minute ? DateText::renderMinute(*minute) : n.dateTime) + QLatin1Char('\t') + n.message;
}

namespace {
// Of the same identity as n, whose minute is given: compares the cached minutes, not texts.
bool isSame(const NoticeTable &t, qint32 i, const std::optional<qint64> &minute, const Notice &n) {
    const Notice &o = t.notices()[i];
    if (o.message != n.message)
        return false;
    return minute ? t.minutes()[size_t(i)] == minute : o.dateTime == n.dateTime;
}
} // namespace

qint32 rowOfNotice(const NoticeTable &t, const Notice &n) {
    const qint32 exact = qint32(t.notices().indexOf(n));
    if (exact >= 0)
        return exact;
    const std::optional<qint64> minute = DateText::parseMinute(n.dateTime);
    for (qint32 i = 0; i < t.size(); ++i) {
        if (isSame(t, i, minute, n))
            return i;
    }
    return -1;
}

qint32 applyChange(NoticeTable &t, const NoticeChange &change) {
    qint32 row = -1;
    switch (change.kind) {
    case NoticeChange::Kind::Replace:
        row = rowOfNotice(t, change.before);
        if (row >= 0) {
            t.at(row) = change.after;
            return sortNotices(t, row);
        }
        [[fallthrough]];
    case NoticeChange::Kind::Add:
        t.append(change.after);
        return sortNotices(t, t.size() - 1);
    case NoticeChange::Kind::Remove:
        row = rowOfNotice(t, change.before);
        if (row >= 0)
            t.removeAt(row);
        return row;
    case NoticeChange::Kind::MarkShown: {
        const std::optional<qint64> minute = DateText::parseMinute(change.before.dateTime);
        for (qint32 i = 0; i < t.size(); ++i) {
            if (t.notices()[i].isPending() && isSame(t, i, minute, change.before)) {
                t.setFlag(i, QStringLiteral("1"));
                return i;
            }
        }
        return -1;
    }
    }
    return -1;
}
