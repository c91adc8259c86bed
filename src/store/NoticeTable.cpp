#include "store/NoticeTable.h"

#include "base/RunError.h"
#include "store/DateText.h"

#include <utility>

void NoticeTable::reset() {
    lngCount = 0;
    lngLast = -1;
    arrJikoku.clear();
    arrMes.clear();
    arrTuuti.clear();
    jikokuChanged();
}

void NoticeTable::resizeTo(qint32 last) {
    if (last < -1)
        throw RunError::indexOutOfRange();
    arrJikoku.resize(last + 1);
    arrMes.resize(last + 1);
    arrTuuti.resize(last + 1);
    jikokuChanged();
}

QString NoticeTable::displayText(qint32 i) const {
    return at(arrJikoku, i) + QLatin1Char('|') + at(arrMes, i);
}

void NoticeTable::rebuildMinutes() const {
    m_minutes.clear();
    m_minutes.reserve(size_t(arrJikoku.size()));
    for (const QString &s : arrJikoku)
        m_minutes.push_back(DateText::parseMinute(s));
    m_minutesValid = true;
}

namespace {
void requireRows(const NoticeTable &t) {
    if (t.arrJikoku.size() <= t.lngLast || t.arrMes.size() <= t.lngLast ||
        t.arrTuuti.size() <= t.lngLast)
        throw RunError::indexOutOfRange();
}

void swapNotices(NoticeTable &t, qint32 i, qint32 j) {
    std::swap(t.arrJikoku[i], t.arrJikoku[j]);
    std::swap(t.arrMes[i], t.arrMes[j]);
    std::swap(t.arrTuuti[i], t.arrTuuti[j]);
    t.jikokuChanged();
}
} // namespace

qint32 SortItiranReference(NoticeTable &t, qint32 sel) {
    requireRows(t);
    for (qint32 i = 0; i < t.lngLast; ++i) {
        for (qint32 j = i + 1; j <= t.lngLast; ++j) {
            if (QStringView(t.arrJikoku[i]).compare(QStringView(t.arrJikoku[j])) > 0) {
                if (i == sel)
                    sel = j;
                else if (j == sel)
                    sel = i;
                swapNotices(t, i, j);
            }
        }
    }
    return sel;
}

namespace {
bool greater(const NoticeTable &t, qint32 i, qint32 j) {
    return QStringView(t.arrJikoku[i]).compare(QStringView(t.arrJikoku[j])) > 0;
}

// One exchange of the reference loop, following the selected notice as it does.
void exchange(NoticeTable &t, qint32 i, qint32 j, qint32 &sel) {
    if (i == sel)
        sel = j;
    else if (j == sel)
        sel = i;
    swapNotices(t, i, j);
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
qint32 SortItiranFast(NoticeTable &t, qint32 sel) {
    requireRows(t);
    const qint32 last = t.lngLast;
    qint32 d = 0;
    while (d < last && !greater(t, d, d + 1))
        ++d;
    if (d >= last)
        return sel;
    // d is the first descent: either d+1 belongs further left, or d further right.
    const qint32 p = d + 1;
    if (sortedWithout(t, d, last, p)) {
        for (qint32 i = 0; i < p; ++i) {
            if (greater(t, i, p))
                exchange(t, i, p, sel);
        }
    } else if ((d == 0 || !greater(t, d - 1, d + 1)) && sortedWithout(t, d + 1, last, -1)) {
        for (qint32 i = d; i < last && greater(t, i, i + 1); ++i)
            exchange(t, i, i + 1, sel);
    } else {
        return SortItiranReference(t, sel);
    }
    return sel;
}

bool NoticeTable::isPending(qint32 i) const {
    const QString &flag = at(arrTuuti, i);
    return flag.size() == 1 && flag.at(0) == QLatin1Char('0');
}
