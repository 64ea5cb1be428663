// A bcrypt.dll planted beside a program: leaves "<its own path>.loaded" behind when a process
// loads it (planted_dll_main.cpp), and exports, as one failing stub, what the installer and the
// system's own libraries (crypt32, rsaenh, ncrypt, dssenh) import from bcrypt.dll, so that a
// load of it would not fail before it could leave its mark.
#include <windows.h>

extern "C" LONG WINAPI PlantedBCryptStub() {
    return static_cast<LONG>(0xC00000BBL);  // STATUS_NOT_SUPPORTED
}
