// INSTALL.EXE: the one application object; the framework does the rest.
#include "app/install_app.h"

CInstallApp theApp;

int main() { return AfxRunApplication(); }
