#include "framework/Controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>

TrackbarWidget::TrackbarWidget(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setTickPosition(QSlider::NoTicks);
}

void TrackbarWidget::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit releasedCapture();
}

ScaleLineWidget::ScaleLineWidget(QString pattern, QWidget* parent)
    : QWidget(parent), m_pattern(std::move(pattern))
{
}

void ScaleLineWidget::paintEvent(QPaintEvent*)
{
    // Each character of the pattern gets an equal share of the width: '|' a tick, '<' and '>'
    // arrow heads, '-' a single line, '=' a double line.
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const int n = m_pattern.size();
    if (n == 0)
        return;
    const double step = double(width() - 1) / n;
    const int mid = height() / 2;
    const int arrow = std::max(2, height() / 4);
    for (int i = 0; i < n; ++i) {
        const double x0 = i * step;
        const double x1 = (i + 1) * step;
        const QChar c = m_pattern.at(i);
        if (c == '-') {
            p.drawLine(QPointF(x0, mid), QPointF(x1, mid));
        } else if (c == '=') {
            p.drawLine(QPointF(x0, mid - 1), QPointF(x1, mid - 1));
            p.drawLine(QPointF(x0, mid + 1), QPointF(x1, mid + 1));
        } else if (c == '|') {
            const double x = (x0 + x1) / 2;
            p.drawLine(QPointF(x, 1), QPointF(x, height() - 2));
        } else if (c == '<') {
            p.drawLine(QPointF(x0, mid), QPointF(x1, mid));
            p.drawLine(QPointF(x0, mid), QPointF(x0 + arrow, mid - arrow));
            p.drawLine(QPointF(x0, mid), QPointF(x0 + arrow, mid + arrow));
        } else if (c == '>') {
            p.drawLine(QPointF(x0, mid), QPointF(x1, mid));
            p.drawLine(QPointF(x1, mid), QPointF(x1 - arrow, mid - arrow));
            p.drawLine(QPointF(x1, mid), QPointF(x1 - arrow, mid + arrow));
        }
    }
}

void CSliderCtrl::SetRange(int min, int max, bool redraw)
{
    m_slider->setRange(min, max);
    if (redraw)
        m_slider->update();
}

void CSliderCtrl::SetPos(int pos)
{
    m_slider->setValue(pos);
}
int CSliderCtrl::GetPos() const
{
    return m_slider->value();
}
int CSliderCtrl::GetRangeMin() const
{
    return m_slider->minimum();
}
int CSliderCtrl::GetRangeMax() const
{
    return m_slider->maximum();
}

int CComboBox::GetCurSel() const
{
    return m_combo->currentIndex();
}
void CComboBox::SetCurSel(int index)
{
    m_combo->setCurrentIndex(index);
}
int CComboBox::GetCount() const
{
    return m_combo->count();
}
