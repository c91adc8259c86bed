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

protected:
    // One tab stop: year, month and day are reached with the arrow keys.
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent *event) override;
};
