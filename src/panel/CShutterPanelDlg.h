#pragma once
// The main panel: every control of the template, the panel's fields (PanelState), the exchange
// between them, and the handlers of every subsystem. Handlers live in their subsystem's folder
// (src/usb, src/timing, ...) as members of this class.

#include <QIcon>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "protocol/PanelState.h"
#include "usb/UsbLink.h"

class Profile;
class Prompts;
class QScrollBar;
class ReceivedList;
class LinkExercise;
class Frame;
class ReplyDecoder;
class DecoderHost;

// What the panel needs from its surroundings; tests replace every part.
struct PanelOptions {
    Profile* profile = nullptr;
    Prompts* prompts = nullptr;
    // The driver libraries to try, in order.
    std::vector<std::string> driverCandidates;
    // Caption of the driver and device boxes: the application's name.
    std::string appName = "quillon-utility";
    // One-line hints for whoever started the program from a terminal; standard error when unset.
    std::function<void(const std::string& line)> terminalLine;
    // The handshake's pauses; tests drive the simulator's clock instead of sleeping.
    std::function<void(unsigned ms)> waitMs;
    // Ends the program with the given code once the exit path has run.
    std::function<void(int code)> exitProcess;
    // A monotonic clock in milliseconds, for the poll's slow-down when idle; a steady clock
    // when unset.
    std::function<std::int64_t()> nowMs;
    // Runs a modal dialog of the panel's (the steps entry) and says whether it was accepted;
    // tests drive the dialog here instead of blocking in its event loop.
    std::function<bool(CDialog& dlg)> runDialog;
    // Records the link's transcript to this file from the start (--transcript).
    std::string transcriptPath;
};

// Control identifiers.
enum PanelId {
    IDC_BLINK_LEDS = 1017,
    IDC_BLINK_OFF = 1018,
    IDC_SPEED = 1006,
    IDC_CLEAR = 1023,
    IDC_OPEN = 1024,
    IDC_USB_STATUS = 1015,
    IDC_RECEIVED_LIST = 1019,
    IDC_RECEIVED_BYTES = 1021,
    IDC_DEVICE = 1026,
    IDC_BY_DESCRIPTION = 1027,
    IDC_BY_SERIAL = 1028,
    IDC_BY_NUMBER = 1029,
    IDC_SEARCH = 1030,
    IDC_ONLINE = 1041,
    IDC_RESET = 1042,
    IDC_STATUS = 1043,
    IDC_SET_TIMER = 1044,
    IDC_SAVE_CONFIG = 1045,
    IDC_SAVE_TO_CONTROLLER = 1046,
    IDC_LOAD_CONFIG = 1047,
    IDC_APPLY = 1048,
    IDC_CONTROLLER_INFO = 1049,
    IDC_STOP = 1050,
    IDC_RESTORE_DEFAULT = 1051,
    IDC_SEND_REPEAT = 1052,
    IDC_POWER_ON = 1053,
    IDC_POWER_OFF = 1054,
    IDC_FAST = 1055,
    IDC_SOFT = 1056,
    IDC_ND = 1057,
    IDC_ENABLE_HIGH = 1058,
    IDC_ENABLE_LOW = 1059,
    IDC_HIGH_FOR_OPEN = 1061,
    IDC_LOW_FOR_OPEN = 1062,
    IDC_ON_POWER_UP = 1063,
    IDC_ON_TRIGGER = 1064,
    IDC_SHUTTER_OPEN = 1065,
    IDC_SHUTTER_CLOSE = 1066,
    IDC_GO = 1068,
    IDC_HOURS = 1079,
    IDC_MINUTES = 1080,
    IDC_SECONDS = 1081,
    IDC_MS = 1082,
    IDC_REPEAT = 1083,
    IDC_LEFT_CYCLES = 1084,
    IDC_TRIGGER_PULSE = 1087,
    IDC_SYNC_PULSE = 1088,
    IDC_TENTH_MS = 1089,
    IDC_TIMER_SELECT = 1090,
    IDC_SLIDER_MS = 1093,
    IDC_SLIDER_SECONDS = 1095,
    IDC_SLIDER_TENTH_MS = 1096,
    IDC_SLIDER_MINUTES = 1097,
    IDC_SLIDER_HOURS = 1098,
    IDC_CLOSING_TIME = 1099,
    IDC_OPENING_TIME = 1100,
    IDC_CLOSED_DISPLAY = 1103,
    IDC_EXPOSURE_DISPLAY = 1104,
    IDC_CYCLE_DISPLAY = 1105,
    IDC_RISING_EDGE = 1110,
    IDC_FALLING_EDGE = 1111,
};

