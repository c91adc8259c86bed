#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The notices: three parallel arrays indexed 0..lngLast, and the shared running index.
class NoticeTable {
public:
    QStringList arrJikoku;
    QStringList arrMes;
    QStringList arrTuuti;
    qint32 lngCount = 0;
    qint32 lngLast = -1;

    void reset();
    // Resizes the three arrays to the upper bound `last`, keeping their contents.
    void resizeTo(qint32 last);
    QString displayText(qint32 i) const;
    bool isPending(qint32 i) const;

    // Must be called after any change to arrJikoku: the timer reads minutes from a cache.
    void jikokuChanged() { m_minutesValid = false; }
    // The minute each date-time text denotes (nullopt for texts that are no date-time).
    const std::vector<std::optional<qint64>> &minutes() const {
        if (!m_minutesValid || m_minutes.size() != size_t(arrJikoku.size()))
            rebuildMinutes();
        return m_minutes;
    }

private:
    void rebuildMinutes() const;
    mutable std::vector<std::optional<qint64>> m_minutes;
    mutable bool m_minutesValid = false;
};

// The exchange sort by date-time text that follows the notice at `sel` and returns its new index.
qint32 SortItiranReference(NoticeTable &t, qint32 sel);

// Same result and same order as SortItiranReference, without its quadratic cost on the tables
// the editor produces.
qint32 SortItiranFast(NoticeTable &t, qint32 sel);
