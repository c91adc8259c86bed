#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Local wall-clock date-times as "civil seconds" (Julian day * 86400 + seconds of the day), so
// that two texts rendered with "yyyy/mm/dd hh:nn:ss" compare exactly as these numbers do.
namespace DateText {

// Reads "y/m/d h:n" or "y/m/d h:n:s" (one or two digits for month, day, hour, minute and
// second; '/' or '-' between date parts). Anything else is not a date-time.
std::optional<qint64> parse(QStringView text);

// The minute a stored date-time text denotes, read as the text followed by ":00".
std::optional<qint64> parseMinute(QStringView text);

qint64 civilOf(const QDateTime &t);
QString renderMinute(qint64 civil); // "yyyy/mm/dd hh:nn"

} // namespace DateText
