#include "core/settings.h"
#include "download/readlist.h"
#include "ui/filegrid.h"
#include "ui/filegridmodel.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTableView>
#include <QtTest>

#include <utility>

namespace {
const QString ProgramLayout =
    QStringLiteral("||\u3000|<2099年08月22日 競走馬＋出馬表 日別全場一括 前売分|<CC991224.LZH |<2000/12/31 24:00 ");

// The handled time of a key: a date where it reads as one, else the text.
QVariant handledOf(const QString &key)
{
    const QDateTime dt = QDateTime::fromString(key, QStringLiteral("yyyy/MM/dd hh:mm:ss"));
    return dt.isValid() ? QVariant(dt) : QVariant(key);
}

// A read list shown in a grid with the program's six columns.
struct Shown {
    ReadList list;
    FileGridModel model{list};
    FileGrid grid{&model};
    Shown() { grid.setLayoutText(ProgramLayout); }
    // Records handled at `keys` (in this order), files F1.LZH, F2.LZH, ...
    void fill(const QStringList &keys, const QDateTime &newAfter = QDateTime(QDate(9999, 1, 1), QTime()))
    {
        list = ReadList();
        for (int i = 0; i < keys.size(); ++i)
            list.PutReadEntry(handledOf(keys[i]), QVariant(), QStringLiteral("F%1.LZH").arg(i + 1),
                              QStringLiteral("u%1").arg(i + 1), keys[i] + QStringLiteral(" desc"));
        model.rebuild(newAfter);
    }
};
} // namespace

class TestFileGrid : public QObject
{
    Q_OBJECT

private slots:
    void modelStaysConsistent();
    void layoutText_data();
    void layoutText();
    void zeroWidthHidesButKeepsText();
    void rowsLatestFirst_data();
    void rowsLatestFirst();
    void presenceMark();
    void selectionInRowOrder();
    void extendSelection_data();
    void extendSelection();
    void rightClickKeepsSelection();
    void refillReportsLostSelection();
    void fitWidthsFindsWidestText();
    void largeList();
};

// Every kind of change, checked by Qt's tester.
void TestFileGrid::modelStaysConsistent()
{
    Shown s;
    QAbstractItemModelTester tester(&s.model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    s.fill({QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("c")});
    const int added = s.list.PutReadEntry(QStringLiteral("d"), QVariant(), "-", "new", QString());
    QCOMPARE(s.model.stored(added), 1);
    QCOMPARE(s.model.stored(s.list.PutReadEntry(QStringLiteral("0"), QVariant(), "-", "U1", QString())), 4);
    QCOMPARE(s.model.stored(s.list.PutReadEntry(QStringLiteral("z"), QVariant(), "-", "u1", QString())), 1);
    s.model.presenceChanged();
    s.fill({});
    QCOMPARE(s.model.rowCount(), 0);
    QCOMPARE(s.model.columnCount(), 6);
}

void TestFileGrid::layoutText_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QList<int>>("alignments"); // Qt::Alignment horizontal bits per column
    QTest::newRow("program") << ProgramLayout << 6 << QList<int>{0, 0, 0, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft};
    QTest::newRow("right and centre") << QStringLiteral(">12|^x|y") << 3
                                      << QList<int>{Qt::AlignRight, Qt::AlignHCenter, 0};
}

void TestFileGrid::layoutText()
{
    QFETCH(QString, layout);
    QFETCH(int, columns);
    QFETCH(QList<int>, alignments);
    Shown shown;
    FileGrid &grid = shown.grid;
    grid.setLayoutText(layout);
    QCOMPARE(grid.columnCount(), 6);
    const QStringList samples = layout.split(QLatin1Char('|'));
    for (int c = 0; c < columns; ++c) {
        QCOMPARE(static_cast<int>(grid.model()->columnAlignment(c) & Qt::AlignHorizontal_Mask), alignments[c]);
        QString sample = samples[c];
        if (alignments[c])
            sample.remove(0, 1);
        if (!sample.isEmpty())
            QVERIFY2(grid.columnWidth(c) >= grid.view()->fontMetrics().horizontalAdvance(sample),
                     qPrintable(QStringLiteral("column %1 narrower than its sample").arg(c)));
        QVERIFY(grid.columnWidth(c) > 0);
        // The sample only sizes the column; the heading stays empty.
        QCOMPARE(grid.cellText(0, c), QString());
    }
}

