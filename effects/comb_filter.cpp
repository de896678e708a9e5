// CombFilter: initialisation.
#include "effects/comb_filter.h"

void initCombFilter(CombFilter& comb, int32_t length) {
    comb.length = length < 1 ? 1 : (length > kCombCapacity ? kCombCapacity : length);
    comb.index = 0;
    comb.store = 0.0f;
}
