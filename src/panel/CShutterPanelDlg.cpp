#include "panel/CShutterPanelDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "framework/Profile.h"
#include "framework/Prompts.h"
#include "panel/CAboutDlg.h"
#include "panel/CDiagnosisDlg.h"
#include "panel/PanelTemplate.h"
#include "panel/ReceivedList.h"
#include "panel/ScrollMath.h"
#include "protocol/ReplyDecoder.h"
#include "usb/DeviceConnection.h"
#include "usb/LinkExercise.h"
#include "usb/LinkFlags.h"

namespace {
constexpr int kActivePollMs = 2;
// A 2 ms timer alone costs a few per cent of a core in wake-ups. While the controller streams
// (a tick reads bytes right after one that did) the poll runs every 10 ms: 128 bytes a tick at
// the link's full rate, far below the 600 one tick takes, and sooner than a screen shows them.
// After half a second with no byte and no operator action it runs every 20 ms: the driver
// queues what arrives meanwhile (a few hundred bytes at most). The first byte after a quiet
// tick, and every operator action, bring the 2 ms period back.
constexpr int kStreamPollMs = 10;
constexpr int kIdlePollMs = 20;
constexpr qint64 kIdleAfterMs = 500;
}  // namespace

CShutterPanelDlg::CShutterPanelDlg(PanelOptions options)
    : CDialog(PanelTemplate(), *options.prompts), m_options(std::move(options))
{
    // Resources of a static library are registered by hand.
    Q_INIT_RESOURCE(icons);
    for (int size : {16, 32, 48, 64, 128, 256})
        m_hIcon.addFile(QString(":/icons/quillon-%1.png").arg(size), QSize(size, size));
    // A pop-up with caption, system menu and minimize box, no maximize box, sizing border.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    m_usb.SetReporter([this](const std::string& text) {
        GetPrompts().MessageBox(text, AppName(), MbIcon::Exclamation, MbButtons::Ok);
    });
    MapHandlers();
    if (!m_options.nowMs) {
        m_options.nowMs = [] {
            using namespace std::chrono;
            return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        };
    }
    CreateDecoder();
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kActivePollMs);
    m_lastActivityMs = m_options.nowMs();
    connect(&m_timer, &QTimer::timeout, this, &CShutterPanelDlg::OnTimer);
}

void CShutterPanelDlg::OnTimer()
{
    m_bTimerTick = true;
    m_bTickRead = false;
    m_listReceived->ListModel().SetAnnounceHold(kCountShowMs);
    PollReplies();
    m_listReceived->ListModel().SetAnnounceHold(0);
    m_bTimerTick = false;
    PacePoll();
    CheckTranscript();
}

CShutterPanelDlg::~CShutterPanelDlg()
{
    // Whatever way the panel goes, the worker must not outlive the library.
    g_bBlinkRunning = 0;
    StopBlinkWorker();
    // The worker has ended: nothing records any more, and every line reaches the file.
    m_usb.Transcript().Stop();
}

