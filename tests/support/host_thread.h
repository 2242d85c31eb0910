// A host thread that lives on between the calls it is given, each run on it and waited for: a host's main
// thread, or one of a pool that processes audio, whose identity the plug-in may remember.
//
//   HostThread pool;
//   pool.call([&] { effect->processReplacing(effect, in, out, 64); });
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class HostThread
{
public:
  HostThread() : thread([this] { loop(); }) {}
  ~HostThread()
  {
    call(nullptr);
    thread.join();
  }
  HostThread(const HostThread&) = delete;
  HostThread& operator=(const HostThread&) = delete;

  void call(std::function<void()> f)
  {
    std::unique_lock<std::mutex> lock(m);
    task = f ? std::move(f) : [this] { done = true; };
    pending = true;
    cv.notify_all();
    cv.wait(lock, [this] { return !pending; });
  }

private:
  void loop()
  {
    std::unique_lock<std::mutex> lock(m);
    while (!done) {
      cv.wait(lock, [this] { return pending; });
      task();
      pending = false;
      cv.notify_all();
    }
  }
  std::mutex m;
  std::condition_variable cv;
  std::function<void()> task;
  bool pending = false, done = false;
  std::thread thread;
};
