#include "app/CPanelApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <memory>

#include "framework/Profile.h"
#include "framework/QtPrompts.h"
#include "panel/CDiagnosisDlg.h"
#include "panel/CShutterPanelDlg.h"
#include "usb/DriverLocation.h"

#ifndef QUILLON_INSTALL_LIBDIR
#define QUILLON_INSTALL_LIBDIR ""
#endif
#ifndef QUILLON_RELATIVE_LIBDIR
#define QUILLON_RELATIVE_LIBDIR ""
#endif
#ifndef QUILLON_VERSION
#define QUILLON_VERSION "1.12"
#endif

namespace {
constexpr const char* kAppName = "quillon-utility";

// First run against the simulator: open the simulated controller by its description at once.
void SeedSimulatorProfile(Profile& profile)
{
    if (profile.Exists())
        return;
    profile.WriteProfileInt("MyTiveloAp", "SerDesc", 0);
    profile.WriteProfileString("MyTiveloAp", "DescString", "Quillon SC");
}

// The command line. The same parser serves the panel and the diagnosis, which runs before any
// window system is touched so that it works over ssh and in a bare container.
struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption driver{"driver", DriverHelp(), "NAME|PATH"};
    QCommandLineOption simulate{"simulate", "Use the bundled simulated controller."};
    QCommandLineOption screenshot{
        "screenshot", "Once started, save a PNG of the panel to FILE and exit.", "FILE"};
    QCommandLineOption transcript{
        "transcript",
        "Record every transfer to and from the controller, with times, and every open, close, "
        "purge and lost link, to FILE (one line each).",
        "FILE"};
    QCommandLineOption diagnose{
        "diagnose",
        "Print which driver library loads and why the others do not, every FTDI USB device with "
        "the kernel driver holding it, its device node and whether you may open it (and the fix "
        "when not), then exit."};

    // early: the check made before any window system is touched. Qt's own options are only
    // taken out of the arguments by QApplication, so that check knows them too (Qt reads each
    // with one dash or two, as a long option), and the help it prints leaves them out.
    explicit CommandLine(bool early = false)
    {
        if (early) {
            parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
            for (const char* name : kQtOptionsWithValue)
                AddHidden(QCommandLineOption(name, QString(), "value"));
            for (const char* name : kQtFlags) AddHidden(QCommandLineOption(name));
        }
        parser.setApplicationDescription(
            "Remote control and test utility for the Quillon smart shutter controller.");
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(driver);
        parser.addOption(simulate);
        parser.addOption(screenshot);
        parser.addOption(transcript);
        parser.addOption(diagnose);
    }

    void AddHidden(QCommandLineOption option)
    {
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    // What QGuiApplication, QApplication and the X11 platform plugin read from the command line.
    static constexpr const char* kQtOptionsWithValue[] = {"platform",        "platformpluginpath",
                                                          "platformtheme",   "plugin",
                                                          "qwindowgeometry", "geometry",
                                                          "qwindowtitle",    "title",
                                                          "qwindowicon",     "icon",
                                                          "session",         "style",
                                                          "stylesheet",      "qmljsdebugger",
                                                          "display",         "name",
                                                          "dialogs",         "fontengine"};
    static constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "testability",
                                               "nograb",  "dograb",      "sync"};

    AppOptions Options() const
    {
        AppOptions opts;
        opts.driver = parser.value(driver).toStdString();
        opts.simulate = parser.isSet(simulate);
        opts.screenshot = parser.value(screenshot).toStdString();
        opts.transcript = parser.value(transcript).toStdString();
        opts.diagnose = parser.isSet(diagnose);
        return opts;
    }

    static QString DriverHelp()
    {
        QString help = "Load this driver library instead of searching:";
        for (const DriverShortName& shortName : kDriverShortNames) {
            help += QString(" %1 (%2),").arg(shortName.name, shortName.meaning);
        }
        return help + " or the path of a library.";
    }
};

std::vector<std::string> CandidatesFor(const AppOptions& opts)
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    std::vector<std::string> installLibDirs;
    // The library folder as seen from the executable comes first: an install unpacked under
    // DESTDIR or moved elsewhere then loads its own libraries, not the configured prefix's.
    if (*QUILLON_RELATIVE_LIBDIR)
        installLibDirs.push_back(
            QDir::cleanPath(exeDir + "/" + QUILLON_RELATIVE_LIBDIR).toStdString());
    installLibDirs.push_back(QUILLON_INSTALL_LIBDIR);
    return DriverCandidates(opts.driver, opts.simulate, exeDir.toStdString(), installLibDirs);
}

