// The reader link's record.
#include "link/link_state.h"

LinkState g_link = {PLAT_SERIAL_NONE, ChannelSession{}, false};

void LinkStateReset() { g_link = LinkState{PLAT_SERIAL_NONE, ChannelSession{}, false}; }
