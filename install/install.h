#pragma once
// One complete install run, on a thread of its own.

#include <windows.h>

// Thread procedure: runs the configuration and deployment stages, reports through the status
// channel, then hands the action button back. Ignores its parameter; always returns 0.
DWORD WINAPI InstallWorker(LPVOID parameter);
// Starts InstallWorker on a new thread without keeping its handle; false when no thread started.
bool StartInstallWorker();
