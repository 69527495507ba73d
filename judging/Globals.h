// The process-wide objects of the judging core and their start-up and
// clean-up.
//
// The objects, which the windows read and change directly for the whole
// run:
//
//   Checkers        the loaded checker plug-ins    (judging/Checkers.h)
//   ContestInfo     the open contest               (judging/Contests.h)
//   CompilerConfig  the compiler table             (judging/EnvConfig.h)
//   EnvConfig       the environment settings       (judging/EnvConfig.h)
//
// The program's main() calls InitializeGlobals after the system
// information and the GUI font are set up (the font settings default to
// that font), and FinalizeGlobals in reverse order at the end.
#pragma once

namespace velkor {

// Creates the objects in this order: the checker set, filled from
// "~Judgers" beside the program first, because a new exam takes the first
// checker as its default and the contest builds a placeholder exam at
// once; the contest; the compiler table; the environment settings. Then
// reads the per-user configuration and binds the score pattern to the
// settings.
void InitializeGlobals();

// Whether FinalizeGlobals writes the configuration. A copy that stopped
// before its window opened (another Velkor holds its folders) leaves it:
// what it read is the running copy's, which that copy saves itself.
enum class TConfigurationAtExit { Save, Leave };

// Saves the configuration (unless told to leave it) and frees the objects
// (the settings, the table, the checker set, which unloads the plug-ins,
// then the contest). A save that fails is reported through the message
// dialog and the clean-up goes on: the program still ends in order.
void FinalizeGlobals(TConfigurationAtExit AtExit = TConfigurationAtExit::Save);

}  // namespace velkor
