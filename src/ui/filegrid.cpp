#include "ui/filegrid.h"

#include "ui/filegridmodel.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Draws a cell's picture centred instead of beside its text (the presence
// column carries a picture and a one-blank text that only the program reads).
class CentredPictureDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QVariant decoration = index.data(Qt::DecorationRole);
        if (!decoration.canConvert<QIcon>() || decoration.isNull()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.text.clear();
        opt.icon = QIcon();
        opt.features &= ~(QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration);
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const QSize size = pictureSize(opt);
        QRect target(QPoint(0, 0), size);
        target.moveCenter(option.rect.center());
        const QIcon::Mode mode = (option.state & QStyle::State_Selected) ? QIcon::Selected : QIcon::Normal;
        qvariant_cast<QIcon>(decoration).paint(painter, target, Qt::AlignCenter, mode);
    }

    static QSize pictureSize(const QStyleOptionViewItem &opt)
    {
        return opt.decorationSize.isValid() && !opt.decorationSize.isEmpty() ? opt.decorationSize : QSize(16, 16);
    }
};

constexpr int MeasuredCandidates = 8;

int toButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return FileGrid::LeftButton;
    case Qt::RightButton:
        return FileGrid::RightButton;
    case Qt::MiddleButton:
        return FileGrid::MiddleButton;
    default:
        return 0;
    }
}

int toShift(Qt::KeyboardModifiers modifiers)
{
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= FileGrid::ShiftKey;
    if (modifiers & Qt::ControlModifier)
        shift |= FileGrid::ControlKey;
    if (modifiers & Qt::AltModifier)
        shift |= FileGrid::AltKey;
    return shift;
}

} // namespace

FileGrid::FileGrid(FileGridModel *model, QWidget *parent) : QWidget(parent), m_view(new QTableView(this)), m_model(model)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    m_view->setModel(m_model);
    m_view->setItemDelegate(new CentredPictureDelegate(m_view));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->setTabKeyNavigation(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(std::max(m_view->fontMetrics().height(), 16) + 4);
    m_view->horizontalHeader()->setSectionsClickable(false);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->horizontalHeader()->setStretchLastSection(false);
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_view->horizontalHeader()->setMinimumSectionSize(0);
    setFocusProxy(m_view);

    QFont bold = m_view->font();
    bold.setBold(true);
    m_model->setBoldFont(bold);

    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    m_view->horizontalHeader()->viewport()->installEventFilter(this);

    // A model reset forgets section sizes and the selection: put the widths
    // back, and report a selection that disappeared as a change.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_hadSelection = m_view->selectionModel()->hasSelection(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_selectionCache.reset();
        for (int c = 0; c < m_widths.size(); ++c)
            setColumnWidth(c, m_widths[c]);
        if (m_hadSelection)
            emit selChange();
    });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, [this] { m_selectionCache.reset(); });
    connect(m_model, &QAbstractItemModel::rowsMoved, this, [this] { m_selectionCache.reset(); });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_selectionCache.reset();
        emit selChange();
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (current.isValid())
            m_currentColumn = current.column();
    });
}

FileGrid::~FileGrid() = default;

int FileGrid::rowCount() const
{
    return m_model->gridRows();
}

int FileGrid::columnCount() const
{
    return m_model->columnCount();
}

