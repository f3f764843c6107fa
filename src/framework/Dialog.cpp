#include "framework/Dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <limits>

#include "framework/Controls.h"
#include "framework/Prompts.h"
#include "timing/IntegerReading.h"

namespace {
struct ExchangeFailed {};

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Forwards to the real prompts while holding a modal scope open.
class GuardedPrompts : public Prompts {
public:
    GuardedPrompts(const CDialog& dlg, Prompts& inner) : m_dlg(dlg), m_inner(inner) {}
    MbResult MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                        MbButtons buttons) override
    {
        CDialog::ModalScope scope(m_dlg);
        return m_inner.MessageBox(text, caption, icon, buttons);
    }
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override
    {
        CDialog::ModalScope scope(m_dlg);
        return m_inner.OpenFileName(filter, defaultExt);
    }
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override
    {
        CDialog::ModalScope scope(m_dlg);
        return m_inner.SaveFileName(filter, defaultExt);
    }

private:
    const CDialog& m_dlg;
    Prompts& m_inner;
};
}  // namespace

CDialog::CDialog(DialogTemplate dlgTemplate, Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      m_template(std::move(dlgTemplate)),
      m_guardedPrompts(std::make_unique<GuardedPrompts>(*this, prompts))
{
    setFont(DialogFont());
    // Group boxes as frames with the title on the line, not as filled panels.
    setStyleSheet(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 0px; margin-top: 0.6em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
    setWindowTitle(Q(m_template.caption));
    QFontMetrics fm(font());
    // The average width of the Latin letters, rounded as the classic dialog units are.
    const int letters =
        fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = fm.height();
}

CDialog::~CDialog() = default;

Prompts& CDialog::GetPrompts() const
{
    return *m_guardedPrompts;
}

QFont CDialog::DialogFont()
{
    QFont f = QApplication::font();
    if (QFontDatabase::families().contains("DejaVu Sans"))
        f.setFamily("DejaVu Sans");
    f.setPointSize(8);
    return f;
}

int CDialog::DluToPixelsX(int dlu) const
{
    return static_cast<int>(dlu * m_baseX / 4 + 0.5);
}
int CDialog::DluToPixelsY(int dlu) const
{
    return static_cast<int>(dlu * m_baseY / 8 + 0.5);
}

void CDialog::FitBaseUnitsToCaptions()
{
    // The template's widths were made for a narrower font; widen the horizontal unit until the
    // longest caption for its width fits, so no caption is ever cut.
    const QFontMetrics fm(font());
    QStyle* st = style();
    const int radioExtra = st->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                           st->pixelMetric(QStyle::PM_RadioButtonLabelSpacing) + 2;
    const int checkExtra = st->pixelMetric(QStyle::PM_IndicatorWidth) +
                           st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 2;
    const int buttonExtra = 2 * st->pixelMetric(QStyle::PM_ButtonMargin);
    for (const ControlTemplate& ctl : m_template.controls) {
        if (ctl.caption.empty() || ctl.w <= 0)
            continue;
        int extra = 0;
        switch (ctl.kind) {
            case ControlKind::RadioButton:
                extra = radioExtra;
                break;
            case ControlKind::CheckBox:
                extra = checkExtra;
                break;
            case ControlKind::PushButton:
            case ControlKind::DefPushButton:
                extra = buttonExtra;
                break;
            case ControlKind::Label:
                extra = ctl.style & kStyleBorder ? 4 : 1;
                break;
            case ControlKind::GroupBox:
                extra = 16;
                break;
            default:
                continue;
        }
        const int needed = fm.horizontalAdvance(QString::fromStdString(ctl.caption)) + extra;
        m_baseX = std::max(m_baseX, needed * 4.0 / ctl.w);
    }
}

QRect CDialog::MapDialogRect(int x, int y, int w, int h) const
{
    const int left = DluToPixelsX(x);
    const int top = DluToPixelsY(y);
    return QRect(left, top, DluToPixelsX(x + w) - left, DluToPixelsY(y + h) - top);
}

bool CDialog::Create()
{
    if (!m_bCreated) {
        m_bCreated = true;
        CreateControls();
    }
    return OnInitDialog();
}

int CDialog::DoModal()
{
    if (!m_bCreated && !Create())
        return -1;
    return exec();
}

void CDialog::EndDialog(int result)
{
    done(result);
}

void CDialog::CreateControls()
{
    FitBaseUnitsToCaptions();
    m_content = new QWidget(this);
    m_content->setObjectName("content");
    m_content->setFixedSize(DluToPixelsX(m_template.width), DluToPixelsY(m_template.height));
    int staticIndex = 0;
    std::vector<QWidget*> groupBoxes;
    for (const ControlTemplate& ctl : m_template.controls) {
        QWidget* w = CreateControl(ctl);
        // Set on each control: a style's per-class fonts would otherwise win over the dialog's.
        w->setFont(font());
        w->setGeometry(MapDialogRect(ctl.x, ctl.y, ctl.w, ctl.h));
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            // The template's height is the dropped-down height; the closed box is one line.
            QRect r = combo->geometry();
            r.setHeight(DluToPixelsY(12));
            combo->setGeometry(r);
            combo->setMaxVisibleItems(std::max(1, ctl.h / 10));
        }
        if (ctl.id == IDC_STATIC) {
            w->setObjectName(QString("static%1").arg(staticIndex++));
        } else {
            w->setObjectName(QString("ctl%1").arg(ctl.id));
            m_items[ctl.id] = w;
            if (ctl.id >= 0) {
                if (std::size_t(ctl.id) >= m_itemById.size())
                    m_itemById.resize(std::size_t(ctl.id) + 1, nullptr);
                m_itemById[std::size_t(ctl.id)] = w;
            }
        }
        // A captioned control is named by the text it shows at the time it is asked; a fixed
        // name would go stale as soon as the text changes.
        if (!ctl.accessibleName.empty())
            w->setAccessibleName(Q(ctl.accessibleName));
        if (ctl.kind == ControlKind::GroupBox)
            groupBoxes.push_back(w);
    }
    // Group boxes are frames behind the controls they surround, never in their way.
    for (QWidget* g : groupBoxes) g->lower();
    if (!layout())
        setFixedSize(m_content->size());
}

QWidget* CDialog::CreateControl(const ControlTemplate& ctl)
{
    const QString caption = Q(ctl.caption);
    const int id = ctl.id;
    switch (ctl.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* b = new QPushButton(caption, m_content);
            if (ctl.kind == ControlKind::DefPushButton)
                b->setDefault(true);
            connect(b, &QPushButton::clicked, this,
                    [this, id] { Notify(id, Notification::Clicked); });
            return b;
        }
        case ControlKind::RadioButton: {
            auto* b = new RadioButtonWidget(caption, m_content);
            // Its run is the template's, not its parent's children: the dialog clears it.
            b->setAutoExclusive(false);
            connect(b, &QAbstractButton::clicked, this, [this, id] { OnRadioClicked(id); });
            connect(b, &RadioButtonWidget::arrowKey, this,
                    [this, id](bool forward) { OnRadioArrow(id, forward); });
            return b;
        }
        case ControlKind::CheckBox: {
            auto* b = new QCheckBox(caption, m_content);
            connect(b, &QAbstractButton::clicked, this,
                    [this, id] { Notify(id, Notification::Clicked); });
            return b;
        }
        case ControlKind::Edit: {
            auto* e = new QLineEdit(caption, m_content);
            // An edit control holds whatever it is given; Qt's default cut at 32767 characters
            // would shorten a long text loaded from a file at the next pull.
            e->setMaxLength(std::numeric_limits<int>::max());
            e->setReadOnly(ctl.style & kStyleReadOnly);
            if (ctl.style & kStyleCentre)
                e->setAlignment(Qt::AlignCenter);
            // Every change notifies, as an edit control does; the lock-out keeps exchanges quiet.
            connect(e, &QLineEdit::textChanged, this,
                    [this, id] { Notify(id, Notification::EditChange); });
            return e;
        }
        case ControlKind::Label: {
            auto* l = new QLabel(caption, m_content);
            l->setAlignment((ctl.style & kStyleCentre ? Qt::AlignHCenter : Qt::AlignLeft) |
                            (ctl.style & kStyleBorder ? Qt::AlignVCenter : Qt::AlignTop));
            if (ctl.style & kStyleBorder)
                l->setFrameStyle(QFrame::Box | QFrame::Plain);
            return l;
        }
        case ControlKind::ScaleLine:
            return new ScaleLineWidget(caption, m_content);
        case ControlKind::GroupBox: {
            auto* g = new QGroupBox(caption, m_content);
            g->setAttribute(Qt::WA_TransparentForMouseEvents);
            g->setFocusPolicy(Qt::NoFocus);
            return g;
        }
        case ControlKind::Trackbar: {
            auto* t = new TrackbarWidget(m_content);
            connect(t, &TrackbarWidget::releasedCapture, this,
                    [this, id] { Notify(id, Notification::ReleasedCapture); });
            return t;
        }
        case ControlKind::DropList: {
            auto* c = new DropListWidget(m_content);
            c->setEditable(false);
            // activated() fires for the operator's choices only, as the selection-change
            // notification does.
            connect(c, &QComboBox::activated, this,
                    [this, id] { Notify(id, Notification::SelChange); });
            return c;
        }
        case ControlKind::Icon: {
            auto* l = new QLabel(m_content);
            l->setPixmap(windowIcon().pixmap(32, 32));
            return l;
        }
        case ControlKind::ListBox:
            break;
    }
    return CreateCustomControl(ctl, m_content);
}

