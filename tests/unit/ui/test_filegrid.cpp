#include "ui/filegrid.h"
#include "ui/filegridmodel.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

namespace {
const QString ProgramLayout =
    QStringLiteral("||\u3000|<2099年08月22日 競走馬＋出馬表 日別全場一括 前売分|<CC991224.LZH |<2000/12/31 24:00 ");

// A grid with the program's six columns and `rows` data rows whose column 0
// holds the given keys.
void fill(FileGrid &grid, const QStringList &keys)
{
    grid.setRedraw(false);
    grid.setRowCount(1);
    grid.setLayoutText(ProgramLayout);
    grid.setRowCount(static_cast<int>(keys.size()) + 1);
    for (int i = 0; i < keys.size(); ++i) {
        grid.setCellText(i + 1, 0, keys[i]);
        grid.setCellText(i + 1, 4, QStringLiteral("F%1.LZH").arg(i + 1));
    }
    grid.setRedraw(true);
}
} // namespace

class TestFileGrid : public QObject
{
    Q_OBJECT

private slots:
    void modelStaysConsistent();
    void layoutText_data();
    void layoutText();
    void zeroWidthHidesButKeepsText();
    void sortDescendingKeepsHeading_data();
    void sortDescendingKeepsHeading();
    void pictureLeavesTextAlone();
    void selectionInRowOrder();
    void extendSelection_data();
    void extendSelection();
    void rightClickKeepsSelection();
    void refillReportsLostSelection();
    void fitWidthsFindsWidestText();
    void largeFill();
};

// Every kind of change, with redrawing on and off, checked by Qt's tester.
void TestFileGrid::modelStaysConsistent()
{
    FileGrid grid;
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(grid, {QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("c")});
    grid.setRowCount(10); // grow with redraw on
    grid.setCellText(9, 3, QStringLiteral("x"));
    grid.setCellBold(9, 3, true);
    grid.setCellPicture(9, 2, QIcon(QPixmap(16, 16)));
    grid.setRowCount(2); // shrink with redraw on
    grid.setRowCount(0);
    grid.setRowCount(1);
    grid.setRedraw(false);
    grid.setRowCount(500);
    grid.setCellText(499, 5, QStringLiteral("last"));
    grid.setRowCount(3); // shrink again before anything was published
    grid.setRedraw(true);
    grid.sortDescending(0);
    grid.setLayoutText(QStringLiteral("<a|<b"));
    QCOMPARE(grid.model()->rowCount(), 2);
    QCOMPARE(grid.model()->columnCount(), 2);
}

void TestFileGrid::layoutText_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QList<int>>("alignments"); // Qt::Alignment horizontal bits per column
    QTest::newRow("program") << ProgramLayout << 6 << QList<int>{0, 0, 0, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft};
    QTest::newRow("one column") << QStringLiteral("<abc") << 1 << QList<int>{Qt::AlignLeft};
    QTest::newRow("right and centre") << QStringLiteral(">12|^x|y") << 3
                                      << QList<int>{Qt::AlignRight, Qt::AlignHCenter, 0};
}

void TestFileGrid::layoutText()
{
    QFETCH(QString, layout);
    QFETCH(int, columns);
    QFETCH(QList<int>, alignments);
    FileGrid grid;
    grid.setRowCount(1);
    grid.setLayoutText(layout);
    QCOMPARE(grid.columnCount(), columns);
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
    FileGrid grid;
    fill(grid, {QStringLiteral("k1"), QStringLiteral("k2")});
    grid.setColumnWidth(0, 0);
    grid.setColumnWidth(1, 0);
    QVERIFY(grid.view()->horizontalHeader()->isSectionHidden(0));
    QVERIFY(grid.view()->horizontalHeader()->isSectionHidden(1));
    QCOMPARE(grid.cellText(2, 0), QStringLiteral("k2"));

    // A refill resets the view's sections: the columns must stay hidden.
    fill(grid, {QStringLiteral("k3"), QStringLiteral("k4"), QStringLiteral("k5")});
    grid.setColumnWidth(0, 0);
    grid.setRedraw(false);
    grid.setRowCount(5);
    grid.setRedraw(true);
    QVERIFY(grid.view()->horizontalHeader()->isSectionHidden(0));
    QVERIFY(!grid.view()->horizontalHeader()->isSectionHidden(3));
    QCOMPARE(grid.columnWidth(0), 0);

    grid.setColumnWidth(0, 40);
    QVERIFY(!grid.view()->horizontalHeader()->isSectionHidden(0));
    QCOMPARE(grid.view()->horizontalHeader()->sectionSize(0), 40);
}

void TestFileGrid::sortDescendingKeepsHeading_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("dates") << QStringList{"1999/12/31 10:00:00", "2001/01/01 00:00:00", "2000/06/01 12:00:00"}
                           << QStringList{"2001/01/01 00:00:00", "2000/06/01 12:00:00", "1999/12/31 10:00:00"};
    QTest::newRow("already descending") << QStringList{"c", "b", "a"} << QStringList{"c", "b", "a"};
    QTest::newRow("one row") << QStringList{"x"} << QStringList{"x"};
    QTest::newRow("case counts") << QStringList{"a", "B", "b"} << QStringList{"b", "a", "B"};
}

