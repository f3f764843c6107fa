// Panel handlers of the link transcript: --transcript, the context-menu entry and the report of a
// file that cannot be written.
#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"

namespace {
constexpr const char* kWarningCaption = "Warning";
}  // namespace

void CShutterPanelDlg::StartTranscript(const std::string& path)
{
    ReportTranscriptFailure(m_usb.Transcript().Stop());
    ReportTranscriptFailure(m_usb.Transcript().Start(path));
}

void CShutterPanelDlg::OnRecordTranscript()
{
    LinkTranscript& transcript = m_usb.Transcript();
    if (transcript.Recording()) {
        ReportTranscriptFailure(transcript.Stop());
        return;
    }
    const auto path =
        GetPrompts().SaveFileName("Transcripts (*.txt)|*.txt|All Files (*.*)|*.*||", "txt");
    if (path)
        StartTranscript(*path);
}

void CShutterPanelDlg::CheckTranscript()
{
    // A box inside another modal loop would interleave with the operation that opened it; the
    // failure waits for the next tick outside it.
    if (ModalDepth() == 0)
        ReportTranscriptFailure(m_usb.Transcript().TakeFailure());
}

void CShutterPanelDlg::ReportTranscriptFailure(const std::optional<std::string>& failure)
{
    if (failure)
        GetPrompts().MessageBox(*failure, kWarningCaption, MbIcon::Exclamation, MbButtons::Ok);
}
