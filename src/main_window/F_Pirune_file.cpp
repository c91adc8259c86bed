#include "main_window/F_Pirune.h"

#include "base/ErrorTrap.h"
#include "base/mdl_Cmn.h"
#include "notify/DueCheck.h"
#include "notify/Scheduler.h"
#include "store/DataFileWatch.h"

#include <QListWidget>
#include <QTimer>
#include <utility>

QStringList F_Pirune::listLines() const {
    QStringList lines;
    for (qint32 i = 0; i <= lngLast; ++i)
        lines << displayText(i);
    return lines;
}

// Reads the Data file into t, and remembers which file that was unless it changed meanwhile.
QList<DataFile::LoadIssue> F_Pirune::readDataFile(NoticeTable &t, FileEncoding &enc) {
    const std::optional<FileStamp> before = FileStamp::of(dataFilePath());
    // A file that cannot be read is tried again only once it has changed.
    m_fileWatch->remember(before);
    QList<DataFile::LoadIssue> issues = DataFile::load(DataFile::readAll(dataFilePath()), t, enc);
    m_fileWatch->remember(m_fileWatch->stampUnchangedSince(before));
    return issues;
}

void F_Pirune::reportLoadIssues(const QList<DataFile::LoadIssue> &issues) {
    for (const DataFile::LoadIssue &issue : issues)
        Cmn_ReportError(QStringLiteral("Split"), issue.error);
}

bool F_Pirune::SaveDataToFile() {
    const std::optional<RunError> failure = ErrorTrap::capture([&] {
        const QString path = dataFilePath();
        if (m_loadFailed)
            throw RunError::refusedUnloadedFile(path);
        DataFile::writeAtomically(path, DataFile::serialize(*this, m_encoding));
        m_fileWatch->remember(FileStamp::of(path));
    });
    m_behind = failure.has_value();
    if (!failure) {
        ++m_saves;
        m_saveFailureShown = false;
        return true;
    }
    // The save is tried again at every change and every minute: one box per streak of failures.
    if (!std::exchange(m_saveFailureShown, true))
        ErrorTrap::run("SaveDataToFile Code:", [&] { throw *failure; });
    return false;
}

void F_Pirune::fileChangedOutside() {
    // Reading now would change the lines under an open box; what saves meanwhile reads it first.
    if (MessageSeam::openBoxes() > 0) {
        QTimer::singleShot(500, this, [this] {
            if (!m_fileWatch->isCurrent())
                fileChangedOutside();
        });
        return;
    }
    ReloadDataFile();
}

void F_Pirune::ReloadDataFile() {
    ErrorTrap::run("ReloadDataFile Code:", [&] {
        // While the table holds changes a failed save could not write, they must not be read away;
        // the next save writes them.
        if (m_behind)
            return;
        NoticeTable fresh;
        FileEncoding enc;
        m_loadFailed = true;
        const QList<DataFile::LoadIssue> issues = readDataFile(fresh, enc);
        static_cast<NoticeTable &>(*this) = std::move(fresh);
        m_encoding = enc;
        m_loadFailed = false;
        ++m_reloads;
        if (controlsBuilt()) {
            const QSignalBlocker block(lstItiran);
            lstItiran->clear();
            lstItiran->addItems(listLines());
        }
        reportLoadIssues(issues);
        applyButtonRule();
        // A notice added by hand whose time has passed is offered now, as at start-up.
        m_scheduler->queueMissedCheck();
    });
}

// Before a change is made: a Data file someone else changed is read first, so the change applies
// to what is in it. A change of a picked line is not made then, as the line may have moved.
bool F_Pirune::fileIsCurrent(bool refersToLine) {
    if (m_behind || m_fileWatch->isCurrent())
        return true;
    const int reloads = m_reloads;
    ReloadDataFile();
    if (!refersToLine || reloads == m_reloads)
        return true;
    tellListReloaded();
    return false;
}

void F_Pirune::tellListReloaded() {
    MessageSeam::okBox(
        QStringLiteral("データファイルが Pirune の外で変更されたため、一覧を読み込み直し"
                       "ました。対象をもう一度選択してください。"));
}

// At exit with changes a save could not write: which they are, before they are lost.
void F_Pirune::reportUnsavedChanges() {
    ErrorTrap::run("SaveDataToFile Code:", [&] {
        NoticeTable onDisk;
        FileEncoding enc;
        if (!m_loadFailed) {
            ErrorTrap::capture(
                [&] { DataFile::load(DataFile::readAll(dataFilePath()), onDisk, enc); });
        }
        const auto rows = [](const NoticeTable &t) {
            QStringList out;
            for (qint32 i = 0; i <= t.lngLast; ++i)
                out << t.arrJikoku.at(i) + QLatin1Char(' ') + t.arrMes.at(i) +
                           (t.isPending(i) ? QString() : QStringLiteral(" (表示済み)"));
            return out;
        };
        const QStringList mine = rows(*this), theirs = rows(onDisk);
        QString text =
            QStringLiteral("次の変更はデータファイルに保存されていないため、失われます。");
        for (const QString &row : mine) {
            if (!theirs.contains(row))
                text += QStringLiteral("\r\n追加・変更: ") + row;
        }
        for (const QString &row : theirs) {
            if (!mine.contains(row))
                text += QStringLiteral("\r\n削除: ") + row;
        }
        MessageSeam::okBox(text);
    });
}
