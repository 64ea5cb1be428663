// Imports WININET the ordinary way (a static import, no restricted DLL search): the control that
// shows a planted wininet.dll beside a program is loaded in this test bed.
#include <windows.h>
#include <wininet.h>

#include "handles/handles.h"

int wmain() {
    const InternetHandle session(
        InternetOpenW(L"Control", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    return 0;
}
