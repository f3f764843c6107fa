#include "support/PanelHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

void EnsureQtApp()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "quillon-tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
}

std::string BuildLibrary(const std::string& name)
{
    return std::string(QUILLON_BUILD_DIR) + "/" + name;
}

PanelHarness::PanelHarness(std::vector<std::string> driverCandidates)
{
    EnsureQtApp();
    profile = std::make_unique<Profile>(dir.filePath("quillon-utility.ini").toStdString());
    options.profile = profile.get();
    options.prompts = &prompts;
    options.driverCandidates =
        driverCandidates.empty()
            ? std::vector<std::string>{dir.filePath("absent/libftd2xx.so").toStdString()}
            : std::move(driverCandidates);
    options.waitMs = [](unsigned) {};
    options.exitProcess = [this](int code) { exitCodes.push_back(code); };
}

PanelHarness::~PanelHarness()
{
    panel.reset();
    QCoreApplication::processEvents();
}

CShutterPanelDlg& PanelHarness::Start()
{
    panel = std::make_unique<CShutterPanelDlg>(options);
    panel->Create();
    panel->show();
    return *panel;
}

void PanelHarness::Click(int id)
{
    if (auto* button = panel->Item<QAbstractButton>(id))
        QTest::mouseClick(button, Qt::LeftButton);
}

void PanelHarness::TypeText(int id, const std::string& text)
{
    // As an operator edits: the field changes outside any exchange, so its handler runs.
    if (auto* edit = panel->Item<QLineEdit>(id))
        edit->setText(QString::fromStdString(text));
}
