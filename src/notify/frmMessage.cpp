#include "notify/frmMessage.h"

#include "base/ErrorTrap.h"
#include "widgets/AppIcon.h"
#include "widgets/EnterButton.h"
#include "widgets/Twips.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace {
// The designed frame: outer size = client size + this.
constexpr int kFrameW = 120, kFrameH = 405;
constexpr int kMinW = 6075, kMinH = 3465;
} // namespace

frmMessage::frmMessage(QWidget *parent) : QWidget(parent, Qt::Window) {
    using namespace Twips;
    setAttribute(Qt::WA_DeleteOnClose);
    // A notice falls due while the user types elsewhere: no key meant for another window may
    // press OK before the message was seen.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("frmMessage"));
    setWindowTitle(QStringLiteral("メッセージ"));
    setWindowIcon(appIcon());
    setMinimumSize(px(kMinW - kFrameW), px(kMinH - kFrameH));

    cmdOk = new EnterButton(QStringLiteral("OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(Twips::rect(2400, 2520, 1095, 375));
    cmdOk->setDefault(true);

    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setAccessibleName(QStringLiteral("メッセージ"));
    txtMessage->setGeometry(Twips::rect(0, 0, 6015, 2415));
    txtMessage->setReadOnly(true);
    txtMessage->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = txtMessage->palette();
    pal.setColor(QPalette::Base, QColor(208, 208, 208));
    pal.setColor(QPalette::Text, Qt::black);
    txtMessage->setPalette(pal);

    setTabOrder(cmdOk, txtMessage);
    cmdOk->setFocus();
    resize(px(5955), px(3060));

    connect(cmdOk, &QPushButton::clicked, this, &frmMessage::cmdOk_Click);
    // The window opens with the focus on OK: a screen reader then reads the message with it.
    connect(txtMessage, &QPlainTextEdit::textChanged, this,
            [this] { cmdOk->setAccessibleDescription(txtMessage->toPlainText()); });
}

void frmMessage::cmdOk_Click() {
    ErrorTrap::run("cmdOk_Click Code:", [&] { close(); });
}

void frmMessage::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMessage::Form_Resize() {
    ErrorTrap::run("Form_Resize Code:", [&] {
        using namespace Twips;
        const auto [W, H, dW, dH] = outerSize(this, {kFrameW, kFrameH}, {kMinW, kMinH});
        txtMessage->setGeometry(0, 0, px(dW + 6015), px(dH + 2415));
        const int top = tw(txtMessage->y()) + tw(txtMessage->height()) + 105;
        const double left = W / 2.0 - tw(cmdOk->width()) / 2.0;
        cmdOk->move(px(left), px(top));
    });
}
