#include "framework/Controls.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <algorithm>

namespace {

class AccessibleRadioButton : public QAccessibleWidget {
public:
    explicit AccessibleRadioButton(RadioButtonWidget* button)
        : QAccessibleWidget(button, QAccessible::RadioButton)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return Button()->text().remove('&');
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Button()->isChecked();
        s.pressed = Button()->isDown();
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction() << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    // Either action is a click: the button checks itself, its run is cleared and its handler
    // runs, as for the mouse. A plain toggle would bypass all three.
    void doAction(const QString& name) override
    {
        if (name == toggleAction() || name == pressAction()) {
            Button()->click();
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

class AccessibleDropList : public QAccessibleWidget {
public:
    explicit AccessibleDropList(DropListWidget* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return Combo()->currentText();
        return QAccessibleWidget::text(t);
    }

    // The drop-down list, as Qt's own combo box offers it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == Combo()->view() ? 0 : -1;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == showMenuAction() || name == pressAction())
            Combo()->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* ControlAccessibility(const QString&, QObject* object)
{
    if (auto* button = qobject_cast<RadioButtonWidget*>(object))
        return new AccessibleRadioButton(button);
    if (auto* combo = qobject_cast<DropListWidget*>(object))
        return new AccessibleDropList(combo);
    return nullptr;
}

void InstallAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(ControlAccessibility);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace

RadioButtonWidget::RadioButtonWidget(const QString& text, QWidget* parent)
    : QRadioButton(text, parent)
{
    InstallAccessibility();
}

DropListWidget::DropListWidget(QWidget* parent) : QComboBox(parent)
{
    InstallAccessibility();
}

void RadioButtonWidget::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
            case Qt::Key_Up:
            case Qt::Key_Left:
                emit arrowKey(false);
                return;
            case Qt::Key_Down:
            case Qt::Key_Right:
                emit arrowKey(true);
                return;
            default:
                break;
        }
    }
    QRadioButton::keyPressEvent(event);
}

namespace {
// One fifth of the range, rounded down, at least 1: what a click beside the handle moves.
int TrackbarPage(const QSlider& slider)
{
    return std::max(1, (slider.maximum() - slider.minimum()) / 5);
}
}  // namespace

TrackbarWidget::TrackbarWidget(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setTickPosition(QSlider::NoTicks);
    setPageStep(TrackbarPage(*this));
}

void TrackbarWidget::sliderChange(SliderChange change)
{
    if (change == SliderRangeChange)
        setPageStep(TrackbarPage(*this));
    QSlider::sliderChange(change);
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