void CShutterPanelDlg::MapHandlers()
{
    using N = Notification;
    using D = CShutterPanelDlg;
    Map(IDC_OPEN, N::Clicked, &D::OnOpen);
    Map(IDC_SEARCH, N::Clicked, &D::OnSearch);
    Map(IDC_BY_DESCRIPTION, N::Clicked, &D::OnOpenByDescription);
    Map(IDC_BY_SERIAL, N::Clicked, &D::OnOpenBySerial);
    Map(IDC_BY_NUMBER, N::Clicked, &D::OnOpenByNumber);
    Map(IDC_DEVICE, N::EditChange, &D::OnChangeDevice);
    Map(IDC_RECEIVED_LIST, N::SelChange, &D::OnSelchangeReceived);
    Map(IDC_BLINK_LEDS, N::Clicked, &D::OnBlinkLeds);
    Map(IDC_BLINK_OFF, N::Clicked, &D::OnBlinkOff);
    Map(IDC_SPEED, N::ReleasedCapture, &D::OnReleasedCaptureSpeed);

    Map(IDC_TIMER_SELECT, N::SelChange, &D::OnSelchangeTimer);
    Map(IDC_HOURS, N::EditChange, &D::OnChangeHours);
    Map(IDC_MINUTES, N::EditChange, &D::OnChangeMinutes);
    Map(IDC_SECONDS, N::EditChange, &D::OnChangeSeconds);
    Map(IDC_MS, N::EditChange, &D::OnChangeMs);
    Map(IDC_TENTH_MS, N::EditChange, &D::OnChangeTenthMs);
    Map(IDC_SLIDER_HOURS, N::ReleasedCapture, &D::OnReleasedHours);
    Map(IDC_SLIDER_MINUTES, N::ReleasedCapture, &D::OnReleasedMinutes);
    Map(IDC_SLIDER_SECONDS, N::ReleasedCapture, &D::OnReleasedSeconds);
    Map(IDC_SLIDER_MS, N::ReleasedCapture, &D::OnReleasedMs);
    Map(IDC_SLIDER_TENTH_MS, N::ReleasedCapture, &D::OnReleasedTenthMs);

    Map(IDC_SHUTTER_OPEN, N::Clicked, &D::OnShutterOpen);
    Map(IDC_SHUTTER_CLOSE, N::Clicked, &D::OnShutterClose);
    Map(IDC_FAST, N::Clicked, &D::OnFast);
    Map(IDC_SOFT, N::Clicked, &D::OnSoft);
    Map(IDC_ND, N::Clicked, &D::OnNeutralDensity);
    Map(IDC_ENABLE_HIGH, N::Clicked, &D::OnEnableHigh);
    Map(IDC_ENABLE_LOW, N::Clicked, &D::OnEnableLow);
    Map(IDC_RISING_EDGE, N::Clicked, &D::OnRisingEdge);
    Map(IDC_FALLING_EDGE, N::Clicked, &D::OnFallingEdge);
    Map(IDC_HIGH_FOR_OPEN, N::Clicked, &D::OnHighForOpen);
    Map(IDC_LOW_FOR_OPEN, N::Clicked, &D::OnLowForOpen);
    Map(IDC_TRIGGER_PULSE, N::Clicked, &D::OnTriggerPulse);
    Map(IDC_SYNC_PULSE, N::Clicked, &D::OnSyncPulse);
    Map(IDC_STATUS, N::Clicked, &D::OnStatus);
    Map(IDC_ONLINE, N::Clicked, &D::OnOnline);
    Map(IDC_CONTROLLER_INFO, N::Clicked, &D::OnControllerInfo);
    Map(IDC_POWER_ON, N::Clicked, &D::OnPowerOn);
    Map(IDC_POWER_OFF, N::Clicked, &D::OnPowerOff);
    Map(IDC_RESET, N::Clicked, &D::OnReset);
    Map(IDC_RESTORE_DEFAULT, N::Clicked, &D::OnRestoreDefault);
    Map(IDC_SAVE_TO_CONTROLLER, N::Clicked, &D::OnSaveToController);
    Map(IDC_CLEAR, N::Clicked, &D::OnClear);

    Map(IDC_SET_TIMER, N::Clicked, &D::OnSetTimer);
    Map(IDC_APPLY, N::Clicked, &D::OnApply);
    Map(IDC_ON_POWER_UP, N::Clicked, &D::OnOnPowerUp);
    Map(IDC_ON_TRIGGER, N::Clicked, &D::OnOnTrigger);
    Map(IDC_GO, N::Clicked, &D::OnGo);
    Map(IDC_SEND_REPEAT, N::Clicked, &D::OnSendRepeat);
    Map(IDC_STOP, N::Clicked, &D::OnStop);

    Map(IDC_SAVE_CONFIG, N::Clicked, &D::OnSaveConfig);
    Map(IDC_LOAD_CONFIG, N::Clicked, &D::OnLoadConfig);
}

QWidget* CShutterPanelDlg::CreateCustomControl(const ControlTemplate& ctl, QWidget* parent)
{
    if (ctl.id != IDC_RECEIVED_LIST)
        return CDialog::CreateCustomControl(ctl, parent);
    auto* list = new ReceivedList(parent);
    connect(list, &ReceivedList::operatorSelectionChanged, this,
            [this] { Notify(IDC_RECEIVED_LIST, Notification::SelChange); });
    return list;
}

void CShutterPanelDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_SLIDER_TENTH_MS, m_sliderTenthMs);
    DDX_Control(pDX, IDC_SLIDER_SECONDS, m_sliderSeconds);
    DDX_Control(pDX, IDC_SLIDER_MS, m_sliderMs);
    DDX_Control(pDX, IDC_SLIDER_MINUTES, m_sliderMinutes);
    DDX_Control(pDX, IDC_SLIDER_HOURS, m_sliderHours);
    DDX_Control(pDX, IDC_TIMER_SELECT, m_comboTimer);
    DDX_Control(pDX, IDC_SPEED, m_sliderSpeed);
    DDX_Control(pDX, IDC_RECEIVED_LIST, m_listReceived);
    DDX_Text(pDX, IDC_USB_STATUS, m_strUsbStatus);
    ExchangeReceivedCount(pDX);
    DDX_Text(pDX, IDC_DEVICE, m_strDevice);
    DDX_Radio(pDX, IDC_BY_DESCRIPTION, m_nOpenBy);
    DDX_Radio(pDX, IDC_SHUTTER_OPEN, m_nShutterState);
    DDX_Radio(pDX, IDC_FAST, m_nShutterMode);
    DDX_Radio(pDX, IDC_HIGH_FOR_OPEN, m_nSyncPolarity);
    DDX_CBIndex(pDX, IDC_TIMER_SELECT, m_nTimerSelect);
    DDX_Text(pDX, IDC_MINUTES, m_strMinutes);
    DDX_Text(pDX, IDC_SECONDS, m_strSeconds);
    DDX_Text(pDX, IDC_HOURS, m_strHours);
    DDX_Text(pDX, IDC_MS, m_strMs);
    DDX_Text(pDX, IDC_TENTH_MS, m_strTenthMs);
    DDX_Radio(pDX, IDC_ON_POWER_UP, m_nFreeRunOption);
    DDX_Text(pDX, IDC_REPEAT, m_strRepeatNumber);
    DDX_Text(pDX, IDC_LEFT_CYCLES, m_strLeftCycles);
    DDX_Radio(pDX, IDC_ENABLE_HIGH, m_nTriggerMode);
}