QWidget* CDialog::CreateCustomControl(const ControlTemplate&, QWidget* parent)
{
    return new QListView(parent);
}

std::vector<int> CDialog::RadioRunOf(int id) const
{
    const auto& controls = m_template.controls;
    std::size_t at = 0;
    while (at < controls.size() && controls[at].id != id) ++at;
    if (at == controls.size())
        return {};
    std::size_t begin = at;
    while (begin > 0 && !controls[begin].groupStart) --begin;
    std::vector<int> ids;
    for (std::size_t i = begin; i < controls.size(); ++i) {
        if (i > begin && controls[i].groupStart)
            break;
        if (controls[i].kind == ControlKind::RadioButton)
            ids.push_back(controls[i].id);
    }
    return ids;
}

void CDialog::OnRadioClicked(int id)
{
    // An automatic radio button checks itself and clears the rest of its run.
    for (int other : RadioRunOf(id))
        if (other != id)
            CheckDlgButton(other, false);
    CheckDlgButton(id, true);
    Notify(id, Notification::Clicked);
}

void CDialog::OnRadioArrow(int id, bool forward)
{
    // The arrows go round the run, skipping buttons that cannot take the focus; the button they
    // reach is clicked unless already checked, so its handler runs as for a mouse click.
    const std::vector<int> run = RadioRunOf(id);
    const auto at = std::find(run.begin(), run.end(), id);
    if (at == run.end())
        return;
    const std::size_t n = run.size();
    std::size_t i = static_cast<std::size_t>(at - run.begin());
    for (std::size_t step = 1; step < n; ++step) {
        i = forward ? (i + 1) % n : (i + n - 1) % n;
        auto* next = qobject_cast<QAbstractButton*>(GetDlgItem(run[i]));
        if (!next || !next->isEnabled() || !next->isVisibleTo(this))
            continue;
        next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        if (!next->isChecked())
            next->click();
        return;
    }
}

