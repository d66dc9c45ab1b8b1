#pragma once
#include <filesystem>

#include "cli/job_list.h"

namespace tamo::cli {

// How many jobs --all runs at once when --parallel is not given, for a machine with `cores` cores.
int defaultParallelism(unsigned cores);

// Renders every good job of the list, `parallel` at a time, each in a child process of this
// program (--index N --progress json), so that one job that crashes or runs out of memory ends
// alone. Jobs whose output is already complete are skipped; bad lines are reported and skipped.
// Reports progress (terminal bar, plain lines or JSON lines) and a summary of the failures, and
// returns the exit status: 0 when every job succeeded, 1 otherwise, 128 + signal when cancelled.
int runAllJobs(const JobList& list, const std::filesystem::path& jobsFile, int parallel, bool json);

}  // namespace tamo::cli
