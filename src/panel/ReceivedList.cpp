#include "panel/ReceivedList.h"

#include <QAbstractItemDelegate>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <algorithm>
#include <optional>

namespace {

// Viewport coordinates of rows far out of sight are clamped so that they never overflow.
constexpr qint64 kFarAway = qint64(1) << 28;

int ClampToInt(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, -kFarAway, kFarAway));
}

qint64 FloorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// On a busy link the range grows every tick while the slider, soon at its smallest, stays put.
// Repainting the bar each time cost more than drawing the lines, so a range change repaints only
// when the bar would look different from what was last drawn.
class SteadyScrollBar : public QScrollBar {
public:
    explicit SteadyScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

protected:
    void sliderChange(SliderChange change) override
    {
        if (change == SliderRangeChange && m_drawn.has_value() && *m_drawn == CurrentLook()) {
            return;
        }
        QScrollBar::sliderChange(change);
    }

    void paintEvent(QPaintEvent* event) override
    {
        m_drawn = CurrentLook();
        QScrollBar::paintEvent(event);
    }

private:
    struct Look {
        QRect slider;
        bool atMinimum, atMaximum;  // drawn as disabled arrows
        bool operator==(const Look&) const = default;
    };

    Look CurrentLook() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return Look{style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                            QStyle::SC_ScrollBarSlider, this),
                    value() == minimum(), value() == maximum()};
    }

    std::optional<Look> m_drawn;
};

}  // namespace

// ---- ReceivedLines ----

ReceivedLines::ReceivedLines(int maxLines) : m_maxLines(std::max(0, maxLines)) {}

bool ReceivedLines::NewSlot(uint8_t byte)
{
    if (m_count >= m_maxLines) {
        return false;
    }
    const int slot = m_count & (kBlockSize - 1);
    if (slot == 0) {
        m_blocks.push_back(std::make_unique_for_overwrite<uint8_t[]>(kBlockSize));
    }
    m_blocks.back()[slot] = byte;
    ++m_count;
    return true;
}

bool ReceivedLines::AddByte(uint8_t byte)
{
    return NewSlot(byte);
}

bool ReceivedLines::AddText(QString text)
{
    const int row = m_count;
    if (!NewSlot(0)) {
        return false;
    }
    m_texts.push_back(TextLine{row, std::move(text)});
    return true;
}

void ReceivedLines::Clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_texts.clear();
    m_count = 0;
}

std::deque<ReceivedLines::TextLine>::const_iterator ReceivedLines::FirstTextAtOrAfter(int row) const
{
    return std::lower_bound(m_texts.begin(), m_texts.end(), row,
                            [](const TextLine& line, int r) { return line.row < r; });
}

const QString* ReceivedLines::TextAt(int row) const
{
    if (m_texts.empty() || row < m_texts.front().row || row > m_texts.back().row) {
        return nullptr;
    }
    const auto it = FirstTextAtOrAfter(row);
    return (it != m_texts.end() && it->row == row) ? &it->text : nullptr;
}

QString ReceivedLines::Display(int row) const
{
    if (const QString* text = TextAt(row)) {
        return *text;
    }
    return ByteText(ByteAt(row));
}

int ReceivedLines::FindPrefix(int from, int to, const std::array<bool, 256>& byteHit,
                              const QString& prefix, Qt::CaseSensitivity cs) const
{
    from = std::max(from, 0);
    to = std::min(to, m_count);
    auto text = FirstTextAtOrAfter(from);
    for (int row = from; row < to; ++row) {
        if (text != m_texts.end() && text->row == row) {
            if (text->text.startsWith(prefix, cs)) {
                return row;
            }
            ++text;
        } else if (byteHit[ByteAt(row)]) {
            return row;
        }
    }
    return -1;
}

size_t ReceivedLines::StorageBytes() const
{
    size_t bytes = m_blocks.size() * size_t(kBlockSize) +
                   m_blocks.capacity() * sizeof(std::unique_ptr<uint8_t[]>);
    for (const TextLine& line : m_texts) {
        bytes += sizeof(TextLine) + size_t(line.text.capacity()) * sizeof(QChar);
    }
    return bytes;
}

const QString& ReceivedLines::ByteText(uint8_t byte)
{
    static const std::array<QString, 256> texts = [] {
        std::array<QString, 256> t;
        for (int b = 0; b < 256; ++b) {
            t[b] = QString::asprintf("%d  0x%.2X", b, b);
        }
        return t;
    }();
    return texts[byte];
}

// ---- ReceivedListModel ----

