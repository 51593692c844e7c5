#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class FileGridModel;
class QTableView;

// The file list grid: a table whose row 0 is the fixed heading row (shown as
// the column headers) and whose rows 1 .. rowCount() - 1 are data rows. Rows
// are selected whole, several at once, as in a multi-select list box. Every
// row and column number here counts the heading row as row 0.
//
// Fill it with redrawing off: nothing is repainted or signalled per cell then,
// and switching redrawing on publishes all changes at once.
class FileGrid : public QWidget
{
    Q_OBJECT

public:
    // Mouse buttons and shift states as mouseUp() reports them.
    enum Button { LeftButton = 1, RightButton = 2, MiddleButton = 4 };
    enum ShiftState { ShiftKey = 1, ControlKey = 2, AltKey = 4 };

    explicit FileGrid(QWidget *parent = nullptr);
    ~FileGrid() override;

    bool redraw() const;
    void setRedraw(bool on);

    int rowCount() const;
    void setRowCount(int rows);
    int columnCount() const;

    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int row);
    int currentColumn() const { return m_currentColumn; }
    void setCurrentColumn(int column);

    // "|" separates columns; a leading "<" (left), ">" (right) or "^" (centre)
    // sets a column's alignment, and the rest of the column's text is a sample
    // whose width becomes the column's width. Sets the column count.
    void setLayoutText(const QString &layout);

    // Pixels. Width 0 hides the column; its cells keep their texts.
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);

    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString &text);
    // A picture drawn centred in the cell; the cell's text is not changed.
    QIcon cellPicture(int row, int column) const;
    void setCellPicture(int row, int column, const QIcon &picture);
    bool cellBold(int row, int column) const;
    void setCellBold(int row, int column, bool bold);
    // Empty alignment: the column's alignment.
    void setCellAlignment(int row, int column, Qt::Alignment alignment);

    // Orders the data rows by the text of `column`, descending; the heading
    // row stays first.
    void sortDescending(int column);
    // Widths of columns first..last fitted to their contents (headings,
    // pictures and bold cells included).
    void fitColumnWidths(int first, int last);
    // Widens columns first..last where the cells of one row need more room.
    void widenColumnsFor(int row, int first, int last);

    // One empty data row before `row` (1 .. rowCount()); one row moved to
    // become row `to`. The selection and the current row stay on their rows.
    void insertRow(int row);
    void moveRow(int from, int to);

    // Selected data rows, in row order (top to bottom), as a list box
    // reports them: selectedRow(0) .. selectedRow(selectedRowCount() - 1).
    int selectedRowCount() const;
    int selectedRow(int n) const;
    QList<int> selectedRows() const;
    void setRowSelected(int row, bool selected);
    void clearSelection();
    // Selects every row from the current row to `row` (the previous
    // selection is replaced). The current row stays where it is.
    void extendSelection(int row);

    // For tests and the window's layout.
    QTableView *view() const { return m_view; }
    FileGridModel *model() const { return m_model; }

signals:
    // button: Button; shift: ShiftState bits; x, y in this widget's pixels.
    void mouseUp(int button, int shift, int x, int y);
    void selChange();
    void lostFocus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void syncCurrentIndex();
    int measureColumn(int column) const;
    int measureCell(int row, int column) const;
    int cellMargin() const;

    QTableView *m_view;
    FileGridModel *m_model;
    int m_currentRow = 0;
    int m_currentColumn = 0;
    QList<int> m_widths; // what setColumnWidth() was given (0 = hidden)
    mutable std::optional<QList<int>> m_selectionCache;
    bool m_hadSelection = false;
    bool m_syncing = false;
};
