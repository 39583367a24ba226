// What the fuzz targets share: a scratch folder of their own, and a process
// whose writes cannot reach anything but that folder and libFuzzer's own
// output folders, whatever an input asks the program to do.
#pragma once

#include <string>

namespace lumireel::fuzzing {

// Call first thing in LLVMFuzzerInitialize, before anything starts a thread
// (libvips included): the write confinement covers the calling thread and
// the threads it starts later, not threads that already run.
//
// - Makes libFuzzer's paths absolute (the corpus folders, -artifact_prefix,
//   -exact_artifact_path, -features_dir, -dict), since a target may change
//   the current folder, and adds -artifact_prefix=<current folder>/ when
//   none was given.
// - Creates the scratch folder lumireel-<name>-XXXXXX in $TMPDIR, or when
//   that is not set in /dev/shm (a memory file system) or else /tmp,
//   removed again by a helper process once this process has ended, however
//   it ended.
// - Confines, with Landlock, every kind of write (writing, truncating,
//   creating, deleting, linking and renaming files and folders) to the
//   scratch folder, the first corpus folder (where libFuzzer keeps new
//   inputs), the folders of the artifact prefix and of -exact_artifact_path,
//   -features_dir and /dev/null. Reading stays free. Where the kernel has no
//   Landlock, a line on standard error says so and the targets rely on their
//   own input checks.
//
// Returns the scratch folder (absolute, without a trailing separator). Ends
// the process when the folder cannot be made.
std::string SetUpFuzzTarget(int* argc, char*** argv, const char* name);

}  // namespace lumireel::fuzzing
