#pragma once

#include <QLineEdit>

// The masked "99:99" time field. shownText() is the field as shown, "_" in every empty place.
class TimeField : public QLineEdit {
    Q_OBJECT
public:
    explicit TimeField(QWidget *parent = nullptr);
    // Full-width digits, which an input method types, come back as ASCII digits.
    QString shownText() const;

protected:
    void focusOutEvent(QFocusEvent *event) override;
};
