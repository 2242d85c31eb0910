// A call that may hang (a read of a FIFO nobody writes, of a device) in a child process that the system ends
// after 30 s (a guard, however busy the machine): a hang fails the test instead of stopping the run. A mutex
// another thread held at the fork cannot be taken in the child (the call blocks or aborts).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

// f()'s result (0..255), or -1 when the child did not end by itself within 30 s.
template <class F> int inChildWithin30s(F f)
{
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(30);
    _exit(f());
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