void TestFileGrid::zeroWidthHidesButKeepsText()
{
    Shown s;
    s.fill({QStringLiteral("k1"), QStringLiteral("k2")});
    s.grid.setColumnWidth(0, 0);
    s.grid.setColumnWidth(1, 0);
    QVERIFY(s.grid.view()->horizontalHeader()->isSectionHidden(0));
    QVERIFY(s.grid.view()->horizontalHeader()->isSectionHidden(1));
    QCOMPARE(s.grid.cellText(2, 0), QStringLiteral("k1"));

    // A rebuild resets the view's sections: the columns must stay hidden.
    s.fill({QStringLiteral("k3"), QStringLiteral("k4"), QStringLiteral("k5")});
    QVERIFY(s.grid.view()->horizontalHeader()->isSectionHidden(0));
    QVERIFY(!s.grid.view()->horizontalHeader()->isSectionHidden(3));
    QCOMPARE(s.grid.columnWidth(0), 0);

    s.grid.setColumnWidth(0, 40);
    QVERIFY(!s.grid.view()->horizontalHeader()->isSectionHidden(0));
    QCOMPARE(s.grid.view()->horizontalHeader()->sectionSize(0), 40);
}

void TestFileGrid::rowsLatestFirst_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("dates") << QStringList{"1999/12/31 10:00:00", "2001/01/01 00:00:00", "2000/06/01 12:00:00"}
                           << QStringList{"2001/01/01 00:00:00", "2000/06/01 12:00:00", "1999/12/31 10:00:00"};
    QTest::newRow("grown in order") << QStringList{"a", "b", "c"} << QStringList{"c", "b", "a"};
    QTest::newRow("one row") << QStringList{"x"} << QStringList{"x"};
    QTest::newRow("case counts") << QStringList{"a", "B", "b"} << QStringList{"b", "a", "B"};
    QTest::newRow("dates and texts") << QStringList{"2000/01/01 00:00:00", "2000/01/01 1", "1999"}
                                     << QStringList{"2000/01/01 1", "2000/01/01 00:00:00", "1999"};
}

void TestFileGrid::rowsLatestFirst()
{
    QFETCH(QStringList, keys);
    QFETCH(QStringList, sorted);
    Shown s;
    s.model.setHeading(3, QStringLiteral("ﾃﾞｰﾀ内容"), Qt::AlignCenter);
    s.fill(keys, QDateTime(QDate(2000, 12, 31), QTime()));
    QCOMPARE(s.grid.cellText(0, 3), QStringLiteral("ﾃﾞｰﾀ内容"));
    QCOMPARE(s.grid.cellText(0, 0), QString());
    for (int r = 1; r <= sorted.size(); ++r) {
        QCOMPARE(s.grid.cellText(r, 0), sorted[r - 1]);
        QCOMPARE(s.grid.cellText(r, 3), sorted[r - 1] + QStringLiteral(" desc"));
        QCOMPARE(s.grid.cellBold(r, 3), sorted[r - 1].startsWith(QStringLiteral("2001")));
    }
}

void TestFileGrid::presenceMark()
{
    Shown s;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    s.model.setPictures(QIcon(), QIcon(pixmap));
    s.fill({QStringLiteral("a"), QStringLiteral("b")});
    QTemporaryDir folder; // F1.LZH is saved
    QFile file(folder.filePath(QStringLiteral("F1.LZH")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QString saved = std::exchange(Settings.SaveFolder[0], folder.path());
    s.list.refreshPresence();
    Settings.SaveFolder[0] = saved;
    s.model.presenceChanged();
    QCOMPARE(s.grid.cellText(2, 2), QStringLiteral(" "));
    QVERIFY(!s.grid.cellPicture(2, 2).isNull());
    QCOMPARE(s.grid.cellText(1, 2), QString());
    QVERIFY(s.grid.cellPicture(1, 2).isNull());
    // Painting a picture cell must not trip over anything.
    s.grid.resize(400, 200);
    s.grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.grid));
    s.grid.grab();
}

void TestFileGrid::selectionInRowOrder()
{
    Shown s;
    FileGrid &grid = s.grid;
    s.fill(QStringList(10, QStringLiteral("k")));
    for (const int row : {5, 2, 9})
        grid.setRowSelected(row, true);
    grid.setRowSelected(0, true); // the heading row is never a selected row
    QCOMPARE(grid.selectedRowCount(), 3);
    QCOMPARE(grid.selectedRow(0), 2);
    QCOMPARE(grid.selectedRow(1), 5);
    QCOMPARE(grid.selectedRow(2), 9);
    QCOMPARE(grid.selectedRow(3), -1);
    grid.setRowSelected(5, false);
    QCOMPARE(grid.selectedRows(), (QList<int>{2, 9}));
    grid.clearSelection();
    QCOMPARE(grid.selectedRowCount(), 0);
}

void TestFileGrid::extendSelection_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("selected");
    QTest::newRow("select all") << 1 << 6 << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("upwards") << 5 << 3 << QList<int>{3, 4, 5};
    QTest::newRow("single") << 4 << 4 << QList<int>{4};
    QTest::newRow("beyond the end") << 5 << 99 << QList<int>{5, 6};
}

