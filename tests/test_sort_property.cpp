// SortItiranFast must leave every table exactly as the exchange sort leaves it (all three arrays
// and the followed index), including among equal date-times, where that sort is unstable.

#include "store/NoticeTable.h"

#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>

namespace {

// Few distinct keys so that runs of equal date-times are common; the odd ones are texts a
// hand-edited file may hold and compare by their characters like any other.
const QStringList kKeys = {QString(),
                           QStringLiteral("2025/12/31 23:59"),
                           QStringLiteral("2026/01/05 09:05"),
                           QStringLiteral("2026/01/05 10:00"),
                           QStringLiteral("2026/1/5 9:05"),
                           QStringLiteral("2026/03/01 00:00"),
                           QStringLiteral("2027/07/07 07:07"),
                           QStringLiteral("あいう")};

NoticeTable tableOf(const QStringList &keys)
{
    NoticeTable t;
    t.lngLast = qint32(keys.size()) - 1;
    t.resizeTo(t.lngLast);
    for (qint32 i = 0; i <= t.lngLast; ++i) {
        t.arrJikoku[i] = keys.at(i);
        t.arrMes[i] = QString::number(i); // tells equal date-times apart
        t.arrTuuti[i] = QString::number(i % 2);
    }
    return t;
}

QStringList randomKeys(QRandomGenerator &rng, qint32 n, bool sorted)
{
    const qint32 distinct = 2 + qint32(rng.bounded(qint32(kKeys.size()) - 1));
    QStringList keys;
    for (qint32 i = 0; i < n; ++i)
        keys << kKeys.at(rng.bounded(distinct));
    if (sorted)
        std::sort(keys.begin(), keys.end(), [](const QString &a, const QString &b) { return a.compare(b) < 0; });
    return keys;
}

// Both sorts on copies of the table; false, with the case described, on any difference.
bool sameAsReference(const QStringList &keys, qint32 sel)
{
    NoticeTable expected = tableOf(keys), actual = tableOf(keys);
    const qint32 expectedSel = SortItiranReference(expected, sel);
    const qint32 actualSel = SortItiranFast(actual, sel);
    if (actual.arrMes == expected.arrMes && actual.arrTuuti == expected.arrTuuti && actualSel == expectedSel)
        return true;
    qWarning("keys [%s] sel %d: got %d [%s], expected %d [%s]", qPrintable(keys.join(QLatin1Char('|'))), sel,
             actualSel, qPrintable(actual.arrMes.join(QLatin1Char(' '))), expectedSel,
             qPrintable(expected.arrMes.join(QLatin1Char(' '))));
    return false;
}

} // namespace

class TestSortProperty : public QObject
{
    Q_OBJECT
private slots:
    void editorTables();
    void otherTables();
    void longTableTakesTheFastPath();
};

// What the editor leaves: a sorted table, plus one notice appended (Add) or replaced (Change),
// at every position, with every key, following it and some other line.
void TestSortProperty::editorTables()
{
    QRandomGenerator rng(23);
    for (qint32 n = 0; n <= 40; ++n) {
        for (int trial = 0; trial < 3; ++trial) {
            const QStringList base = randomKeys(rng, n, true);
            for (qint32 sel = -1; sel <= n; ++sel)
                QVERIFY(sameAsReference(base, sel));
            for (const QString &key : kKeys) {
                QVERIFY(sameAsReference(QStringList(base) << key, n));
                QVERIFY(sameAsReference(QStringList(base) << key, qint32(rng.bounded(n + 2)) - 1));
                for (qint32 p = 0; p < n; ++p) {
                    QStringList changed = base;
                    changed[p] = key;
                    QVERIFY(sameAsReference(changed, p));
                    QVERIFY(sameAsReference(changed, qint32(rng.bounded(n + 2)) - 1));
                }
            }
        }
    }
}

// Random tables, and nearly sorted ones with two or three notices out of place, which the fast
// path must not mistake for the editor's case.
void TestSortProperty::otherTables()
{
    QRandomGenerator rng(53);
    for (int trial = 0; trial < 20000; ++trial) {
        const qint32 n = qint32(rng.bounded(14));
        QVERIFY(sameAsReference(randomKeys(rng, n, false), qint32(rng.bounded(n + 2)) - 1));
    }
    for (int trial = 0; trial < 5000; ++trial) {
        const qint32 n = 2 + qint32(rng.bounded(30));
        QStringList keys = randomKeys(rng, n, true);
        for (int k = 0; k < 2 + trial % 2; ++k)
            keys[rng.bounded(n)] = kKeys.at(rng.bounded(kKeys.size()));
        QVERIFY(sameAsReference(keys, qint32(rng.bounded(n))));
    }
}

// The exchange sort would need minutes for this; an Add and a Change on a long table must not
// fall back to it.
void TestSortProperty::longTableTakesTheFastPath()
{
    const qint32 n = 100000;
    QStringList keys;
    for (qint32 i = 0; i < n; ++i)
        keys << QStringLiteral("2026/01/01 00:00%1").arg(100000 + 2 * i);
    keys << QStringLiteral("2026/01/01 00:00%1").arg(100000 + 2 * 50000 - 1);
    NoticeTable t = tableOf(keys);
    qint32 sel = SortItiranFast(t, n);
    QCOMPARE(sel, 50000);
    QCOMPARE(t.arrMes.mid(sel - 1, 3), (QStringList{"49999", "100000", "50000"}));

    t.arrJikoku[sel] = QStringLiteral("2026/01/01 00:00%1").arg(100000 + 2 * 70000 + 1);
    sel = SortItiranFast(t, sel);
    QCOMPARE(sel, 70001);
    QCOMPARE(t.arrMes.mid(sel - 1, 3), (QStringList{"70000", "100000", "70001"}));
}

QTEST_GUILESS_MAIN(TestSortProperty)
#include "test_sort_property.moc"
