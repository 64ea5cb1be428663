// Stands in for the worker starter: as when the system refuses a new thread.
#include "install/install.h"

bool StartInstallWorker() { return false; }
