#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// One notice's message in its own window; OK closes only this window.
class MessageWindow : public QWidget {
    Q_OBJECT
public:
    explicit MessageWindow(QWidget *parent = nullptr);

    // A new window showing `text`, titled "メッセージ" when `title` is empty.
    static MessageWindow *open(const QString &text, const QString &title);
    QString message() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOut();

    QPlainTextEdit *m_text;
    QPushButton *m_ok;
};
