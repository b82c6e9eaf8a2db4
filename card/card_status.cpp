// A card-layer status as a result code, keeping a failure for the trace.
#include "card/card_status.h"

#include "card/last_status.h"

std::int32_t CardStatusResult(CardStatus status) {
    if (StatusIsSuccess(status)) return 0;
    SetLastCardStatus(status);
    return StatusResult(status);
}
