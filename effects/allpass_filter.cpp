// AllpassFilter: initialisation.
#include "effects/allpass_filter.h"

void initAllpassFilter(AllpassFilter& allpass, int32_t length) {
    allpass.length = length < 1 ? 1 : (length > kAllpassCapacity ? kAllpassCapacity : length);
    allpass.index = 0;
}
