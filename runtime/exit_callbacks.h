// The program's 32-slot exit-callback table and its initialiser walk.
// Callbacks run in the order they were registered, not in reverse.
#pragma once
#include <cstdint>

using ExitCallback = int32_t (*)();
using Initialiser = void (*)();

// Empties all 32 slots.
void clearExitCallbacks();
// Stores fn in the first empty slot: 0, or -1 when all 32 are taken.
int32_t registerExitCallback(ExitCallback fn);
// Calls every non-empty slot from first to last.
void runExitCallbacks();
// Calls every non-null entry of [first, end) front to back.
void runInitialisers(const Initialiser* first, const Initialiser* end);
