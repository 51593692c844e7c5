#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class FileGridModel;
class QTableView;

// The file list grid: a table over a FileGridModel whose row 0 is the fixed
// heading row (shown as the column headers) and whose rows 1 .. rowCount() - 1
// are data rows. Rows are selected whole, several at once, as in a
// multi-select list box. Every row and column number here counts the heading
// row as row 0.
class FileGrid : public QWidget
{
    Q_OBJECT

public:
    // Mouse buttons and shift states as mouseUp() reports them.
    enum Button { LeftButton = 1, RightButton = 2, MiddleButton = 4 };
    enum ShiftState { ShiftKey = 1, ControlKey = 2, AltKey = 4 };

    explicit FileGrid(FileGridModel *model, QWidget *parent = nullptr);
    ~FileGrid() override;

    int rowCount() const;
    int columnCount() const;

    // The row of the view's current index (0: none).
    int currentRow() const;
    void setCurrentRow(int row);
    int currentColumn() const { return m_currentColumn; }
    void setCurrentColumn(int column);

    // "|" separates columns; a leading "<" (left), ">" (right) or "^" (centre)
    // sets a column's alignment, and the rest of the column's text is a sample
    // whose width becomes the column's width.
    void setLayoutText(const QString &layout);

    // Pixels. Width 0 hides the column; its cells keep their texts.
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);

    // What a cell shows, as the model makes it.
    QString cellText(int row, int column) const;
    QIcon cellPicture(int row, int column) const;
    bool cellBold(int row, int column) const;

    // Widths of columns first..last fitted to their contents (headings,
    // pictures and bold cells included).
    void fitColumnWidths(int first, int last);
    // Widens columns first..last where the cells of one row need more room.
    void widenColumnsFor(int row, int first, int last);

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
    int measureColumn(int column) const;
    int measureCell(int row, int column) const;
    int cellMargin() const;

    QTableView *m_view;
    FileGridModel *m_model;
    int m_currentColumn = 0;
    QList<int> m_widths; // what setColumnWidth() was given (0 = hidden)
    mutable std::optional<QList<int>> m_selectionCache;
    bool m_hadSelection = false;
};