void TestFileGrid::extendSelection()
{
    QFETCH(int, current);
    QFETCH(int, to);
    QFETCH(QList<int>, selected);
    Shown s;
    FileGrid &grid = s.grid;
    s.fill(QStringList(6, QStringLiteral("k")));
    grid.setRowSelected(1, true); // replaced, not kept
    grid.setCurrentRow(current);
    QSignalSpy changed(&grid, &FileGrid::selChange);
    grid.extendSelection(to);
    QCOMPARE(grid.selectedRows(), selected);
    QCOMPARE(grid.currentRow(), current);
    QVERIFY(!changed.isEmpty());
}

void TestFileGrid::rightClickKeepsSelection()
{
    Shown s;
    FileGrid &grid = s.grid;
    s.fill(QStringList(4, QStringLiteral("k")));
    grid.resize(500, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.setRowSelected(1, true);
    QSignalSpy up(&grid, &FileGrid::mouseUp);
    QWidget *viewport = grid.view()->viewport();
    const QRect third = grid.view()->visualRect(grid.model()->index(2, 3));
    QTest::mouseClick(viewport, Qt::RightButton, Qt::ShiftModifier, third.center());
    QCOMPARE(up.size(), 1);
    QCOMPARE(up[0][0].toInt(), int(FileGrid::RightButton));
    QCOMPARE(up[0][1].toInt(), int(FileGrid::ShiftKey));
    QCOMPARE(grid.selectedRows(), QList<int>{1});

    QTest::mouseClick(viewport, Qt::LeftButton, {}, third.center());
    QCOMPARE(up.size(), 2);
    QCOMPARE(up[1][0].toInt(), int(FileGrid::LeftButton));
    QCOMPARE(grid.selectedRows(), QList<int>{3});
    QCOMPARE(grid.currentRow(), 3);
}

// Refilling the grid drops the selection; the window must hear of it so its
// commands do not stay enabled for rows that are gone.
void TestFileGrid::refillReportsLostSelection()
{
    Shown s;
    FileGrid &grid = s.grid;
    s.fill(QStringList(4, QStringLiteral("k")));
    grid.setRowSelected(2, true);
    QSignalSpy changed(&grid, &FileGrid::selChange);
    s.fill(QStringList(3, QStringLiteral("k")));
    QCOMPARE(grid.selectedRowCount(), 0);
    QVERIFY(!changed.isEmpty());
}

void TestFileGrid::fitWidthsFindsWidestText()
{
    Shown s;
    QStringList keys;
    for (int i = 0; i < 50; ++i)
        keys << QStringLiteral("ﾃﾞｰﾀﾌｧｲﾙ ﾃﾞｰﾀﾌｧｲﾙ %1").arg(i); // many half-width characters
    const QString wide = QStringLiteral("競走馬出馬表全場"); // fewer characters, wider
    keys[30] = wide;
    s.fill(keys);
    s.model.setHeading(5, QStringLiteral("ﾒｰﾙの日付ﾒｰﾙの日付ﾒｰﾙの日付"), Qt::AlignCenter);
    s.list.PutReadEntry(QDateTime(QDate(2026, 1, 1), QTime()), QVariant(), "LONGERNAME.LZH", "u8", "x"); // bold
    s.model.rebuild(QDateTime(QDate(2025, 1, 1), QTime()));
    s.grid.fitColumnWidths(0, 5);
    const QFontMetrics normal(s.grid.view()->font());
    int widest = 0;
    for (const QString &k : keys)
        widest = std::max(widest, normal.horizontalAdvance(k + QStringLiteral(" desc")));
    QVERIFY(s.grid.columnWidth(3) >= widest);
    QVERIFY(s.grid.columnWidth(4) >= QFontMetrics(s.model.boldFont()).horizontalAdvance("LONGERNAME.LZH"));
    QVERIFY(s.grid.columnWidth(5) >=
            QFontMetrics(s.grid.view()->horizontalHeader()->font()).horizontalAdvance(s.grid.cellText(0, 5)));
    // An empty column still gets a visible width.
    QVERIFY(s.grid.columnWidth(1) > 0);
}

void TestFileGrid::largeList()
{
    Shown s;
    const int rows = 32767;
    for (int r = 1; r <= rows; ++r)
        s.list.PutReadEntry(QStringLiteral("%1").arg(r, 6, 10, QLatin1Char('0')), QVariant(), "-",
                            QStringLiteral("u%1").arg(r), QStringLiteral("2099年08月22日 競走馬＋出馬表 %1").arg(r));
    s.model.rebuild(QDateTime());
    s.grid.fitColumnWidths(2, 5);
    QCOMPARE(s.grid.rowCount(), rows + 1);
    QCOMPARE(s.model.rowCount(), rows);
    QCOMPARE(s.grid.cellText(1, 0), QStringLiteral("032767"));
    QCOMPARE(s.grid.cellText(rows, 0), QStringLiteral("000001"));
    s.grid.setCurrentRow(1);
    s.grid.extendSelection(rows);
    QCOMPARE(s.grid.selectedRowCount(), rows);
    QCOMPARE(s.grid.selectedRow(rows - 1), rows);
}

QTEST_MAIN(TestFileGrid)
#include "test_filegrid.moc"