inline constexpr int IDM_ABOUTBOX = 0x0010;

class CShutterPanelDlg : public CDialog, public PanelState {
    Q_OBJECT
public:
    explicit CShutterPanelDlg(PanelOptions options);
    ~CShutterPanelDlg() override;

    // Bound controls.
    CSliderCtrl m_sliderTenthMs;
    CSliderCtrl m_sliderSeconds;
    CSliderCtrl m_sliderMs;
    CSliderCtrl m_sliderMinutes;
    CSliderCtrl m_sliderHours;
    CComboBox m_comboTimer;
    CSliderCtrl m_sliderSpeed;
    ReceivedList* m_listReceived = nullptr;
    QIcon m_hIcon;
    // The driver binding: library handle, device handle and the thirteen entry points.
    UsbLink m_usb;

    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void EnableTestControls(bool on);
    void OnSysCommand(int nID);
    // "Diagnose Connection..." on the background's menu: the --diagnose report in a box.
    void OnDiagnoseConnection();
    void OnSize(int cy);
    void OnVScroll(int code, int nPos);
    void OnOK() override;
    void OnClose();
    bool OnCommand(int id, Notification code) override;

    // Timer tick: drains the receive queue, then slows the poll down if the link is idle.
    void OnTimer();
    void PollReplies();
    // Repaints the panel at once, as handlers do after a push.
    void RepaintNow();
    void WaitMs(unsigned ms);
    Profile& GetProfile() const { return *m_options.profile; }
    const std::string& AppName() const { return m_options.appName; }
    QTimer& PollTimer() { return m_timer; }
    QTimer& CountShowHold() { return m_countShowHold; }
    QScrollBar* VerticalScrollBar() const { return m_vscroll; }

    // --- USB link: device connection and link exercise (src/usb) ---
    void StartUsb();
    // The handshake was answered: commands may go out and the link can be exercised.
    void MarkLinkReady();
    FT_STATUS OpenDevice();
    void OnOpen();
    void OnSearch();
    void OnOpenByDescription();
    void OnOpenBySerial();
    void OnOpenByNumber();
    // The three open-method radios: store the method, show the entry remembered for it.
    void SelectOpenMethod(int method);
    void OnChangeDevice();
    void OnSelchangeReceived();
    void OnBlinkLeds();
    void OnBlinkOff();
    void OnReleasedCaptureSpeed();
    // Stops the link-exercise worker and waits for it; the exit path runs it before the
    // library is released.
    void StopBlinkWorker();
    std::unique_ptr<LinkExercise> m_blink;
    // The link transcript: "Record Transcript..." / "Stop Recording" on the background's menu.
    void OnRecordTranscript();
    // Starts recording to path; a file that cannot be created is reported and nothing recorded.
    void StartTranscript(const std::string& path);
    // Reports, once, a transcript that could not be written (recording has then stopped).
    void CheckTranscript();
    void ReportTranscriptFailure(const std::optional<std::string>& failure);

