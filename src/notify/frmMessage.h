#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// One notice's message in its own window; closes only itself.
class frmMessage : public QWidget {
    Q_OBJECT
public:
    explicit frmMessage(QWidget *parent = nullptr);

    QPlainTextEdit *txtMessage;
    QPushButton *cmdOk;

    void cmdOk_Click();
    void Form_Resize();

protected:
    void resizeEvent(QResizeEvent *event) override;
};
