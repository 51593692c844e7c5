#include "ui/filegridmodel.h"

#include <algorithm>
#include <numeric>

FileGridModel::FileGridModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_boldFont.setBold(true);
}

int FileGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_publishedRows;
}

int FileGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_publishedColumns;
}

Qt::Alignment FileGridModel::effectiveAlignment(int row, int column) const
{
    const Qt::Alignment own = cell(row, column).alignment;
    if (own)
        return own;
    const Qt::Alignment col = m_columnAlignment.value(column);
    return (col ? col : Qt::AlignLeft) | Qt::AlignVCenter;
}

QVariant FileGridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int row = index.row() + 1;
    const int column = index.column();
    // While redrawing is off the storage may already be smaller than what
    // the view was told; such cells read as empty until the reset.
    if (!isCell(row, column))
        return {};
    if (role == Qt::ToolTipRole)
        return cell(row, column).text;
    return cellData(row, column, role);
}

QVariant FileGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_publishedColumns || !isCell(0, section))
        return QAbstractTableModel::headerData(section, orientation, role);
    return cellData(0, section, role);
}

QVariant FileGridModel::cellData(int row, int column, int role) const
{
    const Cell &c = cell(row, column);
    switch (role) {
    case Qt::DisplayRole:
        return c.text;
    case Qt::DecorationRole:
        return c.picture.isNull() ? QVariant() : QVariant(c.picture);
    case Qt::FontRole:
        return c.bold ? QVariant(m_boldFont) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(effectiveAlignment(row, column));
    default:
        return {};
    }
}

Qt::ItemFlags FileGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void FileGridModel::compact()
{
    if (m_ordered)
        return;
    std::vector<Cell> cells(static_cast<size_t>(Cells(m_rows, m_columns)));
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < m_columns; ++c)
            cells[static_cast<size_t>(r * m_columns + c)] = std::move(m_cells[slot(r, c)]);
    m_cells.swap(cells);
    m_storedRows = m_rows;
    std::iota(m_order.begin(), m_order.end(), 1);
    m_ordered = true;
}

void FileGridModel::resize(int rows, int columns)
{
    rows = std::max(rows, 0);
    columns = std::max(columns, 0);
    compact();
    if (columns == m_columns) {
        m_cells.resize(static_cast<size_t>(Cells(rows, columns)));
    } else {
        // Keep every cell at its row and column.
        std::vector<Cell> cells(static_cast<size_t>(Cells(rows, columns)));
        const int keepRows = std::min(rows, m_rows);
        const int keepColumns = std::min(columns, m_columns);
        for (int r = 0; r < keepRows; ++r)
            for (int c = 0; c < keepColumns; ++c)
                cells[static_cast<size_t>(r * columns + c)] = std::move(m_cells[slot(r, c)]);
        m_cells.swap(cells);
        m_columnAlignment.resize(columns);
    }
    m_rows = rows;
    m_columns = columns;
    m_storedRows = rows;
    m_order.resize(static_cast<size_t>(std::max(rows - 1, 0)));
    std::iota(m_order.begin(), m_order.end(), 1);
}

void FileGridModel::insertRow(int row)
{
    if (m_rows < 1 || row < 1 || row > m_rows)
        return;
    m_cells.resize(m_cells.size() + static_cast<size_t>(m_columns));
    const int stored = m_storedRows++;
    const bool publish = m_redraw && !m_structureDirty;
    if (publish)
        beginInsertRows({}, row - 1, row - 1);
    if (row == 1)
        m_order.push_front(stored);
    else
        m_order.insert(m_order.begin() + (row - 1), stored);
    m_ordered = m_ordered && row == m_rows;
    ++m_rows;
    if (publish) {
        m_publishedRows = m_rows - 1;
        endInsertRows();
    } else {
        m_structureDirty = true;
    }
}

void FileGridModel::moveRow(int from, int to)
{
    if (from < 1 || from >= m_rows || to < 1 || to >= m_rows || from == to)
        return;
    const bool publish = m_redraw && !m_structureDirty;
    // Qt counts the destination before the move: below the row it is one further.
    if (publish && !beginMoveRows({}, from - 1, from - 1, {}, to > from ? to : to - 1))
        return;
    const int stored = m_order[static_cast<size_t>(from - 1)];
    m_order.erase(m_order.begin() + (from - 1));
    m_order.insert(m_order.begin() + (to - 1), stored);
    m_ordered = false;
    if (publish)
        endMoveRows();
    else
        m_structureDirty = true;
}

// While redrawing is off a new size is only stored; the reset at redraw-on
// tells the view.
bool FileGridModel::deferResize(int rows, int columns)
{
    if (m_redraw)
        return false;
    resize(rows, columns);
    m_structureDirty = true;
    return true;
}

