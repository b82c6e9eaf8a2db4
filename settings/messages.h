// The message catalogue: every text the library shows, keyed by a 32-bit message id, filled at
// load from the language file that ZukLang.csv names for the system's default locale.
#ifndef ZUK_SETTINGS_MESSAGES_H
#define ZUK_SETTINGS_MESSAGES_H

#include <cstddef>
#include <cstdint>

#include "settings/settings_state.h"  // kMessageTextSize

// The entry's text (possibly empty), or null when the id is not in the table.
const char *GetMessageText(std::uint32_t id);

// Reads ZukLang.csv in the installation folder: writes the file name that its line for the system
// locale (or, failing that, 0409) names into fileName (kMessageTextSize bytes) and returns that
// locale; 0 and fileName empty when the index cannot be read or has neither line.
std::uint32_t FindLanguageFileName(char *fileName);
// The same for the ZukLang.csv in `folder` (a path that ends with a backslash, as InstallPath
// does).
std::uint32_t FindLanguageFileNameIn(const char *folder, char *fileName);

// Writes the full path of the language file for the system locale (or, failing that, 0409) into
// path (kMessageTextSize bytes); leaves it empty when there is none or the path does not fit.
void SelectLanguageFile(char *path);

// Fills the table from a language file; a file that cannot be opened leaves the texts as they are.
void LoadMessageCatalogue(const char *path);

// Empties every text (the state at load).
void ClearMessageTexts();

// Every message id of the table, in table order.
std::size_t MessageIdCount();
std::uint32_t MessageIdAt(std::size_t index);

#endif