ReceivedListModel::ReceivedListModel(QObject* parent) : QAbstractListModel(parent) {}

int ReceivedListModel::AddByte(uint8_t byte)
{
    if (!m_lines.AddByte(byte)) {
        return -1;
    }
    Appended();
    return m_lines.Count() - 1;
}

int ReceivedListModel::AddText(QString text)
{
    if (!m_lines.AddText(std::move(text))) {
        return -1;
    }
    Appended();
    return m_lines.Count() - 1;
}

void ReceivedListModel::Appended()
{
    // At most one pending post, however many batches a paint has already flushed.
    if (m_flushPosted)
        return;
    m_flushPosted = true;
    const qint64 since = m_lastFlush.isValid() ? m_lastFlush.elapsed() : m_holdMs;
    if (since < m_holdMs)
        QTimer::singleShot(int(m_holdMs - since), this, &ReceivedListModel::PostedFlush);
    else
        QMetaObject::invokeMethod(this, &ReceivedListModel::PostedFlush, Qt::QueuedConnection);
}

void ReceivedListModel::PostedFlush()
{
    m_flushPosted = false;
    Flush();
}

void ReceivedListModel::Flush()
{
    const int count = m_lines.Count();
    if (count <= m_shownRows) {
        return;
    }
    m_lastFlush.restart();
    beginInsertRows(QModelIndex(), m_shownRows, count - 1);
    m_shownRows = count;
    endInsertRows();
}

void ReceivedListModel::Clear()
{
    beginResetModel();
    m_lines.Clear();
    m_shownRows = 0;
    endResetModel();
}

int ReceivedListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

QVariant ReceivedListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_shownRows) {
        return QVariant();
    }
    return m_lines.Display(index.row());
}

Qt::ItemFlags ReceivedListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QModelIndexList ReceivedListModel::match(const QModelIndex& start, int role, const QVariant& value,
                                         int hits, Qt::MatchFlags flags) const
{
    const bool prefixSearch =
        role == Qt::DisplayRole && (flags & Qt::MatchTypeMask) == Qt::MatchStartsWith &&
        !flags.testFlag(Qt::MatchRecursive) && start.model() == this && !start.parent().isValid();
    if (!prefixSearch) {
        return QAbstractListModel::match(start, role, value, hits, flags);
    }
    const QString prefix = value.toString();
    const Qt::CaseSensitivity cs =
        flags.testFlag(Qt::MatchCaseSensitive) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    std::array<bool, 256> byteHit{};
    for (int b = 0; b < 256; ++b) {
        byteHit[b] = ReceivedLines::ByteText(uint8_t(b)).startsWith(prefix, cs);
    }

    QModelIndexList found;
    const auto scan = [&](int from, int to) {
        while (hits < 0 || found.size() < hits) {
            const int row = m_lines.FindPrefix(from, to, byteHit, prefix, cs);
            if (row < 0) {
                return;
            }
            found.append(index(row, 0));
            from = row + 1;
        }
    };
    scan(start.row(), m_shownRows);
    if (flags.testFlag(Qt::MatchWrap)) {
        scan(0, start.row());
    }
    return found;
}

// ---- ReceivedList ----

ReceivedList::ReceivedList(QWidget* parent) : QListView(parent)
{
    auto* bar = new SteadyScrollBar(this);
    setVerticalScrollBar(bar);
    // The replaced bar took the item view's own connections with it.
    connect(bar, &QScrollBar::actionTriggered, this, &ReceivedList::verticalScrollbarAction);
    connect(bar, &QScrollBar::valueChanged, this, &ReceivedList::verticalScrollbarValueChanged);
    setModel(&m_model);
    setUniformItemSizes(true);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    UpdateRowHeight();
}

int ReceivedList::AddByteLine(uint8_t byte)
{
    return m_model.AddByte(byte);
}

int ReceivedList::AddString(const std::string& utf8)
{
    return m_model.AddText(QString::fromUtf8(utf8.c_str()));
}

int ReceivedList::AddLatin1String(const std::string& bytes)
{
    return m_model.AddText(QString::fromLatin1(bytes.c_str()));
}

void ReceivedList::ResetContent()
{
    m_model.Clear();
}

std::string ReceivedList::GetText(int index) const
{
    const ReceivedLines& lines = m_model.Lines();
    if (index < 0 || index >= lines.Count()) {
        return std::string();
    }
    return lines.Display(index).toStdString();
}

int ReceivedList::GetCurSel() const
{
    const QItemSelection selection = selectionModel()->selection();
    return selection.isEmpty() ? -1 : selection.first().top();
}

