#include "main_window/NoticeEditor.h"

#include "base/Clock.h"
#include "base/ErrorBox.h"
#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "store/DateText.h"
#include "store/NoticeFile.h"
#include "widgets/DatePicker.h"
#include "widgets/TimeField.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <limits>

namespace {

// "hh:nn" of a text that reads as a time of day; any other text unchanged.
QString normalizeTime(const QString &text) {
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return text;
    const int h = m.captured(1).toInt(), n = m.captured(2).toInt();
    const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (h > 23 || n > 59 || s > 59)
        return text;
    return QStringLiteral("%1:%2").arg(h, 2, 10, QLatin1Char('0')).arg(n, 2, 10, QLatin1Char('0'));
}

QString nowHhNn() {
    return Clock::now().toString(QStringLiteral("HH:mm"));
}

QString listLineDetail(qint32 row) {
    return QString::fromUtf8(Label::listLine).arg(row);
}

} // namespace

NoticeEditor::NoticeEditor(NoticeTable &table, NoticeFile &file, QWidget *parent)
    : QWidget(parent), m_table(table), m_file(file) {
    setObjectName(QStringLiteral("noticeEditor"));
}

void NoticeEditor::ensureControls() {
    if (controlsBuilt())
        return;
    buildControls();
    for (const Notice &n : m_table.notices())
        m_list->addItem(n.listLine());
    setStartTime(m_startTime);
    showEditButtons();
    alignListHeader();
    layOut();
    m_closeButton->setFocus(); // first in the tab order: the focus when the window is first shown
}

void NoticeEditor::setStartTime(const QDateTime &now) {
    m_startTime = now;
    if (controlsBuilt()) {
        m_dateEdit->setDate(now.date());
        m_timeEdit->setText(now.toString(QStringLiteral("HH:mm")));
    }
}

void NoticeEditor::applyButtonRule() {
    m_editButtons = !m_table.isEmpty();
    showEditButtons();
}

void NoticeEditor::showEditButtons() {
    if (controlsBuilt() && m_editButtons) {
        m_changeButton->setEnabled(*m_editButtons);
        m_deleteButton->setEnabled(*m_editButtons);
    }
}

void NoticeEditor::refreshListTexts() {
    ErrorTrap::run(Label::refreshList, [&] {
        if (!controlsBuilt())
            return; // the lines are written when the list is built
        for (qint32 i = 0; i < m_table.size(); ++i) {
            QListWidgetItem *item = m_list->item(i);
            if (!item)
                throw RunError::indexOutOfRange(listLineDetail(i));
            const QString text = m_table.notices()[i].listLine();
            if (item->text() != text)
                item->setText(text);
        }
    });
}

void NoticeEditor::showReloadedTable() {
    if (!controlsBuilt())
        return;
    const std::optional<Notice> picked = pickedRow() >= 0 ? m_picked : std::nullopt;
    {
        const QSignalBlocker block(m_list);
        m_list->clear();
        for (const Notice &n : m_table.notices())
            m_list->addItem(n.listLine());
    }
    if (!picked)
        return;
    const qint32 row = rowOfNotice(m_table, *picked);
    selectRow(row);
    if (row >= 0) {
        m_picked = m_table.notices()[row];
    } else if (window()->isVisible()) {
        tellListReloaded(QStringLiteral("選択していた通知はデータファイルにありません。入力中の"
                                        "内容はそのまま残しています。"));
    }
}

qint32 NoticeEditor::pickedRow() const {
    const QList<QListWidgetItem *> sel = m_list->selectedItems();
    return sel.isEmpty() ? -1 : m_list->row(sel.first());
}

// The program's own pick: loads the line as the user's would.
void NoticeEditor::pickRow(qint32 row) {
    selectRow(row);
    if (pickedRow() >= 0)
        loadPickedNotice();
}

// Shows the line picked, or none, without loading it into the editor.
void NoticeEditor::selectRow(qint32 row) {
    const QSignalBlocker block(m_list);
    if (row < 0 || row >= m_list->count()) {
        m_list->clearSelection();
        m_list->setCurrentRow(-1);
        m_picked.reset();
    } else {
        m_list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        m_list->scrollToItem(m_list->item(row));
    }
    m_list->viewport()->update();
}

QString NoticeEditor::editorDateTime() const {
    return m_dateEdit->dateText() + QLatin1Char(' ') + normalizeTime(m_timeEdit->shownText());
}

QString NoticeEditor::editorMessage() const {
    // A multi-line text box gives each line break as CR LF.
    QString text = m_messageEdit->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return withoutTabsOrReport(lineBreaksToMarksOrReport(text));
}

bool NoticeEditor::refuseUnencodable(const QString &message) {
    const auto bad = TextCodec::firstUnencodable(message, m_file.encoding());
    if (!bad)
        return false;
    MessageSeam::okBox(QStringLiteral("メッセージの文字%1はデータファイルに保存できません。"
                                      "この文字を除くか、別の文字に置き換えてください。")
                           .arg(describeCharacter(*bad)));
    m_messageEdit->setFocus();
    return true;
}

