#include "app/process_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace tolmar {

namespace {

struct Running {
  pid_t pid = -1;
  int fd = -1;
};

bool start(ChildRun& child, Running& r) {
  std::vector<char*> argv;
  for (std::string& a : child.args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    child.startError = errno;
    return false;
  }
  // The read ends of the pipes must not leak into later children: a child holding another's
  // pipe open would keep that one from ever seeing the end of its output.
  fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  const int rc = posix_spawn(&r.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (rc != 0) {
    close(pipeFds[0]);
    child.startError = rc;
    return false;
  }
  r.fd = pipeFds[0];
  child.started = true;
  return true;
}

void reap(ChildRun& child, Running& r) {
  close(r.fd);
  r.fd = -1;
  int status = 0;
  while (waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
  }
  child.done = true;
  child.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

void runChildren(std::vector<ChildRun>& children, int limit, const PoolCalls& calls) {
  std::vector<Running> running(children.size());
  std::size_t next = 0, handed = 0, finished = 0;
  int active = 0;
  auto clashesWithRunning = [&](std::size_t k) {
    if (!calls.clash) return false;
    for (std::size_t j = 0; j < k; ++j)
      if (running[j].fd >= 0 && calls.clash(j, k)) return true;
    return false;
  };
  while (handed < children.size()) {
    while (active < limit && next < children.size() && !clashesWithRunning(next)) {
      if (start(children[next], running[next])) {
        ++active;
      } else {
        children[next].done = true;
        ++finished;
        if (calls.startFailed) calls.startFailed(next);
      }
      ++next;
    }
    std::vector<pollfd> fds;
    std::vector<std::size_t> owners;
    for (std::size_t i = 0; i < next; ++i) {
      if (running[i].fd >= 0) {
        fds.push_back({running[i].fd, POLLIN, 0});
        owners.push_back(i);
      }
    }
    if (!fds.empty() && poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    for (std::size_t k = 0; k < fds.size(); ++k) {
      if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const std::size_t i = owners[k];
      char buf[4096];
      const ssize_t n = read(running[i].fd, buf, sizeof buf);
      if (n > 0) {
        children[i].out.append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        reap(children[i], running[i]);
        --active;
        ++finished;
        if (calls.ended) calls.ended(i);
      }
    }
    while (handed < children.size() && children[handed].done) {
      if (calls.ready) calls.ready(handed);
      ++handed;
    }
    if (handed < children.size() && calls.waiting) calls.waiting(finished);
  }
}

}  // namespace tolmar
