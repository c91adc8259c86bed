#pragma once

#include <QLineEdit>

// The masked "99:99" time field. Text() is the field as shown, "_" in every empty place.
class TimeField : public QLineEdit
{
    Q_OBJECT
public:
    explicit TimeField(QWidget *parent = nullptr);
    QString Text() const { return displayText(); }
    void setText_(const QString &t) { setText(t); }
};
