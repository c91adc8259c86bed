#include "widgets/DatePicker.h"

#include "base/RunError.h"

#include <QCalendarWidget>
#include <QRegularExpression>

DatePicker::DatePicker(QWidget *parent) : QDateEdit(parent) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    setLocale(japanese);
    setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    setDateRange(QDate(1601, 1, 1), QDate(9999, 12, 31));
    setDate(QDate(2004, 12, 2));
    setCalendarPopup(true);
    calendarWidget()->setLocale(japanese);
}

QString DatePicker::Value() const {
    return date().toString(QStringLiteral("yyyy/MM/dd"));
}

void DatePicker::setValue(const QString &text) {
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{4})[/-](\\d{1,2})[/-](\\d{1,2})\\s*$"));
    const auto m = re.match(text);
    const QDate d = m.hasMatch()
                        ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
                        : QDate();
    if (!d.isValid() || d < minimumDate() || d > maximumDate())
        throw RunError::controlFailure(QStringLiteral("DTP_YMD.Value = \"%1\"").arg(text));
    setDate(d);
}