bool NoticeEditor::checkInput() {
    bool result = false;
    ErrorTrap::run(Label::checkInput, [&] {
        const QString candidate = editorDateTime();
        if (DateText::parse(candidate) && candidate.size() == 16) {
            result = true;
            return;
        }
        MessageSeam::okBox(QStringLiteral("hh:nnの形式で入力して下さい"));
        m_timeEdit->setFocus();
    });
    return result;
}

void NoticeEditor::tellListReloaded(const QString &what) {
    MessageSeam::okBox(
        QStringLiteral("データファイルが Pirune の外で変更されたため、一覧を読み込み直し"
                       "ました。") +
        what);
}

// A file read again before the change keeps the pick on the same notice, or has said it is gone;
// the change is then made to the fresh table.
NoticeFile::Outcome
NoticeEditor::applyToPicked(const std::function<NoticeChange(const Notice &)> &make) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (pickedRow() < 0)
            return {};
        const Notice picked = std::as_const(m_table).at(pickedRow());
        const NoticeFile::Outcome out = m_file.apply(m_table, make(picked), true);
        if (!out.reloaded)
            return out;
    }
    tellListReloaded(QStringLiteral("対象をもう一度選択してください。"));
    return {};
}

void NoticeEditor::addNotice() {
    ErrorTrap::run(Label::addNotice, [&] {
        if (!checkInput())
            return;
        const QString message = editorMessage();
        if (refuseUnencodable(message))
            return;
        if (m_table.size() == std::numeric_limits<qint32>::max())
            throw RunError::overflow();
        // An outside change read first is no reason not to add: the notice joins the new list.
        const NoticeChange add{NoticeChange::Kind::Add, {}, {editorDateTime(), message, "0"}};
        const NoticeFile::Outcome out = m_file.apply(m_table, add);
        showTableChange();
        pickRow(out.row);
        if (out.saved)
            applyButtonRule();
    });
}

void NoticeEditor::changeNotice() {
    ErrorTrap::run(Label::changeNotice, [&] {
        if (pickedRow() == -1) {
            MessageSeam::okBox(QStringLiteral("変更対象を選択してください"));
            return;
        }
        if (!checkInput())
            return;
        const QString message = editorMessage();
        if (refuseUnencodable(message))
            return;
        const Notice after{editorDateTime(), message, QStringLiteral("0")};
        const NoticeFile::Outcome out = applyToPicked([&](const Notice &before) {
            return NoticeChange{NoticeChange::Kind::Replace, before, after};
        });
        if (out.row < 0)
            return;
        showTableChange();
        pickRow(out.row);
    });
}

void NoticeEditor::loadPickedNotice() {
    ErrorTrap::run(Label::pickNotice, [&] {
        const Notice &n = std::as_const(m_table).at(pickedRow());
        m_picked = n;
        QString date = n.dateTime.left(10);
        QString time = n.dateTime.mid(11, 5);
        // A hand-edited text such as "2026/1/5 9:05" still fills the editor with what it denotes.
        if (const auto civil = DateText::parse(n.dateTime)) {
            const QString canonical = DateText::renderMinute(*civil);
            date = canonical.left(10);
            time = canonical.mid(11, 5);
        }
        m_dateEdit->setDateText(date);
        const QString hhnn = normalizeTime(time);
        if (hhnn.size() != 5 || hhnn.at(2) != QLatin1Char(':'))
            throw RunError::controlFailure(QString::fromUtf8(Label::timeFieldText).arg(time));
        m_timeEdit->setText(hhnn);
        m_messageEdit->setPlainText(marksToLineBreaksOrReport(n.message));
    });
}

void NoticeEditor::deleteNotice() {
    ErrorTrap::run(Label::deleteNotice, [&] {
        if (pickedRow() == -1) {
            MessageSeam::okBox(QStringLiteral("削除対象を選択してください"));
            return;
        }
        if (!MessageSeam::yesNo(QStringLiteral("削除しますか？"), QStringLiteral("確認"),
                                MessageSeam::Answer::No))
            return;
        // The notice picked when the user said yes, wherever a reload has moved it.
        const NoticeFile::Outcome out = applyToPicked([](const Notice &before) {
            return NoticeChange{NoticeChange::Kind::Remove, before, {}};
        });
        if (out.row < 0)
            return;
        showTableChange();
        pickNextAfterRemoving(out.row);
        if (out.saved)
            applyButtonRule();
    });
}

// The list brought up to the table after a change: lines added or taken at the end, and those
// whose text changed rewritten. Taking the last line rather than the removed one spares
// QListWidget a search for every later line on its next change.
void NoticeEditor::showTableChange() {
    {
        const QSignalBlocker block(m_list);
        while (m_list->count() > m_table.size())
            delete m_list->takeItem(m_list->count() - 1);
        while (m_list->count() < m_table.size())
            m_list->addItem(m_table.notices()[m_list->count()].listLine());
    }
    refreshListTexts();
}

void NoticeEditor::pickNextAfterRemoving(qint32 row) {
    if (m_table.isEmpty()) {
        pickRow(-1);
        m_timeEdit->setText(nowHhNn());
        m_messageEdit->setPlainText(QString());
    } else {
        pickRow(row == 0 ? 0 : row - 1);
    }
}

void NoticeEditor::clearEditor() {
    ErrorTrap::run(Label::clearEditor, [&] {
        m_timeEdit->setText(nowHhNn());
        m_messageEdit->setPlainText(QString());
    });
}
