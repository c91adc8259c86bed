#include "store/DateText.h"

#include <QDate>

namespace DateText {
namespace {

struct Cursor {
    QStringView s;
    qsizetype i = 0;
    bool atEnd() const { return i >= s.size(); }
    bool take(QChar c) {
        if (!atEnd() && s.at(i) == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool takeAny(QChar a, QChar b) { return take(a) || take(b); }
    std::optional<int> number(int minDigits, int maxDigits) {
        int value = 0, n = 0;
        while (!atEnd() && n < maxDigits) {
            const char16_t c = s.at(i).unicode();
            if (c < u'0' || c > u'9')
                break;
            value = value * 10 + (c - u'0');
            ++n;
            ++i;
        }
        if (n < minDigits)
            return std::nullopt;
        return value;
    }
    void skipBlanks() {
        while (!atEnd() && s.at(i) == QLatin1Char(' '))
            ++i;
    }
};

std::optional<qint64> parseImpl(QStringView text, bool optionalSeconds) {
    Cursor c{text};
    c.skipBlanks();
    const auto y = c.number(4, 4);
    if (!y || !c.takeAny(QLatin1Char('/'), QLatin1Char('-')))
        return std::nullopt;
    const auto mo = c.number(1, 2);
    if (!mo || !c.takeAny(QLatin1Char('/'), QLatin1Char('-')))
        return std::nullopt;
    const auto d = c.number(1, 2);
    if (!d || !c.take(QLatin1Char(' ')))
        return std::nullopt;
    c.skipBlanks();
    const auto h = c.number(1, 2);
    if (!h || !c.take(QLatin1Char(':')))
        return std::nullopt;
    const auto mi = c.number(1, 2);
    if (!mi)
        return std::nullopt;
    int sec = 0;
    if (c.take(QLatin1Char(':'))) {
        const auto s = c.number(1, 2);
        if (!optionalSeconds || !s)
            return std::nullopt;
        sec = *s;
    }
    c.skipBlanks();
    if (!c.atEnd())
        return std::nullopt;
    const QDate date(*y, *mo, *d);
    if (!date.isValid() || *h > 23 || *mi > 59 || sec > 59)
        return std::nullopt;
    return date.toJulianDay() * 86400 + qint64(*h) * 3600 + qint64(*mi) * 60 + sec;
}

} // namespace

std::optional<qint64> parse(QStringView text) {
    return parseImpl(text, true);
}

std::optional<qint64> parseMinute(QStringView text) {
    return parseImpl(text, false);
}

qint64 civilOf(const QDateTime &t) {
    const QDateTime local = t.toLocalTime();
    return local.date().toJulianDay() * 86400 + local.time().msecsSinceStartOfDay() / 1000;
}

// Written digit by digit: saving a long table renders every date-time, and arg() is slow. Years
// are those parse() gives, four digits.
QString renderMinute(qint64 civil) {
    const qint64 day = civil >= 0 ? civil / 86400 : (civil - 86399) / 86400;
    const int secs = int(civil - day * 86400);
    const QDate d = QDate::fromJulianDay(day);
    char16_t buf[16];
    const auto two = [&buf](int at, int v) {
        buf[at] = char16_t(u'0' + v / 10);
        buf[at + 1] = char16_t(u'0' + v % 10);
    };
    two(0, d.year() / 100);
    two(2, d.year() % 100);
    buf[4] = u'/';
    two(5, d.month());
    buf[7] = u'/';
    two(8, d.day());
    buf[10] = u' ';
    two(11, secs / 3600);
    buf[13] = u':';
    two(14, secs / 60 % 60);
    return QString(reinterpret_cast<const QChar *>(buf), 16);
}

} // namespace DateText
