#pragma once

#include <QDateEdit>

// The date picker: Value reads and writes "yyyy/mm/dd".
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget *parent = nullptr);
    QString Value() const;
    // Throws RunError for a text that is no date.
    void setValue(const QString &yyyymmdd);
};
