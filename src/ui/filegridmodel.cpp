#include "ui/filegridmodel.h"

#include "core/cp932.h"
#include "core/datetext.h"
#include "download/readlist.h"

#include <algorithm>

namespace {

QString textOf(const QVariant &value, QString (*format)(const QDateTime &))
{
    if (value.typeId() == QMetaType::QDateTime)
        return format(value.toDateTime());
    return value.toString();
}

// The text of such a number, as formatDateTime writes it.
QString digitText(qint64 n)
{
    const QDateTime dt(QDate(int(n / 10000000000), int(n / 100000000 % 100), int(n / 1000000 % 100)),
                       QTime(int(n / 10000 % 100), int(n / 100 % 100), int(n % 100)));
    return formatDateTime(dt);
}

} // namespace

FileGridModel::FileGridModel(const ReadList &list, QObject *parent) : QAbstractTableModel(parent), m_list(list)
{
    m_boldFont.setBold(true);
}

int FileGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int FileGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant FileGridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (role == Qt::ToolTipRole)
        return text(index.row() + 1, index.column());
    return cellData(index.row() + 1, index.column(), role);
}

QVariant FileGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= Columns)
        return QAbstractTableModel::headerData(section, orientation, role);
    return cellData(0, section, role);
}

QVariant FileGridModel::cellData(int row, int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return text(row, column);
    case Qt::DecorationRole: {
        const QIcon p = picture(row, column);
        return p.isNull() ? QVariant() : QVariant(p);
    }
    case Qt::FontRole:
        return bold(row, column) ? QVariant(m_boldFont) : QVariant();
    case Qt::TextAlignmentRole: {
        Qt::Alignment a = row == 0 ? m_headingAlignment[column] : Qt::Alignment();
        if (!a) {
            const Qt::Alignment c = m_columnAlignment.value(column);
            a = (c ? c : Qt::AlignLeft) | Qt::AlignVCenter;
        }
        return QVariant::fromValue(a);
    }
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

void FileGridModel::setHeading(int column, const QString &text, Qt::Alignment alignment)
{
    if (column < 0 || column >= Columns)
        return;
    m_headings[column] = text;
    m_headingAlignment[column] = alignment;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void FileGridModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    if (column < 0 || column >= Columns)
        return;
    m_columnAlignment[column] = alignment;
    if (!m_order.empty())
        emit dataChanged(index(0, column), index(rowCount() - 1, column));
}

void FileGridModel::setPictures(const QIcon &absent, const QIcon &present)
{
    m_pictures[0] = absent;
    m_pictures[1] = present;
    presenceChanged();
}

int FileGridModel::entryAt(int row) const
{
    return row >= 1 && row <= static_cast<int>(m_order.size()) ? m_order[static_cast<size_t>(row - 1)] : -1;
}

int FileGridModel::recordAt(int row) const
{
    const int i = entryAt(row);
    return i >= 0 && i < m_list.ReadCount() ? i : -1;
}

const ReadEntry *FileGridModel::entry(int row) const
{
    const int i = recordAt(row);
    return i >= 0 ? &m_list.at(i) : nullptr;
}

QString FileGridModel::text(int row, int column) const
{
    if (row == 0)
        return column >= 0 && column < Columns ? m_headings[column] : QString();
    const int i = recordAt(row);
    if (i < 0)
        return {};
    if (column == ColMark)
        return m_list.filePresent(i) ? QStringLiteral(" ") : QString();
    const ReadEntry *e = &m_list.at(i);
    switch (column) {
    case ColHandled:
        return textOf(e->HandledTime, formatDateTime);
    case ColUid:
        return e->Uid;
    case ColDescription:
        return e->Description;
    case ColFileName:
        return e->FileName;
    case ColMailDate:
        return textOf(e->MailDate, formatDateMinute);
    default:
        return {};
    }
}

bool FileGridModel::bold(int row, int column) const
{
    const int i = column >= ColDescription ? recordAt(row) : -1;
    return i >= 0 && m_list.handledAfter(i, m_newAfter);
}

QIcon FileGridModel::picture(int row, int column) const
{
    const int i = column == ColMark ? recordAt(row) : -1;
    return i >= 0 ? m_pictures[m_list.filePresent(i) ? 1 : 0] : QIcon();
}

int FileGridModel::weight(int row, int column) const
{
    // A date is all digits and marks, and a stored text is weighed from its
    // bytes: neither needs its text made, nor the record decoded.
    const int i = recordAt(row);
    if (i >= 0 && column == ColMailDate && m_list.mailDateNumber(i) >= 0)
        return 16; // "1999/12/24 08:05"
    if (i >= 0 && (column == ColDescription || column == ColFileName)) {
        if (const int w = m_list.fieldWeight(i, column == ColFileName ? 2 : 4); w >= 0)
            return w;
    }
    return Cp932::displayWeight(text(row, column));
}

FileGridModel::Key FileGridModel::keyOf(int index) const
{
    Key key;
    key.number = m_list.handledNumber(index);
    if (key.number < 0)
        key.text = textOf(m_list.at(index).HandledTime, formatDateTime);
    return key;
}

bool FileGridModel::later(const Key &a, const Key &b)
{
    if (a.number >= 0 && b.number >= 0)
        return a.number > b.number;
    const QString ta = a.number >= 0 ? digitText(a.number) : a.text;
    const QString tb = b.number >= 0 ? digitText(b.number) : b.text;
    return QString::compare(ta, tb, Qt::CaseSensitive) > 0;
}

void FileGridModel::rebuild(const QDateTime &newAfter)
{
    const int count = m_list.ReadCount();
    std::vector<Key> keys(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        keys[static_cast<size_t>(i)] = keyOf(i);
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        order[static_cast<size_t>(i)] = i;
    // A list kept in the order it grew is strictly ascending: reversing it is
    // the stable descending order (no two rows are equal).
    bool ascending = true;
    for (size_t i = 1; i < keys.size() && ascending; ++i)
        ascending = later(keys[i], keys[i - 1]);
    if (ascending)
        std::reverse(order.begin(), order.end());
    else
        std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) {
            return later(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)]);
        });
    beginResetModel();
    m_order.swap(order);
    m_newAfter = newAfter;
    endResetModel();
}

