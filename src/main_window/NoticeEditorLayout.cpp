#include "main_window/NoticeEditor.h"

#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "widgets/AppIcon.h"
#include "widgets/DatePicker.h"
#include "widgets/EnterButton.h"
#include "widgets/FrameBox.h"
#include "widgets/TimeField.h"
#include "widgets/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace {

// The main window's designed frame (outer size = client size + this) and minimum outer size.
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
class ListLineDelegate : public QStyledItemDelegate {
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
class NoticeList : public QListWidget {
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

    // Qt tells of the current line (with nothing picked the first, current but not picked: a pick
    // would overwrite the editor) before it tells of the list taking the focus. Told again after,
    // it is the line a screen reader speaks, the one Down goes on from.
    void focusInEvent(QFocusEvent *event) override {
        QListWidget::focusInEvent(event);
        if (event->reason() == Qt::MouseFocusReason)
            return; // the press picks a line, and that is told
        QTimer::singleShot(0, this, [this] {
            if (!hasFocus() || !currentIndex().isValid())
                return;
            QAccessibleEvent line(this, QAccessible::Focus);
            line.setChild(currentRow()); // a line of a list without hidden lines
            QAccessible::updateAccessibility(&line);
        });
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

void NoticeEditor::buildControls() {
    using namespace Twips;
    m_listHeader = new QLabel(QStringLiteral("設定時刻         |設定メッセージ"), this);
    m_listHeader->setObjectName(QStringLiteral("listHeader"));
    m_listHeader->setTextFormat(Qt::PlainText);
    m_listHeader->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_listHeader->setLineWidth(1);
    m_listHeader->setMargin(0);
    m_listHeader->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_listHeader->setFont(fixedJapaneseFont(9.75));
    m_listHeader->setGeometry(Twips::rect(120, 120, 8775, 375));

    auto *list = new NoticeList(this); // made after its header, it covers the header's lower part
    list->pickedAgain = [this] { loadPickedNotice(); };
    m_list = list;
    m_list->setObjectName(QStringLiteral("noticeList"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setUniformItemSizes(true);
    m_list->setFont(fixedJapaneseFont(9.75));
    m_list->setItemDelegate(new ListLineDelegate(m_list));
    m_list->setGeometry(Twips::rect(120, 360, 8775, 2010));
    // The header's run of blanks only lines up the "|" on screen.
    m_list->setAccessibleName(QStringLiteral("設定時刻 | 設定メッセージ"));
    m_listHeader->setBuddy(m_list);

    buildEditorFrame();

    m_closeButton = button(QStringLiteral("closeButton"), QStringLiteral("閉じる"), this);
    m_closeButton->setGeometry(Twips::rect(8040, 4440, 975, 375));

    QWidget *order[] = {m_closeButton,  m_timeEdit,    m_messageEdit, m_addButton, m_changeButton,
                        m_deleteButton, m_clearButton, m_list,        m_dateEdit};
    for (size_t k = 0; k + 1 < std::size(order); ++k)
        setTabOrder(order[k], order[k + 1]);
    connectControls();
}

void NoticeEditor::buildEditorFrame() {
    using namespace Twips;
    m_frame = new FrameBox(QStringLiteral("Pirune設定"), this);
    m_frame->setObjectName(QStringLiteral("editorFrame"));
    m_frame->setGeometry(Twips::rect(120, 2520, 8775, 1815));

    m_timeLabel = blueLabel(QStringLiteral("設定時刻："), m_frame);
    m_timeLabel->setObjectName(QStringLiteral("timeLabel"));
    m_timeLabel->setGeometry(Twips::rect(240, 240, 855, 255));

    m_dateEdit = new DatePicker(m_frame);
    m_dateEdit->setObjectName(QStringLiteral("dateEdit"));
    m_dateEdit->setFont(fixedJapaneseFont(9));
    m_dateEdit->setGeometry(Twips::rect(1560, 240, 1335, 375));

    m_timeEdit = new TimeField(m_frame);
    m_timeEdit->setObjectName(QStringLiteral("timeEdit"));
    m_timeEdit->setFont(fixedJapaneseFont(9));
    m_timeEdit->setGeometry(Twips::rect(2880, 240, 615, 375));

    m_messageLabel = blueLabel(QStringLiteral("設定メッセージ："), m_frame);
    m_messageLabel->setObjectName(QStringLiteral("messageLabel"));
    m_messageLabel->setGeometry(Twips::rect(240, 600, 1335, 255));

    m_messageEdit = new QPlainTextEdit(m_frame);
    m_messageEdit->setObjectName(QStringLiteral("messageEdit"));
    m_messageEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_messageEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_messageEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_messageEdit->setTabChangesFocus(true);
    m_messageEdit->setGeometry(Twips::rect(1560, 600, 6015, 615));

    // Without these a screen reader names every field after the group box. The date and the time
    // share one label, so each gets a name of its own that holds it.
    m_dateEdit->setAccessibleName(QStringLiteral("設定時刻：日付"));
    m_timeEdit->setAccessibleName(QStringLiteral("設定時刻：時刻"));
    m_messageLabel->setBuddy(m_messageEdit);

    m_addButton = button(QStringLiteral("addButton"), QStringLiteral("追加"), m_frame);
    m_addButton->setGeometry(Twips::rect(120, 1320, 975, 375));
    m_changeButton = button(QStringLiteral("changeButton"), QStringLiteral("変更"), m_frame);
    m_changeButton->setGeometry(Twips::rect(1200, 1320, 975, 375));
    m_deleteButton = button(QStringLiteral("deleteButton"), QStringLiteral("削除"), m_frame);
    m_deleteButton->setGeometry(Twips::rect(2280, 1320, 975, 375));
    m_clearButton = button(QStringLiteral("clearButton"), QStringLiteral("クリア"), m_frame);
    m_clearButton->setGeometry(Twips::rect(3360, 1320, 975, 375));
}

void NoticeEditor::connectControls() {
    connect(m_addButton, &QPushButton::clicked, this, &NoticeEditor::addNotice);
    connect(m_changeButton, &QPushButton::clicked, this, &NoticeEditor::changeNotice);
    connect(m_deleteButton, &QPushButton::clicked, this, &NoticeEditor::deleteNotice);
    connect(m_clearButton, &QPushButton::clicked, this, &NoticeEditor::clearEditor);
    connect(m_closeButton, &QPushButton::clicked, this, &NoticeEditor::closeClicked);
    // The user's selection; the program's own selections block this signal and load the line
    // themselves. The current row is no selection: it moves alone when the list gets the focus,
    // and on a mouse press before the selection does.
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        if (pickedRow() >= 0)
            loadPickedNotice();
    });
}

void NoticeEditor::alignListHeader() {
    auto *delegate = static_cast<ListLineDelegate *>(m_list->itemDelegate());
    const QFontMetrics fm(m_list->font());
    const int headerW = fm.horizontalAdvance(QStringLiteral("設定時刻         "));
    const int lineW = fm.horizontalAdvance(QStringLiteral("0000/00/00 00:00"));
    int indent = 2;
    const int listOrigin = m_list->x() + m_list->frameWidth();
    int textX =
        m_listHeader->x() + m_listHeader->frameWidth() + indent + headerW - lineW - listOrigin;
    if (textX < 2) {
        indent += 2 - textX;
        textX = 2;
    }
    m_listHeader->setIndent(indent);
    delegate->textX = textX;
}

void NoticeEditor::layOut() {
    if (!controlsBuilt())
        return;
    ErrorTrap::run(Label::mainResize, [&] {
        using namespace Twips;
        const auto [W, H, dW, dH] = grownToMinimum(window(), {kFrameW, kFrameH}, {kMinW, kMinH});
        setGeometry(0, 0, window()->width(), window()->height());
        m_listHeader->resize(px(8775 + dW), px(375));
        m_list->resize(px(8775 + dW), px(2010));
        m_frame->resize(px(8775 + dW), px(1815 + dH));
        m_closeButton->move(px(tw(m_frame->x()) + tw(m_frame->width()) - 855),
                            px(tw(m_frame->y()) + tw(m_frame->height()) + 105));
        m_messageEdit->resize(px(6015 + dW), px(615 + dH));
        const int buttonsTop = tw(m_messageEdit->y()) + tw(m_messageEdit->height()) + 105;
        const int messageLeft = tw(m_messageEdit->x());
        m_addButton->move(px(messageLeft - 1440), px(buttonsTop));
        m_changeButton->move(px(messageLeft - 360), px(buttonsTop));
        m_deleteButton->move(px(messageLeft + 720), px(buttonsTop));
        m_clearButton->move(px(messageLeft + 3360 - 1560), px(buttonsTop));
    });
}

// The main window's own size, title, icon and font, and its minimum for the layout above.
void setUpMainWindow(QWidget *window) {
    using namespace Twips;
    window->setWindowTitle(QStringLiteral("Pirune"));
    window->setWindowIcon(appIcon());
    window->setMinimumSize(px(kMinW - kFrameW), px(kMinH - kFrameH));
    window->setFont(appFont());
    window->resize(px(9135), px(4905));
}
