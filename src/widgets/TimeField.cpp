#include "widgets/TimeField.h"

TimeField::TimeField(QWidget *parent) : QLineEdit(parent) {
    setInputMask(QStringLiteral("99:99;_"));
    setMaxLength(5);
}

QString TimeField::Text() const {
    QString shown = displayText();
    for (QChar &c : shown) {
        if (c.unicode() >= u'０' && c.unicode() <= u'９')
            c = QChar(char16_t(u'0' + (c.unicode() - u'０')));
    }
    return shown;
}
