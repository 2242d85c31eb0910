// The indicator lamps of the modulators' panels: what the audio thread publishes for them, and the refresh
// that shows or hides them on the editor thread.
//
// Threads: the editor's refresh (updateGraphics) may run without the instance mutex while update runs, so
// everything it reads is an atomic written once per tick (relaxed: a stale value only moves a lamp by one
// idle tick). The audio path keeps its own plain counters and gate values for its arithmetic and only
// copies them here.
#pragma once

#include <atomic>
#include <cstdint>

class ModuleConfig;

namespace ModulatorLamps {

// The gate lamp of one envelope. update calls rise() on a rising gate and publish() every tick; the lamp is
// lit at a refresh when the gate rose since the refresh before (or is still held) and is connected.
class GateLamp
{
public:
  void rise() { indicator.store(true, std::memory_order_relaxed); }
  // Whether a gate source is connected, and whether the gate's last value is above 0.
  void publish(bool connected, bool held)
  {
    gateConnected.store(connected, std::memory_order_relaxed);
    gateHeld.store(held, std::memory_order_relaxed);
  }
  // Editor thread, once per refresh: whether the lamp is lit now. The indicator then becomes whether the gate
  // is still held, so a trigger that rose and fell between two refreshes lights the lamp once, and a held
  // gate keeps it lit.
  bool refresh()
  {
    const bool lit = indicator.load(std::memory_order_relaxed) && gateConnected.load(std::memory_order_relaxed);
    indicator.store(gateHeld.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return lit;
  }
  bool indicated() const { return indicator.load(std::memory_order_relaxed); }

private:
  std::atomic<bool> indicator{false};
  std::atomic<bool> gateConnected{false};
  std::atomic<bool> gateHeld{false};
};

// The position of one generator in its cycle: its countdown (period - 1 at the start of a cycle, 0 at its
// end) and its period in ticks, published together once per tick so the refresh never pairs a countdown
// with another tick's period.
class CyclePosition
{
public:
  void publish(int countdown, int period)
  {
    packed.store((uint64_t)(uint32_t)period << 32 | (uint32_t)countdown, std::memory_order_relaxed);
  }
  struct Value
  {
    int countdown, period;
    int half() const { return period / 2; }
  };
  Value load() const
  {
    const uint64_t v = packed.load(std::memory_order_relaxed);
    return {(int)(uint32_t)v, (int)(uint32_t)(v >> 32)};
  }

private:
  static_assert(std::atomic<uint64_t>::is_always_lock_free, "the audio thread must not wait for the editor");
  std::atomic<uint64_t> packed{0};
};

// The refresh of an envelope panel whose special controls are the lamps of gates[0..count-1], in order.
void refreshGateLamps(const ModuleConfig* config, GateLamp* gates, int count);

} // namespace ModulatorLamps
