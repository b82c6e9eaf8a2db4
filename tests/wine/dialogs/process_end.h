// Shared by the process-end test and its child process.
#ifndef ZUK_TESTS_WINE_DIALOGS_PROCESS_END_H
#define ZUK_TESTS_WINE_DIALOGS_PROCESS_END_H

// Set by the child as it ends when the library had left the call frame and released the reader's
// mutex by then.
#define kChildCleanEvent "zuk-dialog-child-ended-clean"

#endif