bool ReceivedList::SetCurSel(int index)
{
    m_model.Flush();
    if (index == -1) {
        selectionModel()->clearSelection();
        return true;
    }
    if (index < 0 || index >= m_model.rowCount()) {
        return false;
    }
    const QModelIndex item = m_model.index(index, 0);
    selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    scrollTo(item);
    return true;
}

int ReceivedList::GetTopIndex() const
{
    return TopRow();
}

void ReceivedList::UpdateRowHeight()
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = ReceivedLines::ByteText(255);
    const QSize size = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this);
    m_rowHeight = std::max({1, size.height(), fontMetrics().height()});
}

int ReceivedList::TopRow() const
{
    return std::max(0, verticalScrollBar()->value());
}

int ReceivedList::PageRows() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

qint64 ReceivedList::RowAtY(int y) const
{
    return TopRow() + FloorDiv(y, m_rowHeight);
}

QRect ReceivedList::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != &m_model || index.column() != 0) {
        return QRect();
    }
    const qint64 y = (qint64(index.row()) - TopRow()) * m_rowHeight;
    return QRect(0, ClampToInt(y), viewport()->width(), m_rowHeight);
}

QModelIndex ReceivedList::indexAt(const QPoint& point) const
{
    if (point.x() < 0 || point.x() >= viewport()->width() || point.y() < 0) {
        return QModelIndex();
    }
    const qint64 row = RowAtY(point.y());
    if (row >= m_model.rowCount()) {
        return QModelIndex();
    }
    return m_model.index(int(row), 0);
}

void ReceivedList::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != &m_model) {
        return;
    }
    const int row = index.row();
    const int page = PageRows();
    int top = TopRow();
    switch (hint) {
        case EnsureVisible:
            if (row < top) {
                top = row;
            } else if (row >= top + page) {
                top = row - page + 1;
            }
            break;
        case PositionAtTop:
            top = row;
            break;
        case PositionAtBottom:
            top = row - page + 1;
            break;
        case PositionAtCenter:
            top = row - page / 2;
            break;
    }
    verticalScrollBar()->setValue(std::max(0, top));
}

void ReceivedList::doItemsLayout()
{
    // Skip the list view's own layout: it keeps a position per row and redoes all of them.
    UpdateRowHeight();
    QAbstractItemView::doItemsLayout();
}

void ReceivedList::reset()
{
    QListView::reset();
    updateGeometries();
}

void ReceivedList::rowsInserted(const QModelIndex& parent, int start, int end)
{
    // The list view's version schedules a layout of every row; rows are only appended here.
    QAbstractItemView::rowsInserted(parent, start, end);
    // A view at its last line follows the new lines, as a terminal does; one the operator has
    // scrolled up, or is dragging, stays where it is.
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum() && !bar->isSliderDown();
    updateGeometries();
    if (following)
        bar->setValue(bar->maximum());
    if (!m_flushingForPaint && start <= TopRow() + PageRows()) {
        viewport()->update();
    }
}

void ReceivedList::updateGeometries()
{
    const int page = PageRows();
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(1);
    bar->setPageStep(page);
    bar->setRange(0, std::max(0, m_model.rowCount() - page));
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

void ReceivedList::scrollContentsBy(int dx, int dy)
{
    Q_UNUSED(dx);
    const qint64 pixels = qint64(dy) * m_rowHeight;
    // Lines a paint has just announced can move the view; the whole of it is drawn again then,
    // by that paint when it covers the view (asking again would paint every tick twice).
    if (m_flushingForPaint) {
        if (pixels != 0 && !m_paintCoversViewport)
            viewport()->update();
    } else if (pixels != 0 && std::abs(pixels) < viewport()->height()) {
        viewport()->scroll(0, int(pixels));
    } else {
        viewport()->update();
    }
}

void ReceivedList::verticalScrollbarValueChanged(int value)
{
    // Following the newest lines inside a paint of the whole view: that paint draws the row under
    // the mouse as such, and Qt's own hover check would ask for a second paint every tick.
    if (m_flushingForPaint && m_paintCoversViewport)
        return;
    QListView::verticalScrollbarValueChanged(value);
}

int ReceivedList::horizontalOffset() const
{
    return 0;
}

int ReceivedList::verticalOffset() const
{
    return ClampToInt(qint64(TopRow()) * m_rowHeight);
}

QModelIndex ReceivedList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(modifiers);
    const int rows = m_model.rowCount();
    if (rows == 0) {
        return QModelIndex();
    }
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        return m_model.index(cursorAction == MoveEnd ? rows - 1 : 0, 0);
    }
    const int step = std::max(1, PageRows() - 1);
    int row = current.row();
    switch (cursorAction) {
        case MoveUp:
        case MovePrevious:
            --row;
            break;
        case MoveDown:
        case MoveNext:
            ++row;
            break;
        case MovePageUp:
            row -= step;
            break;
        case MovePageDown:
            row += step;
            break;
        case MoveHome:
            row = 0;
            break;
        case MoveEnd:
            row = rows - 1;
            break;
        case MoveLeft:
        case MoveRight:
            break;
    }
    return m_model.index(std::clamp(row, 0, rows - 1), 0);
}

