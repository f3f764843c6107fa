#include "app/CPanelApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "framework/Profile.h"
#include "framework/QtPrompts.h"
#include "panel/CShutterPanelDlg.h"
#include "usb/DriverLocation.h"

#ifndef QUILLON_INSTALL_LIBDIR
#define QUILLON_INSTALL_LIBDIR ""
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
}  // namespace

std::string ProfileFileName(bool simulate)
{
    return simulate ? "quillon-utility-simulator.ini" : "quillon-utility.ini";
}

CPanelApp::CPanelApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

int CPanelApp::InitInstance()
{
    QApplication app(m_argc, m_argv);
    QApplication::setApplicationName(kAppName);
    QApplication::setApplicationVersion(QUILLON_VERSION "b");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Remote control and test utility for the Quillon smart shutter controller.");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption driverOpt("driver", "Load the D2XX driver library at PATH.", "PATH");
    QCommandLineOption simulateOpt("simulate", "Use the bundled simulated controller.");
    QCommandLineOption screenshotOpt(
        "screenshot", "Once started, save a PNG of the panel to FILE and exit.", "FILE");
    parser.addOption(driverOpt);
    parser.addOption(simulateOpt);
    parser.addOption(screenshotOpt);
    parser.process(app);

    AppOptions opts;
    opts.driver = parser.value(driverOpt).toStdString();
    opts.simulate = parser.isSet(simulateOpt);
    opts.screenshot = parser.value(screenshotOpt).toStdString();

    Profile profile(Profile::DefaultPath(ProfileFileName(opts.simulate)));
    if (opts.simulate && opts.driver.empty())
        SeedSimulatorProfile(profile);

    QtPrompts interactivePrompts;
    UnattendedPrompts unattendedPrompts;
    Prompts& prompts =
        opts.screenshot.empty() ? static_cast<Prompts&>(interactivePrompts) : unattendedPrompts;
    PanelOptions panelOptions;
    panelOptions.profile = &profile;
    panelOptions.prompts = &prompts;
    panelOptions.appName = kAppName;
    panelOptions.driverCandidates = DriverCandidates(
        opts.driver, opts.simulate, QCoreApplication::applicationDirPath().toStdString(),
        QUILLON_INSTALL_LIBDIR);
    panelOptions.exitProcess = [](int code) { QCoreApplication::exit(code); };

    CShutterPanelDlg panel(std::move(panelOptions));
    interactivePrompts.SetParent(&panel);
    if (!panel.Create())
        return 0;
    panel.show();

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