int FileGridModel::stored(int index)
{
    const int count = m_list.ReadCount();
    const int rows = static_cast<int>(m_order.size());
    if (index < 0 || index >= count || (rows != count && rows != count - 1))
        return 0;
    // A replaced record already has a row; a new one was appended to the list.
    int existing = 0;
    if (rows == count) {
        const auto at = std::find(m_order.begin(), m_order.end(), index);
        if (at == m_order.end())
            return 0;
        existing = static_cast<int>(at - m_order.begin()) + 1;
    } else if (index != count - 1) {
        return 0;
    }
    // Rows run from the latest handled time down; equal times keep the order
    // they were stored in, so the row goes below its equals. A moved row is
    // searched for among the others (as if it were taken out).
    const Key key = keyOf(index);
    int lo = 1;
    int hi = existing != 0 ? rows : rows + 1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const int probe = existing != 0 && mid >= existing ? mid + 1 : mid;
        if (!later(key, keyOf(entryAt(probe))))
            lo = mid + 1;
        else
            hi = mid;
    }
    const int row = lo;
    if (existing == 0) {
        beginInsertRows({}, row - 1, row - 1);
        m_order.insert(m_order.begin() + (row - 1), index);
        endInsertRows();
    } else if (existing != row) {
        // Qt counts the destination before the move: below the row it is one further.
        if (beginMoveRows({}, existing - 1, existing - 1, {}, row > existing ? row : row - 1)) {
            m_order.erase(m_order.begin() + (existing - 1));
            m_order.insert(m_order.begin() + (row - 1), index);
            endMoveRows();
        }
    }
    emit dataChanged(this->index(row - 1, 0), this->index(row - 1, Columns - 1));
    return row;
}

void FileGridModel::presenceChanged()
{
    if (!m_order.empty())
        emit dataChanged(index(0, ColMark), index(rowCount() - 1, ColMark));
}
