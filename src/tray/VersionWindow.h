#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// Tells which program and version is running, from the version record the build wrote.
class VersionWindow : public QWidget {
    Q_OBJECT
public:
    explicit VersionWindow(QWidget *parent = nullptr);

    // "Name(description)" CR LF "Version major.minor.revision"
    static QString versionText(const QString &exeName, const QString &description, int major,
                               int minor, int revision);
    static QString runningVersionText();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QPlainTextEdit *m_text;
    QPushButton *m_closeButton;
};