bool CShutterPanelDlg::OnInitDialog()
{
    // 1. The selector's two entries, then the constructor's values to the controls.
    if (auto* combo = Item<QComboBox>(IDC_TIMER_SELECT); combo && combo->count() == 0) {
        combo->addItem("Closed Time");
        combo->addItem("Exposure Time");
        combo->setCurrentIndex(-1);
    }
    UpdateData(false);

    // 2, 3. The about entry lives in the background's context menu and on F1; the icons.
    setWindowIcon(m_hIcon);
    m_content->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_content, &QWidget::customContextMenuRequested, this,
            &CShutterPanelDlg::ShowContextMenu, Qt::UniqueConnection);

    // The scroll bar sits at the right edge, beside the content.
    if (!m_vscroll) {
        m_vscroll = new QScrollBar(Qt::Vertical, this);
        m_vscroll->setObjectName("panelScrollBar");
        m_vscroll->setAccessibleName("Panel scroll bar");
        connect(m_vscroll, &QScrollBar::actionTriggered, this, [this](int action) {
            // The bar's actions as the scroll codes the panel's arithmetic knows.
            static const std::map<int, int> kCodes = {
                {QAbstractSlider::SliderSingleStepSub, SB_LINEUP},
                {QAbstractSlider::SliderSingleStepAdd, SB_LINEDOWN},
                {QAbstractSlider::SliderPageStepSub, SB_PAGEUP},
                {QAbstractSlider::SliderPageStepAdd, SB_PAGEDOWN},
                {QAbstractSlider::SliderToMinimum, SB_TOP},
                {QAbstractSlider::SliderToMaximum, SB_BOTTOM},
            };
            const auto code = kCodes.find(action);
            if (code != kCodes.end())
                OnVScroll(code->second, 0);
            else
                OnVScroll(SB_THUMBTRACK, m_vscroll->sliderPosition());
        });
        connect(m_vscroll, &QScrollBar::sliderReleased, this,
                [this] { OnVScroll(SB_THUMBPOSITION, m_vscroll->sliderPosition()); });
        const int sbw = m_vscroll->sizeHint().width();
        // The panel has a sizing border: it may be made lower and then scrolls.
        setMinimumSize(sbw + 100, 100);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(m_content->width() + sbw, m_content->height());
    }

    // 4. The window's height at start is the base of all scrolling arithmetic.
    const QRect frame = frameGeometry();
    m_rcWindow = {frame.left(), frame.top(), frame.right() + 1, frame.bottom() + 1};
    m_nScrollPos = 0;
    m_nClientHeight = 0;

    // The controls a status reply rewrites paint their own background, so a change repaints
    // them alone rather than the dialog and the group boxes behind them.
    for (int id : {IDC_ND, IDC_FAST, IDC_SOFT, IDC_SHUTTER_OPEN, IDC_SHUTTER_CLOSE,
                   IDC_OPENING_TIME, IDC_CLOSING_TIME, IDC_CLOSED_DISPLAY, IDC_EXPOSURE_DISPLAY,
                   IDC_CYCLE_DISPLAY, IDC_RECEIVED_BYTES, IDC_REPEAT, IDC_LEFT_CYCLES})
        if (QWidget* w = GetDlgItem(id))
            w->setAutoFillBackground(true);

    // 5 to 7.
    EnableTestControls(false);
    g_bUsbOpen = 0;
    m_timer.start();

    // 8. Trackbar ranges and positions.
    m_sliderSpeed.SetRange(0, 500, true);
    m_sliderSpeed.SetPos(10);
    m_sliderTenthMs.SetRange(0, 9, true);
    m_sliderMs.SetRange(0, 999, true);
    m_sliderSeconds.SetRange(0, 59, true);
    m_sliderMinutes.SetRange(0, 59, true);
    m_sliderHours.SetRange(0, 5, true);
    for (CSliderCtrl* s :
         {&m_sliderTenthMs, &m_sliderMs, &m_sliderSeconds, &m_sliderMinutes, &m_sliderHours})
        s->SetPos(0);

    // 9 to 11.
    m_strHours.clear();
    m_strMinutes.clear();
    m_strSeconds.clear();
    m_strMs.clear();
    m_strTenthMs.clear();
    CheckDlgButton(IDC_TRIGGER_PULSE, true);
    CheckDlgButton(IDC_SYNC_PULSE, true);
    m_nTriggerMode = 0;
    m_nSyncPolarity = 1;

    // 12. The open method and its remembered entry.
    Profile& profile = GetProfile();
    m_nOpenBy = profile.GetProfileInt(kProfileSection, kProfileOpenBy, 0);
    // A method outside 0 to 2 (hand-edited, or from another version) has no entry of its own.
    if (const char* key = DeviceProfileKey(m_nOpenBy))
        m_strDevice = profile.GetProfileString(kProfileSection, key, kDevicePrompt);

    // 13, 14.
    UpdateData(false);
    // Before the device opens, so the transcript shows the open.
    if (!m_options.transcriptPath.empty())
        StartTranscript(m_options.transcriptPath);
    StartUsb();

    // 15. Fast and Close, checked directly after the push.
    m_nShutterMode = 0;
    m_nShutterState = 1;
    CheckRadioButton(IDC_FAST, IDC_ND, IDC_FAST);
    CheckRadioButton(IDC_SHUTTER_OPEN, IDC_SHUTTER_CLOSE, IDC_SHUTTER_CLOSE);

    // 16. The first control in tab order takes the focus.
    if (QWidget* first = GetDlgItem(Template().controls.front().id))
        first->setFocus();
    return true;
}

void CShutterPanelDlg::EnableTestControls(bool on)
{
    EnableDlgItem(IDC_BLINK_LEDS, on);
    EnableDlgItem(IDC_BLINK_OFF, on);
    EnableDlgItem(IDC_SPEED, on);
    if (on)
        EnableDlgItem(IDC_OPEN, true);
}

void CShutterPanelDlg::ShowContextMenu(const QPoint& pos)
{
    QMenu menu(this);
    QAction* about = menu.addAction("&About Tivelo...");
    QAction* transcript = menu.addAction(m_usb.Transcript().Recording() ? "Stop &Recording"
                                                                        : "Record &Transcript...");
    QAction* diagnose = menu.addAction("&Diagnose Connection...");
    QAction* chosen = menu.exec(m_content->mapToGlobal(pos));
    if (chosen == about)
        OnSysCommand(IDM_ABOUTBOX);
    else if (chosen == transcript)
        OnRecordTranscript();
    else if (chosen == diagnose)
        OnDiagnoseConnection();
}

void CShutterPanelDlg::OnDiagnoseConnection()
{
    CDiagnosisDlg dlg(
        GetPrompts(),
        ConnectionReport(AppName(), QCoreApplication::applicationVersion().toStdString(),
                         m_options.driverCandidates),
        this);
    RunModalDialog(dlg);
}

void CShutterPanelDlg::OnSysCommand(int nID)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(GetPrompts(), m_hIcon, this);
        dlgAbout.DoModal();
    }
}

