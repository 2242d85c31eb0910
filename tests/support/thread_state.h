// Whether another thread of this process has come to wait (for a lock, a condition, a nap), as the system sees
// it: for a test that must act only once a thread waits where it should.
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

// Waits until thread `tid` (its gettid()) sleeps, for 30 s at most (a busy machine may keep it from running that
// long): whether it came to sleep (not when it ended). The state follows the thread's name in /proc, which may
// hold anything.
inline bool ThreadComesToSleep(pid_t tid)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    if (!stat) return false;
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');
    if (name != std::string::npos && line.compare(name + 1, 2, " S") == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

// Waits until thread `tid` blocks taking a mutex that lends its priority to its waiters (a WDL_Mutex), for 30 s at
// most: whether it came to (not when it ended). The system shows the call a blocked thread is in.
inline bool ThreadComesToWaitForALock(pid_t tid)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    std::ifstream call("/proc/self/task/" + std::to_string(tid) + "/syscall"); // "running" while not blocked
    if (!call) return false;
    long number = -1;
    std::string address, op;
    if (call >> number >> address >> op && number == SYS_futex) {
      const unsigned long command = std::stoul(op, nullptr, 16) & FUTEX_CMD_MASK;
      if (command == FUTEX_LOCK_PI || command == FUTEX_LOCK_PI2) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (std::chrono::steady_clock::now() < end);
  return false;
}