void FileGridModel::setGridRows(int rows)
{
    rows = std::max(rows, 0);
    if (rows == m_rows)
        return;
    if (deferResize(rows, m_columns))
        return;
    const int oldData = m_publishedRows;
    const int newData = std::max(rows - 1, 0);
    if (newData > oldData) {
        beginInsertRows({}, oldData, newData - 1);
        resize(rows, m_columns);
        m_publishedRows = newData;
        endInsertRows();
    } else if (newData < oldData) {
        beginRemoveRows({}, newData, oldData - 1);
        resize(rows, m_columns);
        m_publishedRows = newData;
        endRemoveRows();
    } else {
        // 0 <-> 1 rows: only the heading row appears or goes.
        resize(rows, m_columns);
        emit headerDataChanged(Qt::Horizontal, 0, std::max(m_columns - 1, 0));
    }
}

void FileGridModel::setGridColumns(int columns)
{
    columns = std::max(columns, 0);
    if (columns == m_columns)
        return;
    if (deferResize(m_rows, columns))
        return;
    beginResetModel();
    resize(m_rows, columns);
    m_publishedRows = std::max(m_rows - 1, 0);
    m_publishedColumns = m_columns;
    endResetModel();
}

bool FileGridModel::setRedraw(bool on)
{
    if (on == m_redraw)
        return false;
    m_redraw = on;
    if (!on)
        return false;
    if (m_structureDirty) {
        m_structureDirty = false;
        m_dataDirty = false;
        beginResetModel();
        m_publishedRows = std::max(m_rows - 1, 0);
        m_publishedColumns = m_columns;
        endResetModel();
        return true;
    }
    if (m_dataDirty) {
        m_dataDirty = false;
        if (m_publishedRows > 0 && m_publishedColumns > 0)
            emit dataChanged(index(0, 0), index(m_publishedRows - 1, m_publishedColumns - 1));
        if (m_publishedColumns > 0)
            emit headerDataChanged(Qt::Horizontal, 0, m_publishedColumns - 1);
    }
    return false;
}

void FileGridModel::changed(int row, int column)
{
    if (!m_redraw) {
        m_dataDirty = true;
        return;
    }
    if (row == 0) {
        emit headerDataChanged(Qt::Horizontal, column, column);
        return;
    }
    const QModelIndex i = index(row - 1, column);
    emit dataChanged(i, i);
}

template <typename Change> void FileGridModel::edit(int row, int column, Change change)
{
    if (!isCell(row, column))
        return;
    change(m_cells[slot(row, column)]);
    changed(row, column);
}

void FileGridModel::setText(int row, int column, const QString &text)
{
    edit(row, column, [&](Cell &c) { c.text = text; });
}

void FileGridModel::setPicture(int row, int column, const QIcon &picture)
{
    edit(row, column, [&](Cell &c) { c.picture = picture; });
}

void FileGridModel::setBold(int row, int column, bool bold)
{
    edit(row, column, [&](Cell &c) { c.bold = bold; });
}

void FileGridModel::setAlignment(int row, int column, Qt::Alignment alignment)
{
    edit(row, column, [&](Cell &c) { c.alignment = alignment; });
}

void FileGridModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    if (column < 0 || column >= m_columns)
        return;
    m_columnAlignment[column] = alignment;
    if (!m_redraw) {
        m_dataDirty = true;
        return;
    }
    if (m_publishedRows > 0 && column < m_publishedColumns)
        emit dataChanged(index(0, column), index(m_publishedRows - 1, column));
}

void FileGridModel::sortDescending(int column)
{
    if (column < 0 || column >= m_columns || m_rows < 3)
        return;
    compact();
    std::vector<int> order(static_cast<size_t>(m_rows - 1));
    std::iota(order.begin(), order.end(), 1);
    const auto later = [this, column](int a, int b) {
        return QString::compare(cell(a, column).text, cell(b, column).text, Qt::CaseSensitive) > 0;
    };
    // A list kept in the order it grew is strictly ascending: reversing it is
    // the stable descending order (no two rows are equal).
    bool ascending = true;
    for (int r = 2; r < m_rows && ascending; ++r)
        ascending = later(r, r - 1);
    if (ascending)
        std::reverse(order.begin(), order.end());
    else
        std::stable_sort(order.begin(), order.end(), later);
    std::vector<Cell> cells(m_cells.size());
    for (int c = 0; c < m_columns; ++c)
        cells[static_cast<size_t>(c)] = std::move(m_cells[static_cast<size_t>(c)]);
    for (size_t i = 0; i < order.size(); ++i)
        for (int c = 0; c < m_columns; ++c)
            cells[(i + 1) * static_cast<size_t>(m_columns) + static_cast<size_t>(c)] =
                std::move(m_cells[slot(order[i], c)]);
    if (!m_redraw) {
        m_cells.swap(cells);
        m_structureDirty = true;
        return;
    }
    beginResetModel();
    m_cells.swap(cells);
    endResetModel();
}
