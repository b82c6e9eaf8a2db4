/*
 * zuk_test_controls.h - controls of the native shared build (libZUKcntrl.so) that the bindings'
 * tests and examples run against.  That build holds the library's exports over the in-memory
 * platform and an in-process simulated reader; these functions, all named ZukTest*, set the scene
 * from the host's side: the machine values and INI, a card laid on the reader or taken away, the
 * reader unplugged, the library's own PIN prompt answered.  They exist in this build only, never in
 * ZUKcntrl.dll.  Not for use while another thread is inside an export, except ZukTestLayCard,
 * ZukTestTakeCard and ZukTestUnplugReader, which take the reader's line lock.
 */
#ifndef ZUK_TEST_CONTROLS_H
#define ZUK_TEST_CONTROLS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Starts afresh: closes what the library holds, forgets the in-memory registry, INI files, dialogs
 * and faults, plugs in a new simulated reader (no card) on COM3, writes the machine values
 * (Mode, Device, Config) and an INI naming the reader (PortName \\.\COM3, trace Mode 3) plus
 * extraIni (INI lines, may be null), then loads the library as its load does.  Returns 1 when the
 * load accepted the values, 0 when it refused them (as a DLL whose load fails). */
int ZukTestSetUp(unsigned mode, unsigned device, unsigned config, const char *extraIni);
/* Lays a card made from a card description (the format of the .card files in sim/cards, as text) on
 * the reader; a card already there is replaced.  0, or -1 when the text is no valid description. */
int ZukTestLayCard(const char *description);
/* Takes the card away. */
void ZukTestTakeCard(void);
/* Unplugs the reader (plugged 0: it answers nothing and refuses writes) or plugs it back (1). */
void ZukTestPlugReader(int plugged);
/* The library's PIN prompt is answered with OK and this PIN, once. */
void ZukTestAnswerPinPrompt(const char *pin);
/* Windows the library showed since the set-up: prompts, notices and message boxes, and the
 * card-access window. */
int ZukTestWindowsShown(void);
/* The folder the library runs from (its InstallPath, which holds the INI and the trace). */
const char *ZukTestInstallDir(void);

#ifdef __cplusplus
}
#endif

#endif
