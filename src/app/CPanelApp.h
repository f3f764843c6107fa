#pragma once
// The application object: reads the command line, picks the profile and the driver, runs the
// panel.

#include <string>
#include <vector>

struct AppOptions {
    std::string driver;      // --driver NAME|PATH
    bool simulate = false;   // --simulate
    std::string screenshot;  // --screenshot FILE
    std::string transcript;  // --transcript FILE
    bool diagnose = false;   // --diagnose
};

class CPanelApp {
public:
    CPanelApp(int& argc, char** argv);
    // Returns the process's exit code.
    int InitInstance();

private:
    int& m_argc;
    char** m_argv;
};

