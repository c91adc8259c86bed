#include "tray/frmVersion.h"

#include "version.h"
#include "widgets/AppIcon.h"
#include "widgets/EnterButton.h"
#include "widgets/Twips.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>

frmVersion::frmVersion(QWidget *parent) : QWidget(parent, Qt::Window) {
    using namespace Twips;
    setObjectName(QStringLiteral("frmVersion"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowIcon(appIcon());

    txtVer = new QPlainTextEdit(this);
    txtVer->setObjectName(QStringLiteral("txtVer"));
    txtVer->setAccessibleName(QStringLiteral("バージョン情報"));
    txtVer->setGeometry(Twips::rect(120, 120, 5055, 855));
    txtVer->setReadOnly(true);
    txtVer->setFrameShape(QFrame::NoFrame);
    QPalette pal = txtVer->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    txtVer->setPalette(pal);

    cmdClose = new EnterButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(Twips::rect(4440, 1800, 855, 375));
    connect(cmdClose, &QPushButton::clicked, this, &frmVersion::cmdClose_Click);

    resize(px(5325), px(2535));
    Form_Load();
}

QString frmVersion::versionText(const QString &exeName, const QString &description, int major,
                                int minor, int revision) {
    return exeName + QLatin1Char('(') + description + QLatin1Char(')') + QLatin1String("\r\n") +
           QStringLiteral("Version ") + QString::number(major) + QLatin1Char('.') +
           QString::number(minor) + QLatin1Char('.') + QString::number(revision);
}

QString frmVersion::runningVersionText() {
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return versionText(exe, QString::fromUtf8(version::fileDescription), version::major,
                       version::minor, version::revision);
}

void frmVersion::Form_Load() {
    txtVer->setPlainText(runningVersionText());
}

void frmVersion::cmdClose_Click() {
    close();
}
