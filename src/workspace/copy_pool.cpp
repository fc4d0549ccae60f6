// The copying threads of a registration run. Waking a thread costs two system calls, as much as
// making a small copy, so a sleeping thread is woken only when a batch of copies waits for it or
// the caller waits for one; the caller looks at whether a copy is made without a lock.
#include "workspace/copy_pool.h"

#include "svregistration/registration_steps.h"

namespace svregistration::workspace {

namespace {

// Copies handed over between two wakings of the threads.
constexpr std::uint64_t kBatch = 16;

}  // namespace

CopyPool::CopyPool(unsigned threads) {
  threads_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

CopyPool::~CopyPool() { Stop(); }

void CopyPool::Wake() {
  signal_.fetch_add(1, std::memory_order_release);
  signal_.notify_all();
}

void CopyPool::Stop() {
  stopping_.store(true);
  Wake();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

std::uint64_t CopyPool::Hand(RegistrationCopy& copy) {
  const std::uint64_t ticket = handed_.load(std::memory_order_relaxed);
  const std::size_t slot = ticket % kCapacity;
  copies_[slot] = &copy;
  made_[slot].store(false, std::memory_order_relaxed);
  if (threads_.empty()) {
    if (!stopping_.load()) copy.Make();
    made_[slot].store(true, std::memory_order_relaxed);
  }
  handed_.store(ticket + 1, std::memory_order_release);
  if ((ticket + 1) % kBatch == 0) Wake();
  return ticket;
}

bool CopyPool::Made(std::uint64_t ticket) const {
  return made_[ticket % kCapacity].load(std::memory_order_acquire);
}

void CopyPool::Wait(std::uint64_t ticket) {
  std::atomic<bool>& made = made_[ticket % kCapacity];
  if (made.load(std::memory_order_acquire)) return;
  Wake();  // whatever is handed over is wanted now
  made.wait(false, std::memory_order_acquire);
}

void CopyPool::Work() {
  for (;;) {
    const std::uint64_t seen = signal_.load(std::memory_order_acquire);
    if (stopping_.load()) return;
    std::uint64_t ticket = begun_.load(std::memory_order_relaxed);
    if (ticket >= handed_.load(std::memory_order_acquire)) {
      signal_.wait(seen, std::memory_order_acquire);
      continue;
    }
    if (!begun_.compare_exchange_weak(ticket, ticket + 1, std::memory_order_acq_rel)) continue;
    const std::size_t slot = ticket % kCapacity;
    copies_[slot]->Make();
    made_[slot].store(true, std::memory_order_release);
    made_[slot].notify_one();
  }
}

}  // namespace svregistration::workspace