    // --- Time editor (src/timing) ---
    void OnSelchangeTimer();
    void OnChangeHours();
    void OnChangeMinutes();
    void OnChangeSeconds();
    void OnChangeMs();
    void OnChangeTenthMs();
    void OnReleasedHours();
    void OnReleasedMinutes();
    void OnReleasedSeconds();
    void OnReleasedMs();
    void OnReleasedTenthMs();
    // The editor's texts and trackbars from g_exposureTime (index 1) or g_closedTime (any other
    // index); the caller pushes.
    void LoadEditorFromRecord(int index);
    // Displays 1103, 1104 and 1105 from the records; the stored times are joined by separator.
    void ShowClosedTime(const std::string& separator = ":");
    void ShowExposureTime(const std::string& separator = ":");
    void ShowCycleTime();
    void ShowTimeDisplays(const std::string& separator = ":");

    // --- Controller protocol (src/protocol) ---
    // The procedure every command follows: pull, readiness gate, write, time-outs, push,
    // repaint. The pieces serve the commands that depart from it.
    void SendCommand(const Frame& frame);
    // Pulls the panel; true when the link is ready for commands.
    bool BeginCommand();
    // Time-outs back to 100 ms, push, repaint: how every command ends, whether it sent or not.
    void EndCommand();
    // Whether the whole frame went out: only then may an answer be awaited.
    bool WriteFrame(const Frame& frame);
    // The operations' view of the panel: its fields, captions, boxes and writes.
    DecoderHost& Host() { return *m_decoderHost; }
    // A modal dialog run on behalf of an operation: ticks do not poll until it closes.
    bool RunModalDialog(CDialog& dlg);
    void OnShutterOpen();
    void OnShutterClose();
    void OnFast();
    void OnSoft();
    void OnNeutralDensity();
    void OnEnableHigh();
    void OnEnableLow();
    void OnRisingEdge();
    void OnFallingEdge();
    void OnHighForOpen();
    void OnLowForOpen();
    void OnTriggerPulse();
    void OnSyncPulse();
    void OnStatus();
    void OnOnline();
    void OnControllerInfo();
    void OnPowerOn();
    void OnPowerOff();
    void OnReset();
    void OnRestoreDefault();
    void OnSaveToController();
    void OnClear();

    // --- Timer upload and free run (src/timing) ---
    void OnSetTimer();
    void OnApply();
    void OnOnPowerUp();
    void OnOnTrigger();
    void OnGo();
    void OnSendRepeat();
    void OnStop();

    // --- Configuration files (src/config) ---
    void OnSaveConfig();
    void OnLoadConfig();

protected:
    QWidget* CreateCustomControl(const ControlTemplate& ctl, QWidget* parent) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void MapHandlers();
    void ShowContextMenu(const QPoint& pos);
    void OnLinkLost();
    void CreateDecoder();
    // The poll runs every 2 ms while anything happens on the link or the panel, less often
    // while the controller streams, and slows down when the link has been quiet for a while.
    void NoteActivity();
    void PacePoll();

    PanelOptions m_options;
    QTimer m_timer;
    QScrollBar* m_vscroll = nullptr;
    std::int64_t m_lastActivityMs = 0;
    bool m_bInPoll = false;
    bool m_bTickRead = false;   // this tick's poll read bytes
    bool m_bStreaming = false;  // and so did the tick before
    bool m_bExiting = false;
    // While the timer's ticks stream bytes in, "Received Bytes #" shows the count at most every
    // kCountShowMs: retyping and repainting it on every tick cost more than all the decoding.
    // The field is always exact; the control catches up when the hold ends, and a catch-up
    // holds again.
    static constexpr int kCountShowMs = 100;
    QTimer m_countShowHold;
    bool m_bTimerTick = false;
    bool m_bCountStale = false;
    void ExchangeReceivedCount(CDataExchange* pDX);
    void ShowReceivedCount();
    std::unique_ptr<DecoderHost> m_decoderHost;
    std::unique_ptr<ReplyDecoder> m_decoder;
};