void TestFileGrid::sortDescendingKeepsHeading()
{
    QFETCH(QStringList, keys);
    QFETCH(QStringList, sorted);
    FileGrid grid;
    fill(grid, keys);
    grid.setCellText(0, 3, QStringLiteral("ﾃﾞｰﾀ内容"));
    grid.setCellText(0, 0, QStringLiteral("zzzz")); // would come first if the heading moved
    for (int r = 1; r <= keys.size(); ++r) {
        grid.setCellText(r, 3, keys[r - 1] + QStringLiteral(" desc"));
        grid.setCellBold(r, 3, r == 1);
    }
    grid.sortDescending(0);
    QCOMPARE(grid.cellText(0, 3), QStringLiteral("ﾃﾞｰﾀ内容"));
    QCOMPARE(grid.cellText(0, 0), QStringLiteral("zzzz"));
    for (int r = 1; r <= sorted.size(); ++r) {
        QCOMPARE(grid.cellText(r, 0), sorted[r - 1]);
        // The rest of the row moves with its key, formatting included.
        QCOMPARE(grid.cellText(r, 3), sorted[r - 1] + QStringLiteral(" desc"));
        QCOMPARE(grid.cellBold(r, 3), sorted[r - 1] == keys[0]);
    }
}

void TestFileGrid::pictureLeavesTextAlone()
{
    FileGrid grid;
    fill(grid, {QStringLiteral("a"), QStringLiteral("b")});
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    grid.setCellText(1, 2, QStringLiteral(" "));
    grid.setCellPicture(1, 2, QIcon(pixmap));
    grid.setCellPicture(2, 2, QIcon(pixmap));
    QCOMPARE(grid.cellText(1, 2), QStringLiteral(" "));
    QCOMPARE(grid.cellText(2, 2), QString());
    QVERIFY(!grid.cellPicture(2, 2).isNull());
    QVERIFY(grid.model()->index(0, 2).data(Qt::DecorationRole).canConvert<QIcon>());
    // Painting a picture cell must not trip over anything.
    grid.resize(400, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.grab();
}

void TestFileGrid::selectionInRowOrder()
{
    FileGrid grid;
    fill(grid, QStringList(10, QStringLiteral("k")));
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
    FileGrid grid;
    fill(grid, QStringList(6, QStringLiteral("k")));
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
    FileGrid grid;
    fill(grid, QStringList(4, QStringLiteral("k")));
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
    FileGrid grid;
    fill(grid, QStringList(4, QStringLiteral("k")));
    grid.setRowSelected(2, true);
    QSignalSpy changed(&grid, &FileGrid::selChange);
    fill(grid, QStringList(3, QStringLiteral("k")));
    QCOMPARE(grid.selectedRowCount(), 0);
    QVERIFY(!changed.isEmpty());
}

void TestFileGrid::fitWidthsFindsWidestText()
{
    FileGrid grid;
    QStringList keys;
    for (int i = 0; i < 50; ++i)
        keys << QStringLiteral("ﾃﾞｰﾀﾌｧｲﾙ ﾃﾞｰﾀﾌｧｲﾙ %1").arg(i); // many half-width characters
    fill(grid, keys);
    const QString wide = QStringLiteral("競走馬出馬表全場"); // fewer characters, wider
    grid.setCellText(30, 0, wide);
    grid.setCellText(0, 5, QStringLiteral("ﾒｰﾙの日付ﾒｰﾙの日付ﾒｰﾙの日付"));
    grid.setCellText(7, 4, QStringLiteral("LONGERNAME.LZH"));
    grid.setCellBold(7, 4, true);
    grid.fitColumnWidths(0, 5);
    const QFontMetrics normal(grid.view()->font());
    int widest = normal.horizontalAdvance(wide);
    for (const QString &k : keys)
        widest = std::max(widest, normal.horizontalAdvance(k));
    QVERIFY(grid.columnWidth(0) >= widest);
    QVERIFY(grid.columnWidth(4) >= QFontMetrics(grid.model()->boldFont()).horizontalAdvance("LONGERNAME.LZH"));
    QVERIFY(grid.columnWidth(5) >=
            QFontMetrics(grid.view()->horizontalHeader()->font()).horizontalAdvance(grid.cellText(0, 5)));
    // An empty column still gets a visible width.
    QVERIFY(grid.columnWidth(1) > 0);
}

void TestFileGrid::largeFill()
{
    FileGrid grid;
    grid.setRedraw(false);
    grid.setRowCount(1);
    grid.setLayoutText(ProgramLayout);
    const int rows = 32767;
    grid.setRowCount(rows + 1);
    for (int r = 1; r <= rows; ++r) {
        grid.setCellText(r, 0, QStringLiteral("%1").arg(r, 6, 10, QLatin1Char('0')));
        grid.setCellText(r, 3, QStringLiteral("2099年08月22日 競走馬＋出馬表 %1").arg(r));
        grid.setCellBold(r, 3, r % 2 == 0);
    }
    grid.sortDescending(0);
    grid.fitColumnWidths(2, 5);
    grid.setCurrentRow(0);
    grid.setRedraw(true);
    QCOMPARE(grid.rowCount(), rows + 1);
    QCOMPARE(grid.model()->rowCount(), rows);
    QCOMPARE(grid.cellText(1, 0), QStringLiteral("032767"));
    QCOMPARE(grid.cellText(rows, 0), QStringLiteral("000001"));
    grid.setCurrentRow(1);
    grid.extendSelection(rows);
    QCOMPARE(grid.selectedRowCount(), rows);
    QCOMPARE(grid.selectedRow(rows - 1), rows);
}

QTEST_MAIN(TestFileGrid)
#include "test_filegrid.moc"
