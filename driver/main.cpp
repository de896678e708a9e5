// Entry routine of the intro: the whole run, then its exit code.
#include "driver/show.h"

int main() {
    return runShow();
}
