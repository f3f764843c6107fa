#pragma once
// The dialog layer: a QDialog built from a DialogTemplate, with data exchange between fields and
// controls, the notification lock-out, and a dispatch table from (control, notification) to one
// handler.

#include <QDialog>
#include <QFont>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/DialogTemplate.h"

class Prompts;
class CDataExchange;

enum class Notification {
    Clicked,          // push buttons, radio buttons, check boxes
    EditChange,       // an edit's text changed
    SelChange,        // list or combo selection changed by the operator
    ReleasedCapture,  // trackbar released after a mouse drag or click
};

class CDialog : public QDialog {
    Q_OBJECT
public:
    CDialog(DialogTemplate dlgTemplate, Prompts& prompts, QWidget* parent = nullptr);
    ~CDialog() override;

    // Instantiates the controls (once) and runs OnInitDialog. Returns its result.
    bool Create();

    // Runs the dialog modally; returns the code passed to EndDialog.
    int DoModal();
    void EndDialog(int result);

    bool UpdateData(bool bSaveAndValidate = true);
    virtual void DoDataExchange(CDataExchange* pDX);

    QWidget* GetDlgItem(int id) const;
    template <class W>
    W* Item(int id) const
    {
        return qobject_cast<W*>(GetDlgItem(id));
    }
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void CheckDlgButton(int id, bool checked);
    bool IsDlgButtonChecked(int id) const;
    // Checks checkId and unchecks every other radio button from firstId to lastId (by id).
    void CheckRadioButton(int firstId, int lastId, int checkId);
    void EnableDlgItem(int id, bool enable);
    bool IsDlgItemEnabled(int id) const;

    // The radio buttons of the group that starts at firstId, in template order.
    const std::vector<int>& RadioGroup(int firstId) const;

    // Dialog units to pixels, from the dialog font's average character size.
    int DluToPixelsX(int dlu) const;
    int DluToPixelsY(int dlu) const;
    QRect MapDialogRect(int x, int y, int w, int h) const;

    // A notification from one of the dialog's controls. Swallowed while an exchange runs.
    void Notify(int id, Notification code);
    bool NotificationsLocked() const { return m_nExchangeDepth > 0; }

    const DialogTemplate& Template() const { return m_template; }
    // Every prompt shown through here counts as a modal box open on this dialog's behalf.
    Prompts& GetPrompts() const;
    // Modal boxes and dialogs open on behalf of this dialog's operations. While any is open a
    // periodic task must not step in between an operation's pull and its push.
    int ModalDepth() const { return m_nModalDepth; }
    class ModalScope {
    public:
        explicit ModalScope(const CDialog& dlg) : m_depth(dlg.m_nModalDepth) { ++m_depth; }
        ~ModalScope() { --m_depth; }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

    private:
        int& m_depth;
    };
    QWidget* Content() const { return m_content; }
    static QFont DialogFont();

protected:
    virtual bool OnInitDialog();
    // Every command passes here first; returning false drops it.
    virtual bool OnCommand(int id, Notification code);
    virtual void OnOK();
    virtual void OnCancel();
    // Controls the template cannot build on its own (the panel's received-bytes list).
    virtual QWidget* CreateCustomControl(const ControlTemplate& ctl, QWidget* parent);

    template <class T>
    void Map(int id, Notification code, void (T::*handler)())
    {
        m_dispatch[{id, code}] = [this, handler] { (static_cast<T*>(this)->*handler)(); };
    }

    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    void accept() override;

    // Where the controls live; the panel scrolls it.
    QWidget* m_content = nullptr;

private:
    void CreateControls();
    QWidget* CreateControl(const ControlTemplate& ctl);
    // The radio buttons of the run that holds id: from the nearest group start at or before it
    // up to the next group start, in template order.
    std::vector<int> RadioRunOf(int id) const;
    void OnRadioClicked(int id);
    void OnRadioArrow(int id, bool forward);

    DialogTemplate m_template;
    std::map<int, QWidget*> m_items;
    std::vector<QWidget*> m_itemById;
    mutable std::map<int, std::vector<int>> m_radioGroups;
    std::map<std::pair<int, Notification>, std::function<void()>> m_dispatch;
    int m_nExchangeDepth = 0;
    mutable int m_nModalDepth = 0;
    std::unique_ptr<Prompts> m_guardedPrompts;
    bool m_bCreated = false;
    void FitBaseUnitsToCaptions();

    double m_baseX = 6;
    double m_baseY = 13;
};

// One exchange run, in either direction.
class CDataExchange {
public:
    CDataExchange(CDialog* dlg, bool save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    // Ends the exchange with failure after focusing the offending control.
    [[noreturn]] void Fail(int id);

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

class CSliderCtrl;
class CComboBox;

void DDX_Control(CDataExchange* pDX, int id, CSliderCtrl& ctrl);
void DDX_Control(CDataExchange* pDX, int id, CComboBox& ctrl);
template <class W>
void DDX_Control(CDataExchange* pDX, int id, W*& widget)
{
    if (!widget)
        widget = pDX->m_pDlgWnd->template Item<W>(id);
}
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Radio(CDataExchange* pDX, int id, int& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& value);
