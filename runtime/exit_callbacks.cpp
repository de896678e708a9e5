// Fixed table of 32 exit callbacks, filled front to back and run in that order.
#include "runtime/exit_callbacks.h"

namespace {
constexpr int kSlots = 32;
ExitCallback slots[kSlots];
}  // namespace

void clearExitCallbacks() {
    for (ExitCallback& slot : slots) slot = nullptr;
}

int32_t registerExitCallback(ExitCallback fn) {
    for (ExitCallback& slot : slots) {
        if (slot == nullptr) {
            slot = fn;
            return 0;
        }
    }
    return -1;
}

void runExitCallbacks() {
    for (ExitCallback slot : slots)
        if (slot != nullptr) slot();
}

void runInitialisers(const Initialiser* first, const Initialiser* end) {
    for (const Initialiser* it = first; it != end; ++it)
        if (*it != nullptr) (*it)();
}
