// The receive side on the panel: every timer tick drains the driver's queue, lists each byte and
// feeds it to the reply decoder, which reaches the panel through the host below.

#include <QComboBox>

#include "panel/CShutterPanelDlg.h"
#include "panel/ReceivedList.h"
#include "protocol/Frames.h"
#include "protocol/ReplyDecoder.h"
#include "usb/ControllerLink.h"
#include "usb/LinkFlags.h"

namespace {

class PanelDecoderHost : public DecoderHost {
public:
    explicit PanelDecoderHost(CShutterPanelDlg& dlg) : m_dlg(dlg) {}

    PanelState& Panel() override { return m_dlg; }
    void Pull() override { m_dlg.UpdateData(true); }
    void Push() override { m_dlg.UpdateData(false); }
    void ListByte(uint8_t byte) override { m_dlg.m_listReceived->AddByteLine(byte); }
    void ListText(const std::string& latin1) override
    {
        m_dlg.m_listReceived->AddLatin1String(latin1);
    }
    void SetCaption(Caption which, const std::string& text) override
    {
        switch (which) {
            case Caption::NdRadio:
                m_dlg.SetDlgItemText(IDC_ND, text);
                break;
            case Caption::TransitionTimes:
                m_dlg.SetDlgItemText(IDC_OPENING_TIME, text);
                m_dlg.SetDlgItemText(IDC_CLOSING_TIME, text);
                break;
            case Caption::ClosedDisplay:
                m_dlg.SetDlgItemText(IDC_CLOSED_DISPLAY, text);
                break;
            case Caption::ExposureDisplay:
                m_dlg.SetDlgItemText(IDC_EXPOSURE_DISPLAY, text);
                break;
            case Caption::CycleDisplay:
                m_dlg.SetDlgItemText(IDC_CYCLE_DISPLAY, text);
                break;
        }
    }
    void SetPulseBox(PulseBox which, bool checked) override
    {
        m_dlg.CheckDlgButton(which == PulseBox::Trigger ? IDC_TRIGGER_PULSE : IDC_SYNC_PULSE,
                             checked);
    }
    void SelectTimer(int index) override { m_dlg.m_comboTimer.SetCurSel(index); }
    void LoadEditor(int index) override { m_dlg.LoadEditorFromRecord(index); }
    void Write(const Frame& frame) override { m_sent = m_dlg.WriteFrame(frame); }
    bool LastWriteSent() const override { return m_sent; }

private:
    CShutterPanelDlg& m_dlg;
    bool m_sent = true;
};

}  // namespace

void CShutterPanelDlg::CreateDecoder()
{
    m_decoderHost = std::make_unique<PanelDecoderHost>(*this);
    m_decoder = std::make_unique<ReplyDecoder>(*m_decoderHost);
    m_countShowHold.setSingleShot(true);
    m_countShowHold.setInterval(kCountShowMs);
    connect(&m_countShowHold, &QTimer::timeout, this, &CShutterPanelDlg::ShowReceivedCount);
}

void CShutterPanelDlg::ExchangeReceivedCount(CDataExchange* pDX)
{
    // The control is read-only and may lag behind the field while held: the field is the count,
    // and a pull leaves it alone.
    if (pDX->m_bSaveAndValidate)
        return;
    if (m_bTimerTick && m_countShowHold.isActive()) {
        m_bCountStale = true;
        return;
    }
    DDX_Text(pDX, IDC_RECEIVED_BYTES, m_nReceivedBytes);
    m_bCountStale = false;
}

void CShutterPanelDlg::ShowReceivedCount()
{
    if (m_bCountStale) {
        m_bCountStale = false;
        SetDlgItemText(IDC_RECEIVED_BYTES, std::to_string(m_nReceivedBytes));
        // Otherwise the next tick's push shows the count again a moment later.
        m_countShowHold.start();
    }
}

void CShutterPanelDlg::PollReplies()
{
    // A box opened inside a tick runs its own event loop, and so does a box or dialog of an
    // operation that has pulled the panel and will push it: a tick in between would decode into
    // fields the operation then overwrites. The bytes wait in the driver's queue meanwhile.
    if (m_bInPoll || ModalDepth() > 0 || !g_bUsbOpen)
        return;
    m_bInPoll = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_bInPoll};

    const LinkPoll poll = PollLink(m_usb, *m_decoder);
    if (poll.kind == LinkPoll::Lost) {
        OnLinkLost();
        return;
    }
    if (poll.kind == LinkPoll::Idle)
        return;
    m_bTickRead = true;
    // Both ways end with a push. The controls that changed have asked to be redrawn; painting
    // the whole panel here, on every tick that finds bytes, would cost more than everything
    // else together.
    if (!poll.decoded)
        UpdateData(false);
    if (m_bTimerTick && !m_countShowHold.isActive())
        m_countShowHold.start();
}

void CShutterPanelDlg::OnLinkLost()
{
    UpdateData(true);
    m_strUsbStatus = "USB not open.";
    m_usb.NoteLinkLost();
    OnBlinkOff();
    m_usb.Close();
    g_bUsbOpen = 0;
    UpdateData(false);
    RepaintNow();
}
