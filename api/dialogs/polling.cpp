// The waiting dialogs' polling period.
#include "api/dialogs/dialogs.h"
#include "settings/config.h"

unsigned PollingPeriodMs() {
    // A smaller setting (a negative one included) is raised to 100 ms.
    const std::int32_t minimum = 100;
    const std::int32_t configured = GetPollingInterval();
    return static_cast<unsigned>(configured < minimum ? minimum : configured);
}
