#include "app/CPanelApp.h"

int main(int argc, char** argv)
{
    CPanelApp theApp(argc, argv);
    return theApp.InitInstance();
}
