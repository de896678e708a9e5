// Entry routine of the intro on Windows: the whole run, then the process ends
// with its exit code through ExitProcess, so nothing of the C++ run-time's
// own clean-up runs after the show's.
#include <windows.h>

#include "driver/show.h"
#include "runtime/float_mode.h"

// The system may enter with the stack aligned to 4 bytes only (32-bit
// Windows), and the SSE code below needs 16: the entry realigns it. The x87
// control word is the program's own from here on, whatever the loader left.
__attribute__((force_align_arg_pointer)) int main() {
    enterFloatModes(kMainFloatMode);
    ExitProcess(UINT(runShow()));
}