// Reports the monotonic clock once the first paint of the panel has finished: a zero-time
// single shot runs after the paint event that queued it.
class StartupProbe : public QObject {
public:
    explicit StartupProbe(CShutterPanelDlg& panel) : m_panel(panel) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, this, [this] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("first paint done at %lld ns\n",
                            static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                std::fflush(stdout);
                m_panel.OnOK();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CShutterPanelDlg& m_panel;
    bool m_seen = false;
};

int RunDiagnosis(int& argc, char** argv, const AppOptions& opts)
{
    QCoreApplication core(argc, argv);
    std::fputs(ConnectionReport(kAppName, QUILLON_VERSION "b", CandidatesFor(opts)).c_str(),
               stdout);
    std::fflush(stdout);
    return 0;
}
}  // namespace

CPanelApp::CPanelApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

int CPanelApp::InitInstance()
{
    QCoreApplication::setApplicationName(kAppName);
    QCoreApplication::setApplicationVersion(QUILLON_VERSION "b");
    {
        // Nothing here needs a display: a bad option is reported as such even where no window
        // system can be reached, and so are --diagnose, --help and --version.
        CommandLine early(true);
        QStringList arguments;
        for (int i = 0; i < m_argc; ++i) arguments << QString::fromLocal8Bit(m_argv[i]);
        if (!early.parser.parse(arguments)) {
            std::fprintf(stderr, "%s: %s\n", kAppName, qPrintable(early.parser.errorText()));
            return 1;
        }
        if (early.parser.isSet("help") || early.parser.isSet("help-all") ||
            early.parser.isSet("version")) {
            // The manual page is checked against this text.
            QCoreApplication core(m_argc, m_argv);
            early.parser.process(core);  // prints, then exits
        }
        if (early.parser.isSet(early.diagnose))
            return RunDiagnosis(m_argc, m_argv, early.Options());
    }

    QApplication app(m_argc, m_argv);
    QApplication::setApplicationName(kAppName);
    QApplication::setApplicationVersion(QUILLON_VERSION "b");
    // Wayland compositors match the window to the installed menu entry, and its icon, by this id.
    QApplication::setDesktopFileName("org.quillon.Utility");
    CommandLine commandLine;
    commandLine.parser.process(app);
    const AppOptions opts = commandLine.Options();

    const bool demonstration = SimulatorChosen(opts.driver, opts.simulate);
    Profile profile(Profile::DefaultPath(ProfileFileName(demonstration)));
    // Seeded only when the simulator is certainly what loads.
    if (demonstration && (opts.driver.empty() || opts.driver == "sim"))
        SeedSimulatorProfile(profile);

    QtPrompts interactivePrompts;
    UnattendedPrompts unattendedPrompts;
    Prompts& prompts =
        opts.screenshot.empty() ? static_cast<Prompts&>(interactivePrompts) : unattendedPrompts;
    PanelOptions panelOptions;
    panelOptions.profile = &profile;
    panelOptions.prompts = &prompts;
    panelOptions.appName = kAppName;
    panelOptions.driverCandidates = CandidatesFor(opts);
    panelOptions.transcriptPath = opts.transcript;
    panelOptions.exitProcess = [](int code) { QCoreApplication::exit(code); };

    CShutterPanelDlg panel(std::move(panelOptions));
    interactivePrompts.SetParent(&panel);
    if (!panel.Create())
        return 0;
    panel.show();

    // Start-up benchmark hook: say when the panel's first paint is done, then leave.
    StartupProbe probe(panel);
    if (qEnvironmentVariableIsSet("QUILLON_STARTUP_PROBE"))
        panel.installEventFilter(&probe);

    bool screenshotFailed = false;
    if (!opts.screenshot.empty()) {
        const QString file = QString::fromStdString(opts.screenshot);
        // Let the poll timer run for a moment so the picture shows a settled panel.
        QTimer::singleShot(500, &panel, [&panel, &screenshotFailed, file] {
            screenshotFailed = !panel.grab().save(file, "PNG");
            if (screenshotFailed)
                std::fprintf(stderr, "Could not write the screenshot %s\n", qPrintable(file));
            // An unattended run also says where the link stands, for scripts and CI logs.
            std::printf("USB status: %s\n", panel.m_strUsbStatus.c_str());
            std::fflush(stdout);
            panel.OnOK();
        });
    }
    app.exec();
    // Every way out of the panel ends the program with code 0; only an unattended run whose
    // picture could not be written says so, so that a script does not take it for success.
    return screenshotFailed ? 1 : 0;
}
