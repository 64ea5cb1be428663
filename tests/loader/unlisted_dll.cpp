// A DLL that the loader's table does not name, planted beside the test program: leaves
// "<its own path>.loaded" behind when a process loads it (tests/e2e/planted_dll_main.cpp) and
// answers what no failure answer is.
#include <windows.h>

extern "C" INT_PTR WINAPI UnlistedAnswer() { return 42; }
