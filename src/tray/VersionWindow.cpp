#include "tray/VersionWindow.h"

#include "version.h"
#include "widgets/AppIcon.h"
#include "widgets/EnterButton.h"
#include "widgets/Twips.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

VersionWindow::VersionWindow(QWidget *parent) : QWidget(parent, Qt::Window) {
    using namespace Twips;
    setObjectName(QStringLiteral("VersionWindow"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowIcon(appIcon());

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("versionText"));
    m_text->setAccessibleName(QStringLiteral("バージョン情報"));
    m_text->setGeometry(Twips::rect(120, 120, 5055, 855));
    m_text->setReadOnly(true);
    m_text->setFrameShape(QFrame::NoFrame);
    QPalette pal = m_text->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    m_text->setPalette(pal);

    m_closeButton = new EnterButton(QStringLiteral("閉じる"), this);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setGeometry(Twips::rect(4440, 1800, 855, 375));
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);

    resize(px(5325), px(2535));
    m_text->setPlainText(runningVersionText());
}

// The text is only read: each time the window opens, Return closes it.
void VersionWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_closeButton->setFocus();
}

QString VersionWindow::versionText(const QString &exeName, const QString &description, int major,
                                   int minor, int revision) {
    return exeName + QLatin1Char('(') + description + QLatin1Char(')') + QLatin1String("\r\n") +
           QStringLiteral("Version ") + QString::number(major) + QLatin1Char('.') +
           QString::number(minor) + QLatin1Char('.') + QString::number(revision);
}

QString VersionWindow::runningVersionText() {
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return versionText(exe, QString::fromUtf8(version::fileDescription), version::major,
                       version::minor, version::revision);
}
