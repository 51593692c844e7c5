#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QString>

#include <deque>
#include <vector>

// The cells behind FileGrid. Rows are numbered as the grid's users number
// them: row 0 is the heading row (shown as the horizontal header), rows 1 to
// rowCount - 1 are the data rows (model rows 0 to n - 2).
//
// While redrawing is off, changes only touch the storage; the view keeps the
// row count it was last told about and the whole change is published with one
// model reset when redrawing is switched on again. That keeps filling 32,767
// rows to a single reset instead of one signal per cell.
class FileGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Cell {
        QString text;
        QIcon picture;
        Qt::Alignment alignment; // empty: the column's alignment
        bool bold = false;
    };

    explicit FileGridModel(QObject *parent = nullptr);

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Grid rows (heading row included) and columns as stored.
    int gridRows() const { return m_rows; }
    int gridColumns() const { return m_columns; }
    void setGridRows(int rows);
    void setGridColumns(int columns);

    bool redraw() const { return m_redraw; }
    // Switching on publishes everything changed while it was off; returns
    // true when that was a reset (the selection is then gone).
    bool setRedraw(bool on);

    bool isCell(int row, int column) const { return row >= 0 && row < m_rows && column >= 0 && column < m_columns; }
    const Cell &cell(int row, int column) const { return m_cells[slot(row, column)]; }
    void setText(int row, int column, const QString &text);
    void setPicture(int row, int column, const QIcon &picture);
    void setBold(int row, int column, bool bold);
    void setAlignment(int row, int column, Qt::Alignment alignment);

    Qt::Alignment columnAlignment(int column) const { return m_columnAlignment.value(column); }
    void setColumnAlignment(int column, Qt::Alignment alignment);

    // Data rows (1 .. n-1) ordered by the text of `column`, descending; rows
    // with equal texts keep their order. The heading row stays first.
    void sortDescending(int column);
    // One empty data row inserted before grid row `row` (1 .. gridRows()),
    // and one row moved (its cells with it) so that it becomes row `to`. Both
    // cost the same for any number of rows: rows are reached through an
    // order list, the cells themselves stay where they are stored.
    void insertRow(int row);
    void moveRow(int from, int to);

    // The font bold cells use (the view's font made bold).
    void setBoldFont(const QFont &font) { m_boldFont = font; }
    const QFont &boldFont() const { return m_boldFont; }

private:
    static constexpr int Cells(int rows, int columns) { return rows * columns; }
    // Where a grid row's cells are stored: the heading row at 0, a data row
    // wherever it was created.
    int storedRow(int row) const { return row == 0 ? 0 : m_order[static_cast<size_t>(row - 1)]; }
    size_t slot(int row, int column) const { return static_cast<size_t>(storedRow(row) * m_columns + column); }
    // Stores the cells in grid-row order again, without gaps.
    void compact();
    void resize(int rows, int columns);
    bool deferResize(int rows, int columns);
    template <typename Change> void edit(int row, int column, Change change);
    void changed(int row, int column);
    Qt::Alignment effectiveAlignment(int row, int column) const;
    // What a heading or data cell shows for one role (row 0 is the heading row).
    QVariant cellData(int row, int column, int role) const;

    std::vector<Cell> m_cells;
    // Stored row of each data row (grid row r at m_order[r - 1]): inserting
    // at the top, as a newly handled mail does, is a push_front.
    std::deque<int> m_order;
    int m_storedRows = 0;  // rows of m_cells, gaps of moved rows included
    bool m_ordered = true; // m_order is 1, 2, 3, ... and there are no gaps
    int m_rows = 0;
    int m_columns = 0;
    int m_publishedRows = 0;    // the data-row count the view has been told about
    int m_publishedColumns = 0; // and the column count
    QList<Qt::Alignment> m_columnAlignment;
    QFont m_boldFont;
    bool m_redraw = true;
    bool m_structureDirty = false;
    bool m_dataDirty = false;
};
