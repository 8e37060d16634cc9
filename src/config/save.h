// The save sequence's steps, for tests that stop the process between them.
#pragma once

namespace cvx::config {

// Points between the steps of confSaveConfiguration, in order. At each of
// them the configuration path holds the complete old or the complete new file.
enum SaveStep : int {
    SAVE_NEW_FILE_WRITTEN = 1,   // the new text is flushed to a temporary beside the file
    SAVE_BACKUP_WRITTEN = 2,     // the old bytes are flushed to a temporary beside the backup
    SAVE_BACKUP_IN_PLACE = 3,    // the backup path holds the old file
    SAVE_NEW_FILE_IN_PLACE = 4,  // the configuration path holds the new file
};

// Called with each step as it is reached; null in the program.
using SaveStepHook = void (*)(int step);
extern SaveStepHook save_step_hook;

}  // namespace cvx::config
