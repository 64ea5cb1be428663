// Imports bcrypt.dll the ordinary way (a static import, no restricted DLL search): the control that
// shows a planted bcrypt.dll beside a program is loaded in this test bed.
#include <windows.h>
#include <bcrypt.h>

#include "handles/handles.h"

int wmain() {
    CngAlgorithmHandle algorithm;
    BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    return 0;
}
