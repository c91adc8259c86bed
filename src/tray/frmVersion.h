#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// Tells which program and version is running, from the version record the build wrote.
class frmVersion : public QWidget {
    Q_OBJECT
public:
    explicit frmVersion(QWidget *parent = nullptr);

    QPlainTextEdit *txtVer;
    QPushButton *cmdClose;

    // "Name(description)" CR LF "Version major.minor.revision"
    static QString versionText(const QString &exeName, const QString &description, int major,
                               int minor, int revision);
    static QString runningVersionText();

    void Form_Load();
    void cmdClose_Click();
};