void CShutterPanelDlg::resizeEvent(QResizeEvent* event)
{
    CDialog::resizeEvent(event);
    if (!m_vscroll)
        return;
    const int sbw = m_vscroll->sizeHint().width();
    m_vscroll->setGeometry(width() - sbw, 0, sbw, height());
    OnSize(height());
}

void CShutterPanelDlg::OnSize(int cy)
{
    m_nClientHeight = cy;
    const int windowHeight = m_rcWindow.bottom - m_rcWindow.top;
    const ScrollRange range = ComputeScrollRange(windowHeight, cy);
    QSignalBlocker block(m_vscroll);
    m_vscroll->setRange(0, range.max);
    m_vscroll->setPageStep(range.page);
    m_vscroll->setSingleStep(std::max(1, range.max / 100));
    // Shown disabled, not hidden, when there is nothing to scroll.
    m_vscroll->setEnabled(range.max > 0);
    // The kept offset cannot lie past the new range; the content moves with it, so a window
    // made taller never keeps content scrolled away with no bar to bring it back.
    m_nScrollPos = std::clamp(m_nScrollPos, 0, range.max);
    m_content->move(0, -m_nScrollPos);
    m_vscroll->setSliderPosition(m_nScrollPos);
    m_vscroll->setValue(m_nScrollPos);
}

void CShutterPanelDlg::OnVScroll(int code, int nPos)
{
    const int max = (m_rcWindow.bottom - m_rcWindow.top) - m_nClientHeight;
    const ScrollStep step = ComputeScrollStep(code, nPos, m_nScrollPos, max);
    if (!step.apply) {
        // The bar does not move by itself; only a handled action moves it.
        if (code != SB_THUMBTRACK)
            m_vscroll->setSliderPosition(m_nScrollPos);
        return;
    }
    m_nScrollPos += step.delta;
    m_vscroll->setSliderPosition(m_nScrollPos);
    m_content->move(0, -m_nScrollPos);
}

void CShutterPanelDlg::NoteActivity()
{
    m_lastActivityMs = m_options.nowMs();
    m_bStreaming = false;
    if (m_timer.interval() != kActivePollMs)
        m_timer.setInterval(kActivePollMs);
}

void CShutterPanelDlg::PacePoll()
{
    int period = kActivePollMs;
    if (m_bTickRead) {
        m_lastActivityMs = m_options.nowMs();
        if (m_bStreaming)
            period = kStreamPollMs;
    } else if (m_options.nowMs() - m_lastActivityMs > kIdleAfterMs) {
        period = kIdlePollMs;
    }
    m_bStreaming = m_bTickRead;
    // Setting the period restarts the timer: only on a change.
    if (m_timer.interval() != period)
        m_timer.setInterval(period);
}

bool CShutterPanelDlg::OnCommand(int id, Notification code)
{
    // The read-only count changes when its hold ends, which is not the operator's doing.
    if (id != IDC_RECEIVED_BYTES)
        NoteActivity();
    // Escape, or a button with the cancel id: the panel cannot be cancelled.
    if (id == IDCANCEL && code == Notification::Clicked)
        return false;
    return CDialog::OnCommand(id, code);
}

void CShutterPanelDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        OnSysCommand(IDM_ABOUTBOX);
        return;
    }
    CDialog::keyPressEvent(event);
}

void CShutterPanelDlg::OnOK()
{
    if (m_bExiting)
        return;
    m_bExiting = true;
    // Stop the link exercise and wait for it: it calls into the library we release next.
    g_bBlinkRunning = 0;
    StopBlinkWorker();
    m_timer.stop();
    m_usb.Release();
    // Every line up to here reaches the file before the program ends.
    ReportTranscriptFailure(m_usb.Transcript().Stop());
    if (UpdateData(true))
        done(QDialog::Accepted);
    if (m_options.exitProcess)
        m_options.exitProcess(0);
}

void CShutterPanelDlg::OnClose()
{
    OnOK();
}

void CShutterPanelDlg::closeEvent(QCloseEvent* event)
{
    OnClose();
    event->accept();
}

void CShutterPanelDlg::RepaintNow()
{
    repaint();
    // The list paints its rows in its own viewport, which a repaint of the panel skips.
    if (m_listReceived)
        m_listReceived->viewport()->repaint();
}

void CShutterPanelDlg::WaitMs(unsigned ms)
{
    if (m_options.waitMs)
        m_options.waitMs(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
