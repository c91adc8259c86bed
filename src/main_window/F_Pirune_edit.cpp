#include "main_window/F_Pirune.h"

#include "base/Clock.h"
#include "base/ErrorTrap.h"
#include "base/mdl_Cmn.h"
#include "store/DateText.h"
#include "widgets/DatePicker.h"
#include "widgets/TimeField.h"

#include <QListWidget>
#include <QPlainTextEdit>
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

QString nowHHNN() {
    return Clock::now().toString(QStringLiteral("HH:mm"));
}

} // namespace

QString F_Pirune::txtSetteiMesText() const {
    QString t = txtSetteiMes->toPlainText();
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

qint32 F_Pirune::listIndex() const {
    const QList<QListWidgetItem *> sel = lstItiran->selectedItems();
    return sel.isEmpty() ? -1 : lstItiran->row(sel.first());
}

void F_Pirune::setListIndex(qint32 index) {
    {
        const QSignalBlocker block(lstItiran);
        if (index < 0 || index >= lstItiran->count()) {
            lstItiran->clearSelection();
            lstItiran->setCurrentRow(-1);
            lstItiran->viewport()->update();
            return;
        }
        lstItiran->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        lstItiran->scrollToItem(lstItiran->item(index));
        lstItiran->viewport()->update();
    }
    lstItiran_Click();
}

QString F_Pirune::editorJikoku() const {
    return DTP_YMD->Value() + QLatin1Char(' ') + normalizeTime(txt_SetteiJikoku->Text());
}

QString F_Pirune::editorMes() const {
    return Cmn_CutTab(Cmn_ConvCRLFtoMark(txtSetteiMesText()));
}

bool F_Pirune::refuseUnencodable(const QString &mes) {
    const auto bad = TextCodec::firstUnencodable(mes, m_encoding);
    if (!bad)
        return false;
    MessageSeam::okBox(QStringLiteral("メッセージの文字%1はデータファイルに保存できません。"
                                      "この文字を除くか、別の文字に置き換えてください。")
                           .arg(describeCharacter(*bad)));
    txtSetteiMes->setFocus();
    return true;
}

bool F_Pirune::Input_check() {
    bool result = false;
    ErrorTrap::run("Input_check Code:", [&] {
        const QString candidate =
            DTP_YMD->Value() + QLatin1Char(' ') + normalizeTime(txt_SetteiJikoku->Text());
        if (DateText::parse(candidate) && candidate.size() == 16) {
            result = true;
            return;
        }
        MessageSeam::okBox(QStringLiteral("hh:nnの形式で入力して下さい"));
        txt_SetteiJikoku->setFocus();
    });
    return result;
}

void F_Pirune::cmd_Add_Click() {
    ErrorTrap::run("cmd_Add_Click Code:", [&] {
        if (!Input_check())
            return;
        const QString mes = editorMes();
        if (refuseUnencodable(mes))
            return;
        fileIsCurrent(false);
        if (lngLast == std::numeric_limits<qint32>::max() - 1)
            throw RunError::overflow();
        ++lngLast;
        resizeTo(lngLast);
        arrJikoku[lngLast] = editorJikoku();
        arrMes[lngLast] = mes;
        arrTuuti[lngLast] = QStringLiteral("0");
        jikokuChanged();
        lstItiran->addItem(displayText(lngLast));
        setListIndex(lngLast);
        setListIndex(SortItiran(listIndex()));
        SetDispFromMemory();
        if (SaveDataToFile())
            applyButtonRule();
    });
}

void F_Pirune::cmd_Settei_Click() {
    ErrorTrap::run("cmd_Settei_Click Code:", [&] {
        if (listIndex() == -1) {
            MessageSeam::okBox(QStringLiteral("変更対象を選択してください"));
            return;
        }
        if (!Input_check())
            return;
        const QString mes = editorMes();
        if (refuseUnencodable(mes) || !fileIsCurrent(true))
            return;
        const qint32 sel = listIndex();
        at(arrJikoku, sel) = editorJikoku();
        at(arrMes, sel) = mes;
        jikokuChanged();
        QListWidgetItem *item = lstItiran->item(sel);
        if (!item)
            throw RunError::indexOutOfRange(QStringLiteral("lstItiran(%1)").arg(sel));
        item->setText(displayText(sel));
        at(arrTuuti, sel) = QStringLiteral("0");
        setListIndex(SortItiran(sel));
        SetDispFromMemory();
        SaveDataToFile();
    });
}

void F_Pirune::lstItiran_Click() {
    ErrorTrap::run("lstItiran_Click Code:", [&] {
        const qint32 i = listIndex();
        const QString &jikoku = at(arrJikoku, i);
        QString date = jikoku.left(10);
        QString time = jikoku.mid(11, 5);
        // A hand-edited text such as "2026/1/5 9:05" still fills the editor with what it denotes.
        if (const auto civil = DateText::parse(jikoku)) {
            const QString canonical = DateText::renderMinute(*civil);
            date = canonical.left(10);
            time = canonical.mid(11, 5);
        }
        DTP_YMD->setValue(date);
        const QString hhnn = normalizeTime(time);
        if (hhnn.size() != 5 || hhnn.at(2) != QLatin1Char(':'))
            throw RunError::controlFailure(
                QStringLiteral("txt_SetteiJikoku.Text = \"%1\"").arg(time));
        txt_SetteiJikoku->setText(hhnn);
        txtSetteiMes->setPlainText(Cmn_ConvMarktoCRLF(at(arrMes, i)));
    });
}

void F_Pirune::cmd_Del_Click() {
    ErrorTrap::run("cmd_Del_Click Code:", [&] {
        if (listIndex() == -1) {
            MessageSeam::okBox(QStringLiteral("削除対象を選択してください"));
            return;
        }
        const int reloads = m_reloads;
        if (!MessageSeam::yesNo(QStringLiteral("削除しますか？"), QStringLiteral("確認"),
                                MessageSeam::Answer::No) ||
            !fileIsCurrent(true))
            return;
        if (reloads != m_reloads) {
            tellListReloaded();
            return;
        }
        const qint32 sel = listIndex();
        if (sel < 0 || sel > lngLast)
            return;
        for (qint32 i = sel + 1; i <= lngLast; ++i) {
            at(arrJikoku, i - 1) = at(arrJikoku, i);
            at(arrMes, i - 1) = at(arrMes, i);
            at(arrTuuti, i - 1) = at(arrTuuti, i);
        }
        const qint32 next = sel == 0 ? 0 : sel - 1;
        jikokuChanged();
        {
            // Taking the last line and rewriting those after sel leaves the same lines as taking
            // line sel, without QListWidget searching for every later line on its next change.
            const QSignalBlocker block(lstItiran);
            delete lstItiran->takeItem(lstItiran->count() - 1);
            for (qint32 i = sel; i < lngLast; ++i)
                lstItiran->item(i)->setText(displayText(i));
        }
        --lngLast;
        if (lngLast == -1) {
            setListIndex(-1);
            txt_SetteiJikoku->setText(nowHHNN());
            txtSetteiMes->setPlainText(QString());
        } else {
            resizeTo(lngLast);
            setListIndex(next);
        }
        if (SaveDataToFile())
            applyButtonRule();
    });
}

void F_Pirune::cmd_Clear_Click() {
    ErrorTrap::run("cmd_Clear_Click Code:", [&] {
        txt_SetteiJikoku->setText(nowHHNN());
        txtSetteiMes->setPlainText(QString());
    });
}
