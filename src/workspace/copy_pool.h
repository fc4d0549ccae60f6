// Copies made on a few threads of their own while the caller records the ones made before: the
// copies are begun in the order they are handed over, and the caller waits for each one when it
// comes to record it. At most kCapacity copies are handed over and not yet waited for.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace svregistration {
class RegistrationCopy;
}

namespace svregistration::workspace {

class CopyPool {
 public:
  static constexpr std::size_t kCapacity = 128;

  /// `threads` copying threads; with none, each copy is made when it is handed over.
  explicit CopyPool(unsigned threads);
  /// Stop()s.
  ~CopyPool();
  CopyPool(const CopyPool&) = delete;
  CopyPool& operator=(const CopyPool&) = delete;

  bool has_threads() const { return !threads_.empty(); }
  /// Hands the copy over to be made on one of the threads; it must stay where it is until Wait
  /// returns for the ticket this answers.
  std::uint64_t Hand(RegistrationCopy& copy);
  /// True when the copy of the ticket is made.
  bool Made(std::uint64_t ticket) const;
  /// Blocks until the copy of the ticket is made.
  void Wait(std::uint64_t ticket);
  /// The copies not yet begun are never made; those under way are finished.
  void Stop();

 private:
  void Work();
  void Wake();

  std::array<RegistrationCopy*, kCapacity> copies_{};
  std::array<std::atomic<bool>, kCapacity> made_{};
  std::atomic<std::uint64_t> handed_{0};
  std::atomic<std::uint64_t> begun_{0};
  // Bumped to wake the sleeping threads; they sleep on its value.
  std::atomic<std::uint64_t> signal_{0};
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> threads_;
};

}  // namespace svregistration::workspace
