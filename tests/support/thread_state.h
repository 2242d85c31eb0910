// Whether another thread of this process has come to wait (for a lock, a condition, a nap), as the system sees
// it: for a test that must act only once a thread waits where it should.
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// Reads the first line of thread `tid`'s file `what` in /proc until `holds` it, for 30 s at most (a busy machine
// may keep the thread from running that long): whether it came to (not when it ended).
template <class Holds> bool ThreadComesTo(pid_t tid, const char* what, Holds holds)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/" + what);
    if (!file) return false;
    std::string line;
    std::getline(file, line);
    if (holds(line)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

// Thread `tid` (its gettid()) sleeps. The state follows the thread's name, which may hold anything.
inline bool ThreadComesToSleep(pid_t tid)
{
  return ThreadComesTo(tid, "stat", [](const std::string& line) {
    const size_t name = line.rfind(')');
    return name != std::string::npos && line.compare(name + 1, 2, " S") == 0;
  });
}

// Thread `tid` blocks taking a mutex that lends its priority to its waiters (a WDL_Mutex): the system shows the
// call a blocked thread is in ("running" while it is not).
inline bool ThreadComesToWaitForALock(pid_t tid)
{
  return ThreadComesTo(tid, "syscall", [](const std::string& line) {
    std::istringstream call(line);
    long number = -1;
    std::string address, op;
    if (!(call >> number >> address >> op) || number != SYS_futex) return false;
    const unsigned long command = std::stoul(op, nullptr, 16) & FUTEX_CMD_MASK;
    return command == FUTEX_LOCK_PI || command == FUTEX_LOCK_PI2;
  });
}
