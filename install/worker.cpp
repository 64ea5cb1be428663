#include "install/install.h"
DWORD WINAPI InstallWorker(LPVOID) { return 0; }
