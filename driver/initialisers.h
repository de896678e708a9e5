// The program's static initialisers, run front to back at start-up after the
// exit-callback table is emptied.
#pragma once
#include "runtime/exit_callbacks.h"

// [kInitialisers, kInitialisersEnd): empty slots are skipped.
extern const Initialiser kInitialisers[];
extern const Initialiser* const kInitialisersEnd;
