#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QString>

#include <vector>

class ReadList;
struct ReadEntry;

// The file list: one row per record of the read list, the latest handled
// first; records handled at the same time keep the order they were stored in. A row holds the record's index, nothing
// else: its cells are made when the view asks for them.
//
// Rows are numbered as the grid numbers them: row 0 is the heading row (shown
// as the horizontal header), rows 1 .. gridRows() - 1 show records (model rows
// 0 .. n - 2).
class FileGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ColHandled = 0, ColUid = 1, ColMark = 2, ColDescription = 3, ColFileName = 4, ColMailDate = 5 };
    static constexpr int Columns = 6;

    explicit FileGridModel(const ReadList &list, QObject *parent = nullptr);

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The heading row's text and alignment of one column.
    void setHeading(int column, const QString &text, Qt::Alignment alignment);
    // A data column's alignment (empty: left).
    Qt::Alignment columnAlignment(int column) const { return m_columnAlignment.value(column); }
    void setColumnAlignment(int column, Qt::Alignment alignment);
    // The presence column's pictures: file absent, file present.
    void setPictures(const QIcon &absent, const QIcon &present);
    // The font bold cells use (the view's font made bold).
    void setBoldFont(const QFont &font) { m_boldFont = font; }
    const QFont &boldFont() const { return m_boldFont; }

    // Shows the list anew (a model reset: the selection goes); records handled
    // after `newAfter` are bold.
    void rebuild(const QDateTime &newAfter);
    const QDateTime &newAfter() const { return m_newAfter; }
    // The record at `index` was just added to the list or replaced: its row is
    // inserted, or moved, where its handled time puts it; the other rows and
    // the selection stay. Returns that grid row, or 0 when the rows do not
    // belong to this list (the caller rebuilds then).
    int stored(int index);
    // The records' file presence changed: the presence column is drawn again.
    void presenceChanged();

    int gridRows() const { return static_cast<int>(m_order.size()) + 1; }
    // The read-list index of grid row `row`; -1 for the heading row or a row
    // that does not exist.
    int entryAt(int row) const;
    const ReadEntry *entry(int row) const;

    // What a cell shows (row 0: the heading row).
    QString text(int row, int column) const;
    bool bold(int row, int column) const;
    QIcon picture(int row, int column) const;
    // A rough display width of text(row, column) in half-width units (a wide
    // character counts two): enough to pick the few texts of a column worth
    // measuring with the font, without making every text.
    int weight(int row, int column) const;

private:
    // What orders the rows: the handled time's text in the list, as digits
    // where it is a date of years 1000 to 9999 (the text then orders as the
    // number does), else the text itself.
    struct Key {
        qint64 number = -1; // -1: use text
        QString text;
    };
    Key keyOf(int index) const;
    static bool later(const Key &a, const Key &b);
    int recordAt(int row) const; // entryAt(), -1 unless the list holds it
    QVariant cellData(int row, int column, int role) const;

    const ReadList &m_list;
    std::vector<int> m_order; // read-list index of each data row
    QDateTime m_newAfter;
    QString m_headings[Columns];
    Qt::Alignment m_headingAlignment[Columns] = {};
    QList<Qt::Alignment> m_columnAlignment = QList<Qt::Alignment>(Columns);
    QIcon m_pictures[2];
    QFont m_boldFont;
};
