#pragma once
// The "Data Received:" list. A session can list millions of received bytes, so a byte line is
// kept as the byte and formatted only when drawn, and the view places rows by arithmetic on one
// row height instead of keeping a position per row.

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QListView>
#include <QString>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// Append-only line store: one byte per line in fixed-size blocks, so growing never copies the
// lines already held; the few text lines sit beside it, keyed by row.
class ReceivedLines {
public:
    explicit ReceivedLines(int maxLines = INT_MAX);

    int Count() const { return m_count; }
    // Both return false, and keep nothing, once the store holds maxLines lines.
    bool AddByte(uint8_t byte);
    bool AddText(QString text);
    void Clear();

    // Null for a byte line.
    const QString* TextAt(int row) const;
    uint8_t ByteAt(int row) const
    {
        return m_blocks[static_cast<size_t>(row) >> kBlockBits][row & (kBlockSize - 1)];
    }
    QString Display(int row) const;
    // First row in [from, to) whose text starts with prefix, or -1. byteHit says, per byte value,
    // whether a byte line's text starts with it.
    int FindPrefix(int from, int to, const std::array<bool, 256>& byteHit, const QString& prefix,
                   Qt::CaseSensitivity cs) const;
    // Heap bytes the lines occupy.
    size_t StorageBytes() const;

    // "%d  0x%.2X" of the byte.
    static const QString& ByteText(uint8_t byte);

private:
    static constexpr int kBlockBits = 16;
    static constexpr int kBlockSize = 1 << kBlockBits;

    struct TextLine {
        int row;
        QString text;
    };

    bool NewSlot(uint8_t byte);
    std::deque<TextLine>::const_iterator FirstTextAtOrAfter(int row) const;

    std::vector<std::unique_ptr<uint8_t[]>> m_blocks;
    std::deque<TextLine> m_texts;
    int m_count = 0;
    int m_maxLines;
};

// Rows are announced to views in batches: the panel appends hundreds of lines per timer tick, and
// one insertion signal per line would cost more than everything else together. The store itself
// is current at once; rowCount() catches up on the next paint or pass of the event loop.
class ReceivedListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ReceivedListModel(QObject* parent = nullptr);

    const ReceivedLines& Lines() const { return m_lines; }
    // The new line's row, or -1 when the list is full.
    int AddByte(uint8_t byte);
    int AddText(QString text);
    void Clear();
    // Announces the lines appended since the last call.
    void Flush();
    // While set, rows appended within holdMs of the last announcement wait until holdMs has
    // passed: a stream announced on every 2 ms tick relaid the view out 500 times a second.
    void SetAnnounceHold(int holdMs) { m_holdMs = holdMs; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Prefix searches (the view's type-ahead) scan the bytes instead of formatting every line.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits = 1,
                          Qt::MatchFlags flags = Qt::MatchFlags(Qt::MatchStartsWith |
                                                                Qt::MatchWrap)) const override;

private:
    void Appended();
    void PostedFlush();

    ReceivedLines m_lines;
    int m_shownRows = 0;
    bool m_flushPosted = false;
    int m_holdMs = 0;
    QElapsedTimer m_lastFlush;
};

class ReceivedList : public QListView {
    Q_OBJECT
public:
    explicit ReceivedList(QWidget* parent = nullptr);

    // Each returns the new line's index, or -1 when the list is full (2^31 - 1 lines). A text
    // line ends at its first zero byte.
    int AddByteLine(uint8_t byte);
    int AddString(const std::string& utf8);
    // Each byte is one character, as raw controller text arrives.
    int AddLatin1String(const std::string& bytes);
    void ResetContent();

    int GetCount() const { return m_model.Lines().Count(); }
    // UTF-8; empty when index is out of range.
    std::string GetText(int index) const;
    int GetCurSel() const;
    // -1 clears the selection. Scrolls the line into view; never signals.
    bool SetCurSel(int index);
    int GetTopIndex() const;

    ReceivedListModel& ListModel() { return m_model; }
    int RowHeight() const { return m_rowHeight; }

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;
    void reset() override;

signals:
    // The operator changed the selection (mouse or keyboard); never sent for changes made by
    // code or for emptying the list.
    void operatorSelectionChanged(int index);

protected:
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void scrollContentsBy(int dx, int dy) override;
    void verticalScrollbarValueChanged(int value) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;

protected slots:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;

private:
    void UpdateRowHeight();
    int TopRow() const;
    int PageRows() const;
    // Row under viewport y, which may lie outside the list.
    qint64 RowAtY(int y) const;

    ReceivedListModel m_model;
    int m_rowHeight = 1;
    bool m_flushingForPaint = false;
    bool m_paintCoversViewport = false;  // the paint being flushed for draws every row anyway
    bool m_leftClick = false;
};
