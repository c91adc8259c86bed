#include "widgets/WidgetMessageBox.h"

#include "widgets/KeyGuard.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {
QPointer<QWidget> g_owner;
}

MessageSeam::Answer execWidgetMessageBox(const MessageSeam::Box &box) {
    using namespace MessageSeam;
    QMessageBox mb(g_owner);
    if (g_owner)
        mb.setWindowModality(Qt::WindowModal);
    mb.setObjectName(QStringLiteral("PiruneMessageBox"));
    mb.setWindowTitle(box.title);
    mb.setTextFormat(Qt::PlainText);
    QString text = box.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    mb.setText(text);
    if (box.guardKeys)
        KeyGuard::guard(&mb);
    mb.setIcon(box.icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon);
    QPushButton *ok = nullptr, *yes = nullptr, *no = nullptr;
    if (box.buttons == Buttons::Ok) {
        ok = mb.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        mb.setDefaultButton(ok);
        mb.setEscapeButton(ok);
    } else {
        yes = mb.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        no = mb.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        mb.setDefaultButton(box.defaultAnswer == Answer::Yes ? yes : no);
        mb.setEscapeButton(no);
    }
    if (box.foreground) {
        mb.setWindowFlag(Qt::WindowStaysOnTopHint);
        mb.show();
        mb.raise();
        mb.activateWindow();
    }
    mb.exec();
    if (box.buttons == Buttons::Ok)
        return Answer::Ok;
    return mb.clickedButton() == yes ? Answer::Yes : Answer::No;
}

void installWidgetMessageBoxes(QWidget *owner) {
    g_owner = owner;
    MessageSeam::setHandler(&execWidgetMessageBox);
}
