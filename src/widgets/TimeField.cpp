#include "widgets/TimeField.h"

#include <QFocusEvent>

TimeField::TimeField(QWidget *parent) : QLineEdit(parent) {
    setInputMask(QStringLiteral("99:99;_"));
    setMaxLength(5);
    // Reached by Tab, the field puts its cursor at the start, and Qt reports that move before the
    // focus; Orca then takes the field for one already announced and says nothing of it. With the
    // cursor left at the start while the focus is elsewhere, there is no move to report.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!hasFocus())
            setCursorPosition(0);
    });
}

void TimeField::focusOutEvent(QFocusEvent *event) {
    QLineEdit::focusOutEvent(event);
    // Another window taking the focus for a while leaves the cursor where the user put it.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        setCursorPosition(0);
}

QString TimeField::shownText() const {
    QString shown = displayText();
    for (QChar &c : shown) {
        if (c.unicode() >= u'０' && c.unicode() <= u'９')
            c = QChar(char16_t(u'0' + (c.unicode() - u'０')));
    }
    return shown;
}
