#include "notify/MessageWindow.h"

#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "widgets/AppIcon.h"
#include "widgets/EnterButton.h"
#include "widgets/KeyGuard.h"
#include "widgets/Twips.h"

#include <QAccessibleWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
// The designed frame: outer size = client size + this.
constexpr int kFrameW = 120, kFrameH = 405;
constexpr int kMinW = 6075, kMinH = 3465;

// Qt's AT-SPI bridge drops QAccessible::Alert, but tells of a notification's showing, which Orca
// speaks with its name and description wherever the focus is.
QAccessibleInterface *asNotification(const QString &, QObject *object) {
    if (auto *window = qobject_cast<MessageWindow *>(object))
        return new QAccessibleWidget(window, QAccessible::Notification);
    return nullptr;
}
} // namespace

MessageWindow::MessageWindow(QWidget *parent) : QWidget(parent, Qt::Window) {
    using namespace Twips;
    QAccessible::installFactory(asNotification); // Qt adds a factory only once
    setAttribute(Qt::WA_DeleteOnClose);
    // A notice falls due while the user types elsewhere: no key meant for another window may
    // press OK before the message was seen.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Wayland and some window managers focus it all the same.
    KeyGuard::guard(this);
    setObjectName(QStringLiteral("MessageWindow"));
    setWindowTitle(QStringLiteral("メッセージ"));
    setWindowIcon(appIcon());
    setMinimumSize(px(kMinW - kFrameW), px(kMinH - kFrameH));

    m_ok = new EnterButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setGeometry(Twips::rect(2400, 2520, 1095, 375));
    m_ok->setDefault(true);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("messageText"));
    m_text->setAccessibleName(QStringLiteral("メッセージ"));
    m_text->setGeometry(Twips::rect(0, 0, 6015, 2415));
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = m_text->palette();
    pal.setColor(QPalette::Base, QColor(208, 208, 208));
    pal.setColor(QPalette::Text, Qt::black);
    m_text->setPalette(pal);

    setTabOrder(m_ok, m_text);
    m_ok->setFocus();
    resize(px(5955), px(3060));

    connect(m_ok, &QPushButton::clicked, this,
            [this] { ErrorTrap::run(Label::messageOk, [&] { close(); }); });
    // The window opens with the focus on OK: a screen reader then reads the message with it.
    connect(m_text, &QPlainTextEdit::textChanged, this,
            [this] { m_ok->setAccessibleDescription(m_text->toPlainText()); });
}

MessageWindow *MessageWindow::open(const QString &text, const QString &title) {
    auto *w = new MessageWindow();
    w->setWindowTitle(title.isEmpty() ? QStringLiteral("メッセージ") : title);
    w->m_text->setPlainText(text);
    // What a screen reader says as the window shows: set before show().
    w->setAccessibleDescription(text);
    w->show();
    w->raise();
    return w;
}

QString MessageWindow::message() const {
    return m_text->toPlainText();
}

void MessageWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    layOut();
}

void MessageWindow::layOut() {
    ErrorTrap::run(Label::messageResize, [&] {
        using namespace Twips;
        const auto [W, H, dW, dH] = grownToMinimum(this, {kFrameW, kFrameH}, {kMinW, kMinH});
        m_text->setGeometry(0, 0, px(dW + 6015), px(dH + 2415));
        const int top = tw(m_text->y()) + tw(m_text->height()) + 105;
        const double left = W / 2.0 - tw(m_ok->width()) / 2.0;
        m_ok->move(px(left), px(top));
    });
}
