// A host thread that lives on between the calls given to it (each run there and waited for): a host's main
// thread, or one of a pool that processes audio, whose identity the plug-in may remember.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class HostThread
{
public:
  ~HostThread()
  {
    call([this] { done = true; });
    thread.join();
  }
  void call(std::function<void()> f)
  {
    std::unique_lock<std::mutex> lock(m);
    task = std::move(f);
    cv.notify_all();
    cv.wait(lock, [this] { return !task; });
  }

private:
  std::mutex m;
  std::condition_variable cv;
  std::function<void()> task;
  bool done = false;
  std::thread thread{[this] {
    std::unique_lock<std::mutex> lock(m);
    while (!done) {
      cv.wait(lock, [this] { return bool(task); });
      task();
      task = nullptr;
      cv.notify_all();
    }
  }};
};
