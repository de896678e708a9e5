// Entry routine of the intro on Windows: the whole run, then the process ends
// with its exit code through ExitProcess, so nothing of the C++ run-time's
// own clean-up runs after the show's.
#include <windows.h>

#include "driver/show.h"

int main() {
    ExitProcess(UINT(runShow()));
}
