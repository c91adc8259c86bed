#include "store/NoticeTable.h"

#include "app/RunError.h"
#include "store/DateText.h"

#include <utility>

void NoticeTable::reset()
{
    lngCount = 0;
    lngLast = -1;
    arrJikoku.clear();
    arrMes.clear();
    arrTuuti.clear();
    jikokuChanged();
}

void NoticeTable::resizeTo(qint32 last)
{
    if (last < -1)
        throw RunError::indexOutOfRange();
    arrJikoku.resize(last + 1);
    arrMes.resize(last + 1);
    arrTuuti.resize(last + 1);
    jikokuChanged();
}

QString NoticeTable::displayText(qint32 i) const
{
    return at(arrJikoku, i) + QLatin1Char('|') + at(arrMes, i);
}

const std::vector<std::optional<qint64>> &NoticeTable::minutes() const
{
    if (!m_minutesValid || m_minutes.size() != size_t(arrJikoku.size())) {
        m_minutes.clear();
        m_minutes.reserve(size_t(arrJikoku.size()));
        for (const QString &s : arrJikoku)
            m_minutes.push_back(DateText::parseMinute(s));
        m_minutesValid = true;
    }
    return m_minutes;
}

namespace {
void swapNotices(NoticeTable &t, qint32 i, qint32 j)
{
    std::swap(t.arrJikoku[i], t.arrJikoku[j]);
    std::swap(t.arrMes[i], t.arrMes[j]);
    std::swap(t.arrTuuti[i], t.arrTuuti[j]);
}
} // namespace

qint32 SortItiranReference(NoticeTable &t, qint32 sel)
{
    if (t.arrJikoku.size() <= t.lngLast || t.arrMes.size() <= t.lngLast || t.arrTuuti.size() <= t.lngLast)
        throw RunError::indexOutOfRange();
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
    t.jikokuChanged();
    return sel;
}

qint32 SortItiranFast(NoticeTable &t, qint32 sel)
{
    return SortItiranReference(t, sel);
}

bool NoticeTable::isPending(qint32 i) const
{
    const QString &flag = at(arrTuuti, i);
    return flag.size() == 1 && flag.at(0) == QLatin1Char('0');
}
