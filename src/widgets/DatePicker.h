#pragma once

#include <QDateEdit>

// The date picker, its date read and written as "yyyy/mm/dd".
class DatePicker : public QDateEdit {
    Q_OBJECT
    // A screen reader reads a spin box's value from this property, which Qt's date edit lacks; Orca
    // then tells only the first change of the date.
    Q_PROPERTY(qint64 value READ dayNumber)
public:
    explicit DatePicker(QWidget *parent = nullptr);
    QString dateText() const;
    // Throws RunError for a text that is no date.
    void setDateText(const QString &yyyymmdd);
    qint64 dayNumber() const { return date().toJulianDay(); }

protected:
    // One tab stop: year, month and day are reached with the arrow keys.
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void calendarFollowsDate(bool follow);
    bool m_calendarCut = false;
};
