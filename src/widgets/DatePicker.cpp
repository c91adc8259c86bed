#include "widgets/DatePicker.h"

#include "base/ProcedureLabels.h"
#include "base/RunError.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTableView>

DatePicker::DatePicker(QWidget *parent) : QDateEdit(parent) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    setLocale(japanese);
    setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    setDateRange(QDate(1601, 1, 1), QDate(9999, 12, 31));
    setDate(QDate(2004, 12, 2));
    setCalendarPopup(true);
    calendarWidget()->setLocale(japanese);
    calendarWidget()->installEventFilter(this);
    calendarFollowsDate(false);
}

// Qt's calendar table reports each new current day as the keyboard focus, even while its popup is
// hidden: a screen reader would leave the date field and read the hidden calendar at every change
// of the date. The table hears of the day only while the popup is open.
void DatePicker::calendarFollowsDate(bool follow) {
    auto *table = calendarWidget()->findChild<QTableView *>();
    if (!table)
        return;
    const char *signal = SIGNAL(currentChanged(QModelIndex, QModelIndex));
    const char *slot = SLOT(currentChanged(QModelIndex, QModelIndex));
    if (follow && m_calendarCut)
        m_calendarCut = !connect(table->selectionModel(), signal, table, slot);
    else if (!follow && !m_calendarCut)
        m_calendarCut = disconnect(table->selectionModel(), signal, table, slot);
}

bool DatePicker::eventFilter(QObject *watched, QEvent *event) {
    if (watched == calendarWidget() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        calendarFollowsDate(event->type() == QEvent::Show);
    return QDateEdit::eventFilter(watched, event);
}

QString DatePicker::dateText() const {
    return date().toString(QStringLiteral("yyyy/MM/dd"));
}

void DatePicker::setDateText(const QString &text) {
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{4})[/-](\\d{1,2})[/-](\\d{1,2})\\s*$"));
    const auto m = re.match(text);
    const QDate d = m.hasMatch()
                        ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
                        : QDate();
    if (!d.isValid() || d < minimumDate() || d > maximumDate())
        throw RunError::controlFailure(QString::fromUtf8(Label::datePickerValue).arg(text));
    setDate(d);
}

bool DatePicker::focusNextPrevChild(bool next) {
    // Past QDateTimeEdit's own, which would move between year, month and day.
    return QWidget::focusNextPrevChild(next); // NOLINT(bugprone-parent-virtual-call)
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
