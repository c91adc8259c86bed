#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <vector>

// One notice as the Data file holds it: texts as they stand, so a hand-written line is kept.
struct Notice {
    QString dateTime; // "yyyy/mm/dd hh:nn", or what a hand edit left
    QString message;  // one line: each line break stored as "\n"
    QString flag;     // "0" until its window opened; any other text counts as shown

    bool isPending() const { return flag.size() == 1 && flag.at(0) == QLatin1Char('0'); }
    QString listLine() const { return dateTime + QLatin1Char('|') + message; }
    bool operator==(const Notice &o) const {
        return dateTime == o.dateTime && message == o.message && flag == o.flag;
    }
};

// Moved in memory as a whole when the list grows, as its strings are.
Q_DECLARE_TYPEINFO(Notice, Q_RELOCATABLE_TYPE);

// The notices in list order: line k of the list shows notice k.
class NoticeTable {
public:
    qint32 size() const { return qint32(m_notices.size()); }
    bool isEmpty() const { return m_notices.isEmpty(); }
    const QList<Notice> &notices() const { return m_notices; }

    // Both throw RunError for an index outside the table.
    const Notice &at(qint32 i) const;
    Notice &at(qint32 i);

    void append(const Notice &notice);
    void removeAt(qint32 i);
    void clear();
    void swap(qint32 i, qint32 j);
    // A flag leaves the date-time, and so the minutes below, as they are.
    void setFlag(qint32 i, const QString &flag);

    // The minute each date-time text denotes (nullopt for texts that are no date-time), cached for
    // the timer, which reads them ten times a second.
    const std::vector<std::optional<qint64>> &minutes() const {
        if (m_minutesValid && m_minutes.size() == size_t(m_notices.size()))
            return m_minutes;
        return rebuildMinutes();
    }

private:
    const std::vector<std::optional<qint64>> &rebuildMinutes() const;
    QList<Notice> m_notices;
    mutable std::vector<std::optional<qint64>> m_minutes;
    mutable bool m_minutesValid = false;
};

// What a notice is, whatever form a hand edit gave its date-time: the minute it denotes (the text
// itself where it denotes none) and its message. Pirune's own save rewrites "2031/3/4 8:00" as
// "2031/03/04 08:00"; both are the same notice.
QString identityOf(const Notice &n);

// The row of this notice: the same texts and flag first, else the first of the same identity;
// -1 where there is none.
qint32 rowOfNotice(const NoticeTable &t, const Notice &n);

// The exchange sort by date-time text: follows the notice at `picked` and returns its new index.
qint32 exchangeSortNotices(NoticeTable &t, qint32 picked);

// The same result and the same order as exchangeSortNotices, without its quadratic cost on the
// tables the editor produces.
qint32 sortNotices(NoticeTable &t, qint32 picked);

// One change of the user's or the timer's. It is kept until the Data file holds it, and applied
// again to what the file holds when someone else wrote it meanwhile: a notice is never lost.
struct NoticeChange {
    enum class Kind { Add, Replace, Remove, MarkShown };
    Kind kind;
    Notice before; // Replace, Remove, MarkShown: the notice as the table held it
    Notice after;  // Add, Replace
};

// Applies the change and sorts as the editor does; returns the row of the notice it leaves, or
// the row it removed, or -1 where the notice it names is not there. A Replace whose notice is gone
// adds the new one, and a MarkShown marks the first pending notice of the same identity.
qint32 applyChange(NoticeTable &t, const NoticeChange &change);
