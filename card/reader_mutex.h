// The reader's named mutex: whoever opens the reader for a host (the export frame at ZUKOpen, the
// issuing station) holds it for as long as the reader is open, so one process at a time uses it.
#ifndef ZUK_CARD_READER_MUTEX_H
#define ZUK_CARD_READER_MUTEX_H

// Shared by every process of the session.
#define ZUK_PORT_MUTEX_NAME "ZUK_PORT_MUTEX"

#endif
