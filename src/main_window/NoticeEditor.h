#pragma once

#include "store/NoticeFile.h"

#include <QDateTime>
#include <QWidget>
#include <functional>
#include <optional>

class DatePicker;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class TimeField;

// The list of notices and the editor under it: their layout and resize rule, and the add, change,
// pick, delete and clear commands. Each change goes to the Data file through its owner.
class NoticeEditor : public QWidget {
    Q_OBJECT
public:
    NoticeEditor(NoticeTable &table, NoticeFile &file, QWidget *parent);

    // A program that sits hidden all day need not hold the controls: they are built, with the
    // state start-up gave them, the first time they are needed.
    void ensureControls();
    bool controlsBuilt() const { return m_list != nullptr; }

    // The date and time a new notice starts from.
    void setStartTime(const QDateTime &now);
    // Rewrites the list lines that differ from the table.
    void refreshListTexts();
    // After the table was read again: every line anew, the picked notice still picked where the
    // file still holds it (the editor keeps what was typed), else the user told at once.
    void showReloadedTable();
    // Change and Delete are enabled exactly when there are notices.
    void applyButtonRule();
    // Places the controls for the window's size (the window is first grown to its minimum).
    void layOut();

signals:
    void closeClicked();

private:
    void buildControls();
    void buildEditorFrame();
    void connectControls();
    void alignListHeader();
    void showEditButtons();

    void addNotice();
    void changeNotice();
    void loadPickedNotice();
    void deleteNotice();
    NoticeFile::Outcome applyToPicked(const std::function<NoticeChange(const Notice &)> &make);
    void showTableChange();
    void pickNextAfterRemoving(qint32 row);
    void clearEditor();
    bool checkInput();
    bool refuseUnencodable(const QString &message);
    void tellListReloaded(const QString &what);

    qint32 pickedRow() const;
    void pickRow(qint32 row);
    void selectRow(qint32 row);
    QString editorDateTime() const;
    QString editorMessage() const;

    NoticeTable &m_table;
    NoticeFile &m_file;
    QDateTime m_startTime; // the editor's date and time while its controls are not built
    std::optional<bool> m_editButtons; // Change/Delete enabled, once start-up has decided it
    std::optional<Notice> m_picked;    // as it was when picked, to find it again after a reload

    QLabel *m_listHeader = nullptr;
    QListWidget *m_list = nullptr;
    QGroupBox *m_frame = nullptr;
    QLabel *m_timeLabel = nullptr;
    QLabel *m_messageLabel = nullptr;
    DatePicker *m_dateEdit = nullptr;
    TimeField *m_timeEdit = nullptr;
    QPlainTextEdit *m_messageEdit = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_changeButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_clearButton = nullptr;
    QPushButton *m_closeButton = nullptr;
};

// The main window's title, icon, font, size and minimum size, which the editor's layout is made
// for.
void setUpMainWindow(QWidget *window);
