#include "main_window/F_Pirune.h"

#include "base/ErrorTrap.h"
#include "tray/TrayControl.h"
#include "widgets/AppIcon.h"
#include "widgets/DatePicker.h"
#include "widgets/EnterButton.h"
#include "widgets/FrameBox.h"
#include "widgets/TimeField.h"
#include "widgets/Twips.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <algorithm>
#include <functional>

namespace {

// The designed frame: outer size = client size + this.
constexpr int kFrameW = 90, kFrameH = 405;
constexpr int kMinW = 9225, kMinH = 5310;

QFont fixedJapaneseFont(double pointSize) {
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                   QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP")});
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPointSizeF(pointSize);
    return f;
}

// Draws each line's text from a set offset, so the header's "|" can stand above the lines' "|".
class ItiranDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    int textX = 2;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget *w = opt.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
        painter->save();
        painter->setFont(opt.font);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(opt.rect.adjusted(textX, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }
};

// A single-selection list box: the user picks another line but never clears the pick, and any way
// of picking a line (mouse, arrows, Space, Home, a typed letter) loads it through the selection
// change. A press on the line already picked counts as picking it again.
class ItiranList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> pickedAgain;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override {
        if (!index.isValid() || selectionModel()->isSelected(index))
            return QItemSelectionModel::NoUpdate;
        return QListWidget::selectionCommand(index, event);
    }

    void mousePressEvent(QMouseEvent *event) override {
        const QModelIndex at = indexAt(event->position().toPoint());
        const bool again = at.isValid() && selectionModel()->isSelected(at);
        QListWidget::mousePressEvent(event);
        if (again && pickedAgain)
            pickedAgain();
    }

    void keyPressEvent(QKeyEvent *event) override {
        QListWidget::keyPressEvent(event);
        // A move that stays on the current line (Home on the first line) picks that line, as a move
        // to any other line would.
        static const int moves[] = {Qt::Key_Up,   Qt::Key_Down, Qt::Key_Left,   Qt::Key_Right,
                                    Qt::Key_Home, Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown};
        if (std::find(std::begin(moves), std::end(moves), event->key()) != std::end(moves) &&
            currentIndex().isValid() && !selectionModel()->hasSelection())
            setCurrentIndex(currentIndex());
    }
};

QLabel *blueLabel(const QString &text, QWidget *parent) {
    auto *l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    l->setPalette(pal);
    return l;
}