const std::vector<int>& CDialog::RadioGroup(int firstId) const
{
    // Every exchange asks for every group; the template never changes, so each is found once.
    auto cached = m_radioGroups.find(firstId);
    if (cached != m_radioGroups.end())
        return cached->second;
    std::vector<int> ids;
    bool inGroup = false;
    for (const ControlTemplate& ctl : m_template.controls) {
        if (inGroup && ctl.groupStart)
            break;
        if (ctl.id == firstId && ctl.id != IDC_STATIC)
            inGroup = true;
        if (inGroup && ctl.kind == ControlKind::RadioButton)
            ids.push_back(ctl.id);
    }
    return m_radioGroups.emplace(firstId, std::move(ids)).first->second;
}

QWidget* CDialog::GetDlgItem(int id) const
{
    // A table by id: the exchanges look controls up hundreds of times a second.
    return id >= 0 && std::size_t(id) < m_itemById.size() ? m_itemById[std::size_t(id)] : nullptr;
}

void CDialog::SetDlgItemText(int id, const std::string& text)
{
    QWidget* w = GetDlgItem(id);
    const QString t = Q(text);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(t);
        // A set text shows from its start, as an edit control does.
        e->setCursorPosition(0);
    } else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(t);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(t);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(t);
}

std::string CDialog::GetDlgItemText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text().toStdString();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText().toStdString();
    return {};
}

