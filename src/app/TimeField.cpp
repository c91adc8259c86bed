#include "app/TimeField.h"

TimeField::TimeField(QWidget *parent) : QLineEdit(parent)
{
    setInputMask(QStringLiteral("99:99;_"));
    setMaxLength(5);
}
