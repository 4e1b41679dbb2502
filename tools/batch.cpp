// Batch runner: serial, or a pool of forked workers that each report one outcome through a
// pipe, while the parent emits the outcomes in argument order as soon as they are complete.
#include "batch.h"

#include <cstdio>
#include <optional>
#include <vector>

#ifndef _WIN32
#include <cerrno>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pdfrepair_cli {

namespace {

void run_serially(std::size_t count, const Job& job, const Emit& emit) {
  for (std::size_t i = 0; i < count; ++i) emit(i, job(i));
}

#ifndef _WIN32

constexpr std::size_t length_digits = 10;

// A status digit, the length of out in ten digits, out, then err up to the end.
std::string encode(const Outcome& outcome) {
  char head[16];
  std::snprintf(head, sizeof head, "%d%010zu", outcome.status, outcome.out.size());
  return head + outcome.out + outcome.err;
}

std::optional<Outcome> decode(const std::string& data) {
  if (data.size() < 1 + length_digits) return std::nullopt;
  Outcome outcome;
  outcome.status = data[0] - '0';
  const std::size_t out_size = std::stoul(data.substr(1, length_digits));
  if (out_size > data.size() - 1 - length_digits) return std::nullopt;
  outcome.out = data.substr(1 + length_digits, out_size);
  outcome.err = data.substr(1 + length_digits + out_size);
  return outcome;
}

bool write_all(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

struct Worker {
  pid_t pid;
  int fd;  // the read end of the worker's pipe
  std::size_t index;
  std::string data;
};

// Forks a worker for item index; nullopt when no process or pipe could be had.
std::optional<Worker> start_worker(std::size_t index, const Job& job) {
  int ends[2];
  if (pipe(ends) != 0) return std::nullopt;
  std::fflush(nullptr);  // or the child would print the parent's buffered output again
  const pid_t pid = fork();
  if (pid < 0) {
    close(ends[0]);
    close(ends[1]);
    return std::nullopt;
  }
  if (pid == 0) {
    close(ends[0]);
    const bool written = write_all(ends[1], encode(job(index)));
    _exit(written ? 0 : 1);
  }
  close(ends[1]);
  return Worker{pid, ends[0], index, {}};
}

// Reads what the worker wrote; true once its pipe is closed.
bool read_some(Worker& worker) {
  char chunk[65536];
  const ssize_t n = read(worker.fd, chunk, sizeof chunk);
  if (n < 0 && errno == EINTR) return false;
  if (n > 0) {
    worker.data.append(chunk, static_cast<std::size_t>(n));
    return false;
  }
  return true;
}

void run_in_workers(std::size_t count, std::size_t workers, const Job& job, const Emit& emit) {
  std::vector<std::optional<Outcome>> outcomes(count);
  std::vector<Worker> running;
  std::size_t next_job = 0;
  std::size_t next_emit = 0;
  while (next_emit < count) {
    while (running.size() < workers && next_job < count) {
      const std::size_t index = next_job++;
      if (auto worker = start_worker(index, job))
        running.push_back(std::move(*worker));
      else
        outcomes[index] = job(index);
    }
    std::vector<pollfd> fds;
    for (const Worker& worker : running) fds.push_back({worker.fd, POLLIN, 0});
    if (!fds.empty() && poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
      // Without poll the workers are drained one after another; each still finishes.
      for (pollfd& fd : fds) fd.revents = POLLIN;
    }
    for (std::size_t i = fds.size(); i-- > 0;) {
      if (fds[i].revents == 0 || !read_some(running[i])) continue;
      Worker& worker = running[i];
      close(worker.fd);
      int wait_status = 0;
      while (waitpid(worker.pid, &wait_status, 0) < 0 && errno == EINTR) {
      }
      // A worker that died without its outcome is run again here, so the item fails the
      // way it would in a serial run.
      const bool finished = WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
      std::optional<Outcome> outcome = finished ? decode(worker.data) : std::nullopt;
      outcomes[worker.index] = outcome ? std::move(*outcome) : job(worker.index);
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
    }
    for (; next_emit < count && outcomes[next_emit]; ++next_emit) {
      emit(next_emit, *outcomes[next_emit]);
      outcomes[next_emit].reset();
    }
  }
}

#endif

}  // namespace

void run_batch(std::size_t count, int workers, const Job& job, const Emit& emit) {
#ifndef _WIN32
  if (workers > 1 && count > 1) {
    run_in_workers(count, static_cast<std::size_t>(workers), job, emit);
    return;
  }
#else
  (void)workers;
#endif
  run_serially(count, job, emit);
}

}  // namespace pdfrepair_cli