void CDialog::CheckDlgButton(int id, bool checked)
{
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id))) {
        if (b->isChecked() != checked)
            b->setChecked(checked);
    }
}

bool CDialog::IsDlgButtonChecked(int id) const
{
    auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return b && b->isChecked();
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId)
{
    for (const auto& [id, w] : m_items)
        if (id >= firstId && id <= lastId && qobject_cast<QRadioButton*>(w))
            CheckDlgButton(id, id == checkId);
}

void CDialog::EnableDlgItem(int id, bool enable)
{
    if (QWidget* w = GetDlgItem(id))
        w->setEnabled(enable);
}

bool CDialog::IsDlgItemEnabled(int id) const
{
    QWidget* w = GetDlgItem(id);
    return w && w->isEnabled();
}

bool CDialog::UpdateData(bool bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    ++m_nExchangeDepth;
    bool ok = true;
    try {
        DoDataExchange(&dx);
    } catch (const ExchangeFailed&) {
        ok = false;
    }
    --m_nExchangeDepth;
    return ok;
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialog::Notify(int id, Notification code)
{
    if (NotificationsLocked())
        return;
    OnCommand(id, code);
}

bool CDialog::OnCommand(int id, Notification code)
{
    auto it = m_dispatch.find({id, code});
    if (it != m_dispatch.end()) {
        it->second();
    } else if (id == IDOK && code == Notification::Clicked) {
        OnOK();
    } else if (id == IDCANCEL && code == Notification::Clicked) {
        OnCancel();
    }
    return true;
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(QDialog::Accepted);
}

void CDialog::OnCancel()
{
    EndDialog(QDialog::Rejected);
}

void CDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        OnCommand(IDCANCEL, Notification::Clicked);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDialog::reject()
{
    OnCommand(IDCANCEL, Notification::Clicked);
}

void CDialog::accept()
{
    OnCommand(IDOK, Notification::Clicked);
}

void CDataExchange::Fail(int id)
{
    if (QWidget* w = m_pDlgWnd->GetDlgItem(id))
        w->setFocus();
    throw ExchangeFailed{};
}

void DDX_Control(CDataExchange* pDX, int id, CSliderCtrl& ctrl)
{
    if (!ctrl.Widget())
        ctrl.Attach(pDX->m_pDlgWnd->Item<QSlider>(id));
}

void DDX_Control(CDataExchange* pDX, int id, CComboBox& ctrl)
{
    if (!ctrl.Widget())
        ctrl.Attach(pDX->m_pDlgWnd->Item<QComboBox>(id));
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value)
{
    if (pDX->m_bSaveAndValidate) {
        value = pDX->m_pDlgWnd->GetDlgItemText(id);
    } else if (pDX->m_pDlgWnd->GetDlgItemText(id) != value) {
        pDX->m_pDlgWnd->SetDlgItemText(id, value);
    }
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    CDialog* dlg = pDX->m_pDlgWnd;
    if (pDX->m_bSaveAndValidate) {
        const std::optional<int> parsed = ReadWholeInteger(dlg->GetDlgItemText(id));
        if (!parsed) {
            dlg->GetPrompts().MessageBox("Please enter an integer.",
                                         QCoreApplication::applicationName().toStdString(),
                                         MbIcon::Exclamation, MbButtons::Ok);
            pDX->Fail(id);
        }
        value = parsed.value_or(0);
    } else {
        const std::string text = std::to_string(value);
        if (dlg->GetDlgItemText(id) != text)
            dlg->SetDlgItemText(id, text);
    }
}

void DDX_Radio(CDataExchange* pDX, int id, int& value)
{
    CDialog* dlg = pDX->m_pDlgWnd;
    const std::vector<int>& group = dlg->RadioGroup(id);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
        for (std::size_t i = 0; i < group.size(); ++i)
            if (dlg->IsDlgButtonChecked(group[i]))
                value = static_cast<int>(i);
    } else {
        for (std::size_t i = 0; i < group.size(); ++i)
            dlg->CheckDlgButton(group[i], static_cast<int>(i) == value);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& value)
{
    auto* combo = pDX->m_pDlgWnd->Item<QComboBox>(id);
    if (!combo)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = combo->currentIndex();
    } else if (combo->currentIndex() != value) {
        combo->setCurrentIndex(value < combo->count() ? value : -1);
    }
}