int FileGrid::currentRow() const
{
    const QModelIndex current = m_view->selectionModel()->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

// The view's current index follows without touching the selection; row 0
// (the heading) has no index of its own.
void FileGrid::setCurrentRow(int row)
{
    row = std::clamp(row, 0, std::max(rowCount() - 1, 0));
    const QModelIndex target = row >= 1 ? m_model->index(row - 1, m_currentColumn) : QModelIndex();
    m_view->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
}

void FileGrid::setCurrentColumn(int column)
{
    m_currentColumn = std::clamp(column, 0, std::max(columnCount() - 1, 0));
    setCurrentRow(currentRow());
}

void FileGrid::setLayoutText(const QString &layout)
{
    QStringList columns = layout.split(QLatin1Char('|'));
    columns.resize(std::min<qsizetype>(columns.size(), columnCount()));
    m_widths.resize(columns.size());
    const QFontMetrics metrics = m_view->fontMetrics();
    for (int c = 0; c < columns.size(); ++c) {
        QString sample = columns[c];
        Qt::Alignment alignment;
        if (sample.startsWith(QLatin1Char('<')))
            alignment = Qt::AlignLeft;
        else if (sample.startsWith(QLatin1Char('>')))
            alignment = Qt::AlignRight;
        else if (sample.startsWith(QLatin1Char('^')))
            alignment = Qt::AlignHCenter;
        if (alignment)
            sample.remove(0, 1);
        m_model->setColumnAlignment(c, alignment);
        const int width = sample.isEmpty() ? m_view->horizontalHeader()->defaultSectionSize()
                                           : metrics.horizontalAdvance(sample) + cellMargin();
        setColumnWidth(c, width);
    }
}

int FileGrid::cellMargin() const
{
    // The item delegate's text margin on both sides, plus the grid line.
    const int frame = m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1;
    return 2 * frame + 2;
}

int FileGrid::columnWidth(int column) const
{
    return m_widths.value(column, 0);
}

void FileGrid::setColumnWidth(int column, int width)
{
    if (column < 0 || column >= columnCount())
        return;
    if (column >= m_widths.size())
        m_widths.resize(column + 1);
    width = std::max(width, 0);
    m_widths[column] = width;
    // Sections exist only once the model has published its columns; the
    // reset that publishes them applies the stored widths.
    QHeaderView *header = m_view->horizontalHeader();
    if (column >= m_model->columnCount())
        return;
    header->setSectionHidden(column, width == 0);
    if (width > 0)
        header->resizeSection(column, width);
}

QString FileGrid::cellText(int row, int column) const
{
    return m_model->text(row, column);
}

QIcon FileGrid::cellPicture(int row, int column) const
{
    return m_model->picture(row, column);
}

bool FileGrid::cellBold(int row, int column) const
{
    return m_model->bold(row, column);
}

void FileGrid::fitColumnWidths(int first, int last)
{
    for (int c = std::max(first, 0); c <= last && c < columnCount(); ++c)
        setColumnWidth(c, measureColumn(c));
}

void FileGrid::widenColumnsFor(int row, int first, int last)
{
    if (row < 1 || row >= rowCount())
        return;
    for (int c = std::max(first, 0); c <= last && c < columnCount(); ++c) {
        const int width = columnWidth(c);
        const int needed = measureCell(row, c);
        if (width > 0 && needed > width)
            setColumnWidth(c, needed);
    }
}

int FileGrid::measureCell(int row, int column) const
{
    const QString text = m_model->text(row, column);
    const QFontMetrics metrics(m_model->bold(row, column) ? m_model->boldFont() : m_view->font());
    int width = text.isEmpty() ? 0 : metrics.horizontalAdvance(text) + cellMargin();
    if (!m_model->picture(row, column).isNull()) {
        const QSize icon = m_view->iconSize().isValid() ? m_view->iconSize() : QSize(16, 16);
        width = std::max(width, icon.width() + cellMargin() + 4);
    }
    return width;
}

// The widest of: the heading, the pictures, and the few data texts with the
// largest display weight (in their own font). Measuring only those keeps this
// quick for tens of thousands of rows.
int FileGrid::measureColumn(int column) const
{
    const QHeaderView *header = m_view->horizontalHeader();
    QFont headingFont = header->font();
    headingFont.setBold(m_model->bold(0, column));
    const int headingMargin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 2;
    int width = QFontMetrics(headingFont).horizontalAdvance(m_model->text(0, column)) + headingMargin;

    std::vector<std::pair<int, int>> normal; // (weight, row)
    std::vector<std::pair<int, int>> bold;
    bool picture = false;
    for (int r = 1; r < rowCount(); ++r) {
        picture = picture || !m_model->picture(r, column).isNull();
        if (const int weight = m_model->weight(r, column); weight > 0)
            (m_model->bold(r, column) ? bold : normal).emplace_back(weight, r);
    }
    const auto widest = [&](std::vector<std::pair<int, int>> &candidates, const QFont &font) {
        const size_t keep = std::min<size_t>(candidates.size(), MeasuredCandidates);
        std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(keep), candidates.end(),
                          [](const auto &a, const auto &b) { return a.first > b.first; });
        const QFontMetrics metrics(font);
        int result = 0;
        for (size_t i = 0; i < keep; ++i)
            result = std::max(result, metrics.horizontalAdvance(m_model->text(candidates[i].second, column)));
        return result;
    };
    width = std::max(width, widest(normal, m_view->font()) + cellMargin());
    width = std::max(width, widest(bold, m_model->boldFont()) + cellMargin());
    if (picture) {
        const QSize icon = m_view->iconSize().isValid() ? m_view->iconSize() : QSize(16, 16);
        width = std::max(width, icon.width() + cellMargin() + 4);
    }
    return width;
}

QList<int> FileGrid::selectedRows() const
{
    if (m_selectionCache)
        return *m_selectionCache;
    const int rows = m_model->rowCount();
    std::vector<char> marked(static_cast<size_t>(rows), 0);
    for (const QItemSelectionRange &range : m_view->selectionModel()->selection())
        for (int r = std::max(range.top(), 0); r <= range.bottom() && r < rows; ++r)
            marked[static_cast<size_t>(r)] = 1;
    QList<int> result;
    for (int r = 0; r < rows; ++r)
        if (marked[static_cast<size_t>(r)])
            result.append(r + 1);
    m_selectionCache = result;
    return result;
}

int FileGrid::selectedRowCount() const
{
    return static_cast<int>(selectedRows().size());
}

int FileGrid::selectedRow(int n) const
{
    return selectedRows().value(n, -1);
}

void FileGrid::setRowSelected(int row, bool selected)
{
    if (row < 1 || row > m_model->rowCount())
        return;
    m_view->selectionModel()->select(m_model->index(row - 1, 0),
                                     (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                         QItemSelectionModel::Rows);
}

void FileGrid::clearSelection()
{
    m_view->selectionModel()->clearSelection();
}

void FileGrid::extendSelection(int row)
{
    const int rows = m_model->rowCount();
    if (rows == 0 || m_model->columnCount() == 0)
        return;
    const int from = std::clamp(currentRow(), 1, rows);
    const int to = std::clamp(row, 1, rows);
    const QItemSelection range(m_model->index(std::min(from, to) - 1, 0),
                               m_model->index(std::max(from, to) - 1, m_model->columnCount() - 1));
    m_view->selectionModel()->select(range, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool FileGrid::eventFilter(QObject *watched, QEvent *event)
{
    const bool onCells = watched == m_view->viewport();
    const bool onHeader = watched == m_view->horizontalHeader()->viewport();
    if ((onCells || onHeader) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton && event->type() == QEvent::MouseButtonPress && onCells)
            return true; // a right click leaves the selection as it is (it opens the pop-up menu)
        if (event->type() == QEvent::MouseButtonRelease) {
            const QPoint at = static_cast<QWidget *>(watched)->mapTo(this, mouse->position().toPoint());
            emit mouseUp(toButton(mouse->button()), toShift(mouse->modifiers()), at.x(), at.y());
        }
    } else if (watched == m_view && event->type() == QEvent::FocusOut) {
        emit lostFocus();
    }
    return QWidget::eventFilter(watched, event);
}
