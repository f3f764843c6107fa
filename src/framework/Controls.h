#pragma once
// The widgets a template instantiates, with the few behaviours the dialog semantics need that
// plain Qt widgets lack.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

// Clicking a checked radio button keeps it checked; its group is unchecked by the dialog, which
// knows the group from template order rather than from the widget tree. For the same reason the
// arrow keys are left to the dialog. Qt announces a radio button that is not auto-exclusive as a
// check box, so this one brings its own accessible interface: a radio button with its checked
// state, whose action is a click.
class RadioButtonWidget : public QRadioButton {
    Q_OBJECT
public:
    explicit RadioButtonWidget(const QString& text, QWidget* parent = nullptr);

signals:
    // Up or Left (forward false), Down or Right (forward true).
    void arrowKey(bool forward);

protected:
    void nextCheckState() override { setChecked(true); }
    void keyPressEvent(QKeyEvent* event) override;
    // The whole control answers a click, as a dialog's radio button does, not only its text.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A drop-down list named by its label and reporting its selection as its value. Qt names a combo
// box by its current text on Linux, which loses the label to a screen reader.
class DropListWidget : public QComboBox {
    Q_OBJECT
public:
    explicit DropListWidget(QWidget* parent = nullptr);
};

// A horizontal trackbar that reports the end of a mouse interaction (drag or click), and only
// that: keyboard moves change the position silently. It pages by a fifth of its range.
class TrackbarWidget : public QSlider {
    Q_OBJECT
public:
    explicit TrackbarWidget(QWidget* parent = nullptr);

signals:
    void releasedCapture();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void sliderChange(SliderChange change) override;
};

// A label made of bars, arrows and dashes that only draws the time scale; painted as lines so
// it fits its rectangle in any font.
class ScaleLineWidget : public QWidget {
    Q_OBJECT
public:
    ScaleLineWidget(QString pattern, QWidget* parent = nullptr);
    QString Pattern() const { return m_pattern; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_pattern;
};

// Thin handles over bound controls, named as the panel's fields expect.
class CSliderCtrl {
public:
    void Attach(QSlider* slider) { m_slider = slider; }
    QSlider* Widget() const { return m_slider; }
    void SetRange(int min, int max, bool redraw = true);
    void SetPos(int pos);
    int GetPos() const;
    int GetRangeMin() const;
    int GetRangeMax() const;

private:
    QSlider* m_slider = nullptr;
};

class CComboBox {
public:
    void Attach(QComboBox* combo) { m_combo = combo; }
    QComboBox* Widget() const { return m_combo; }
    int GetCurSel() const;
    void SetCurSel(int index);
    int GetCount() const;

private:
    QComboBox* m_combo = nullptr;
};