QPushButton *button(const QString &name, const QString &caption, QWidget *parent) {
    auto *b = new EnterButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

void F_Pirune::setupWindow() {
    using namespace Twips;
    setObjectName(QStringLiteral("F_Pirune"));
    setWindowTitle(QStringLiteral("Pirune"));
    setWindowIcon(appIcon());
    setMinimumSize(px(kMinW - kFrameW), px(kMinH - kFrameH));
    setFont(appFont());
    resize(px(9135), px(4905));
}

void F_Pirune::buildControls() {
    using namespace Twips;
    Label1 = new QLabel(QStringLiteral("設定時刻         |設定メッセージ"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label1->setLineWidth(1);
    Label1->setMargin(0);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setFont(fixedJapaneseFont(9.75));
    Label1->setGeometry(Twips::rect(120, 120, 8775, 375));

    auto *list = new ItiranList(this);
    list->pickedAgain = [this] { lstItiran_Click(); };
    lstItiran = list;
    lstItiran->setObjectName(QStringLiteral("lstItiran"));
    lstItiran->setSelectionMode(QAbstractItemView::SingleSelection);
    lstItiran->setUniformItemSizes(true);
    lstItiran->setFont(fixedJapaneseFont(9.75));
    lstItiran->setItemDelegate(new ItiranDelegate(lstItiran));
    lstItiran->setGeometry(Twips::rect(120, 360, 8775, 2010));
    lstItiran->raise(); // the list covers the lower part of its header
    // The header's run of blanks only lines up the "|" on screen.
    lstItiran->setAccessibleName(QStringLiteral("設定時刻 | 設定メッセージ"));
    Label1->setBuddy(lstItiran);

    fra1 = new FrameBox(QStringLiteral("Pirune設定"), this);
    fra1->setObjectName(QStringLiteral("fra1"));
    fra1->setGeometry(Twips::rect(120, 2520, 8775, 1815));

    Label2_0 = blueLabel(QStringLiteral("設定時刻："), fra1);
    Label2_0->setObjectName(QStringLiteral("Label2_0"));
    Label2_0->setGeometry(Twips::rect(240, 240, 855, 255));

    DTP_YMD = new DatePicker(fra1);
    DTP_YMD->setObjectName(QStringLiteral("DTP_YMD"));
    DTP_YMD->setFont(fixedJapaneseFont(9));
    DTP_YMD->setGeometry(Twips::rect(1560, 240, 1335, 375));

    txt_SetteiJikoku = new TimeField(fra1);
    txt_SetteiJikoku->setObjectName(QStringLiteral("txt_SetteiJikoku"));
    txt_SetteiJikoku->setFont(fixedJapaneseFont(9));
    txt_SetteiJikoku->setGeometry(Twips::rect(2880, 240, 615, 375));

    Label2_3 = blueLabel(QStringLiteral("設定メッセージ："), fra1);
    Label2_3->setObjectName(QStringLiteral("Label2_3"));
    Label2_3->setGeometry(Twips::rect(240, 600, 1335, 255));

    txtSetteiMes = new QPlainTextEdit(fra1);
    txtSetteiMes->setObjectName(QStringLiteral("txtSetteiMes"));
    txtSetteiMes->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtSetteiMes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtSetteiMes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtSetteiMes->setTabChangesFocus(true);
    txtSetteiMes->setGeometry(Twips::rect(1560, 600, 6015, 615));

    // Without these a screen reader names every field after the group box. The date and the time
    // share one label, so each gets a name of its own that holds it.
    DTP_YMD->setAccessibleName(QStringLiteral("設定時刻：日付"));
    txt_SetteiJikoku->setAccessibleName(QStringLiteral("設定時刻：時刻"));
    Label2_3->setBuddy(txtSetteiMes);

    cmd_Add = button(QStringLiteral("cmd_Add"), QStringLiteral("追加"), fra1);
    cmd_Add->setGeometry(Twips::rect(120, 1320, 975, 375));
    cmd_Settei = button(QStringLiteral("cmd_Settei"), QStringLiteral("変更"), fra1);
    cmd_Settei->setGeometry(Twips::rect(1200, 1320, 975, 375));
    cmd_Del = button(QStringLiteral("cmd_Del"), QStringLiteral("削除"), fra1);
    cmd_Del->setGeometry(Twips::rect(2280, 1320, 975, 375));
    cmd_Clear = button(QStringLiteral("cmd_Clear"), QStringLiteral("クリア"), fra1);
    cmd_Clear->setGeometry(Twips::rect(3360, 1320, 975, 375));

    cmdEnd = button(QStringLiteral("cmdEnd"), QStringLiteral("閉じる"), this);
    cmdEnd->setGeometry(Twips::rect(8040, 4440, 975, 375));

    QWidget *order[] = {cmdEnd,  txt_SetteiJikoku, txtSetteiMes, cmd_Add, cmd_Settei,
                        cmd_Del, cmd_Clear,        lstItiran,    DTP_YMD};
    for (size_t k = 0; k + 1 < std::size(order); ++k)
        setTabOrder(order[k], order[k + 1]);

    connect(cmd_Add, &QPushButton::clicked, this, &F_Pirune::cmd_Add_Click);
    connect(cmd_Settei, &QPushButton::clicked, this, &F_Pirune::cmd_Settei_Click);
    connect(cmd_Del, &QPushButton::clicked, this, &F_Pirune::cmd_Del_Click);
    connect(cmd_Clear, &QPushButton::clicked, this, &F_Pirune::cmd_Clear_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &F_Pirune::cmdEnd_Click);
    // The user's selection; the program's own selections block this signal and call the handler
    // themselves. The current row is no selection: it moves alone when the list gets the focus, and
    // on a mouse press before the selection does.
    connect(lstItiran, &QListWidget::itemSelectionChanged, this, [this] {
        if (listIndex() >= 0)
            lstItiran_Click();
    });
}

void F_Pirune::alignListHeader() {
    auto *delegate = static_cast<ItiranDelegate *>(lstItiran->itemDelegate());
    const QFontMetrics fm(lstItiran->font());
    const int headerW = fm.horizontalAdvance(QStringLiteral("設定時刻         "));
    const int lineW = fm.horizontalAdvance(QStringLiteral("0000/00/00 00:00"));
    int indent = 2;
    const int listOrigin = lstItiran->x() + lstItiran->frameWidth();
    int textX = Label1->x() + Label1->frameWidth() + indent + headerW - lineW - listOrigin;
    if (textX < 2) {
        indent += 2 - textX;
        textX = 2;
    }
    Label1->setIndent(indent);
    delegate->textX = textX;
}

void F_Pirune::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void F_Pirune::Form_Resize() {
    if (!controlsBuilt())
        return;
    ErrorTrap::run("Form_Resize Code:", [&] {
        using namespace Twips;
        const auto [W, H, dW, dH] = outerSize(this, {kFrameW, kFrameH}, {kMinW, kMinH});
        Label1->resize(px(8775 + dW), px(375));
        lstItiran->resize(px(8775 + dW), px(2010));
        fra1->move(fra1->x(), px(tw(lstItiran->y()) + tw(lstItiran->height()) + 150));
        fra1->resize(px(8775 + dW), px(1815 + dH));
        cmdEnd->move(px(tw(fra1->x()) + tw(fra1->width()) - 855),
                     px(tw(fra1->y()) + tw(fra1->height()) + 105));
        txtSetteiMes->resize(px(6015 + dW), px(615 + dH));
        const int buttonsTop = tw(txtSetteiMes->y()) + tw(txtSetteiMes->height()) + 105;
        const int mesLeft = tw(txtSetteiMes->x());
        cmd_Add->move(px(mesLeft - 1440), px(buttonsTop));
        cmd_Settei->move(px(mesLeft - 360), px(buttonsTop));
        cmd_Del->move(px(mesLeft + 720), px(buttonsTop));
        cmd_Clear->move(px(mesLeft + 3360 - 1560), px(buttonsTop));
    });
}
