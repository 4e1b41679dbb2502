// Runs the items of a batch one by one or in worker processes, and hands their outcomes back
// in argument order either way.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace pdfrepair_cli {

// What one item produced: its exit status and the texts for standard output and error.
struct Outcome {
  int status = 0;
  std::string out;
  std::string err;
};

using Job = std::function<Outcome(std::size_t index)>;
using Emit = std::function<void(std::size_t index, const Outcome& outcome)>;

// Runs job(0) .. job(count - 1) and calls emit for each outcome in index order. With more than
// one worker each item runs in a child process of its own, at most `workers` at a time: the
// library keeps process-wide state, so processes are its unit of parallelism. On Windows the
// items always run here, one by one.
void run_batch(std::size_t count, int workers, const Job& job, const Emit& emit);

}  // namespace pdfrepair_cli
