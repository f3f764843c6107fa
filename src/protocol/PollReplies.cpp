// The receive side: every timer tick drains the driver's queue into the "Data Received:" list.

#include <QCoreApplication>
#include <algorithm>

#include "panel/CShutterPanelDlg.h"
#include "panel/ReceivedList.h"
#include "usb/LinkFlags.h"

namespace {
constexpr DWORD kReadChunk = 600;
}

void CShutterPanelDlg::PollReplies()
{
    // A driver message box opened inside a tick runs its own event loop; the next tick must
    // not poll again until this one is done.
    if (m_bInPoll || !g_bUsbOpen)
        return;
    m_bInPoll = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_bInPoll};

    DWORD queued = 0;
    if (m_usb.GetQueueStatus(&queued) != FT_OK) {
        OnLinkLost();
        return;
    }
    if (queued == 0)
        return;

    unsigned char buffer[kReadChunk];
    DWORD got = 0;
    const FT_STATUS status = m_usb.Read(buffer, std::min(queued, kReadChunk), &got);
    NoteActivity();
    if (got > 0 && got <= kReadChunk && (status == FT_OK || status == FT_IO_ERROR)) {
        UpdateData(true);
        for (DWORD i = 0; i < got; ++i) ListByte(buffer[i]);
    }
    // The controls that changed have asked to be redrawn; painting the whole panel here, up to
    // 500 times a second while bytes stream in, would cost more than everything else together.
    UpdateData(false);
}

void CShutterPanelDlg::ListByte(unsigned char byte)
{
    ++m_nReceivedBytes;
    m_listReceived->AddByteLine(byte);
}

void CShutterPanelDlg::OnLinkLost()
{
    UpdateData(true);
    m_strUsbStatus = "USB not open.";
    OnBlinkOff();
    m_usb.Close();
    g_bUsbOpen = 0;
    UpdateData(false);
    RepaintNow();
}