void ReceivedList::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized();
    QItemSelection selection;
    if (area.right() >= 0 && area.left() < viewport()->width()) {
        const qint64 first = std::max<qint64>(RowAtY(area.top()), 0);
        const qint64 last = std::min<qint64>(RowAtY(area.bottom()), m_model.rowCount() - 1);
        if (first <= last) {
            selection.select(m_model.index(int(first), 0), m_model.index(int(last), 0));
        }
    }
    selectionModel()->select(selection, command);
}

QRegion ReceivedList::visualRegionForSelection(const QItemSelection& selection) const
{
    const int top = TopRow();
    const int bottom = top + PageRows();  // the partly shown row below the page included
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.model() != &m_model || range.parent().isValid()) {
            continue;
        }
        const int first = std::max(range.top(), top);
        const int last = std::min(range.bottom(), bottom);
        if (first <= last) {
            region += QRect(0, (first - top) * m_rowHeight, viewport()->width(),
                            (last - first + 1) * m_rowHeight);
        }
    }
    return region;
}

bool ReceivedList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        // Whatever the panel appended before asking for a repaint is drawn by this paint.
        m_flushingForPaint = true;
        m_paintCoversViewport =
            static_cast<QPaintEvent*>(event)->region().contains(viewport()->rect());
        m_model.Flush();
        m_flushingForPaint = false;
    }
    return QListView::viewportEvent(event);
}

void ReceivedList::paintEvent(QPaintEvent* event)
{
    const int rows = m_model.rowCount();
    const QRect area = event->rect();
    const qint64 first = std::max<qint64>(RowAtY(area.top()), 0);
    const qint64 last = std::min<qint64>(RowAtY(area.bottom()), rows - 1);
    if (first > last) {
        return;
    }

    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const bool enabled = state.testFlag(QStyle::State_Enabled);
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    QModelIndex hover;
    if (viewport()->testAttribute(Qt::WA_Hover) && viewport()->underMouse()) {
        hover = indexAt(viewport()->mapFromGlobal(QCursor::pos()));
    }
    const QItemSelectionModel* selection = selectionModel();
    const bool alternate = alternatingRowColors();

    for (qint64 row = first; row <= last; ++row) {
        const QModelIndex index = m_model.index(int(row), 0);
        option.rect = visualRect(index);
        option.state = state;
        if (selection->isSelected(index)) {
            option.state |= QStyle::State_Selected;
        }
        if (enabled) {
            option.palette.setCurrentColorGroup(QPalette::Normal);
        }
        if (focus && index == current) {
            option.state |= QStyle::State_HasFocus;
        }
        option.state.setFlag(QStyle::State_MouseOver, index == hover);
        option.features.setFlag(QStyleOptionViewItem::Alternate, alternate && (row & 1));
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void ReceivedList::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        UpdateRowHeight();
    }
    QListView::changeEvent(event);
}

// The operator's selection is reported once per left click, when the button comes up, as the
// list box did; keyboard moves report each change.
void ReceivedList::mousePressEvent(QMouseEvent* event)
{
    m_model.Flush();
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_leftClick = true;
    QListView::mousePressEvent(event);
}

void ReceivedList::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_leftClick = true;
    QListView::mouseDoubleClickEvent(event);
}

void ReceivedList::mouseReleaseEvent(QMouseEvent* event)
{
    const bool endsClick = event->button() == Qt::LeftButton && m_leftClick;
    if (endsClick) {
        m_leftClick = false;
    }
    QListView::mouseReleaseEvent(event);
    const int selected = GetCurSel();
    if (endsClick && selected >= 0) {
        emit operatorSelectionChanged(selected);
    }
}

void ReceivedList::keyPressEvent(QKeyEvent* event)
{
    m_model.Flush();
    const int before = GetCurSel();
    QListView::keyPressEvent(event);
    const int after = GetCurSel();
    if (after >= 0 && after != before) {
        emit operatorSelectionChanged(after);
    }
}
