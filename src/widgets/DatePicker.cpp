#include "widgets/DatePicker.h"

#include "base/RunError.h"

#include <QCalendarWidget>
#include <QKeyEvent>
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

bool DatePicker::focusNextPrevChild(bool next) {
    return QWidget::focusNextPrevChild(next);
}

void DatePicker::keyPressEvent(QKeyEvent *event) {
    const int step = event->key() == Qt::Key_Right ? 1 : event->key() == Qt::Key_Left ? -1 : 0;
    if (step == 0 || event->modifiers() != Qt::NoModifier) {
        QDateEdit::keyPressEvent(event);
        return;
    }
    setCurrentSectionIndex(qBound(0, currentSectionIndex() + step, sectionCount() - 1));
    setSelectedSection(currentSection());
}
