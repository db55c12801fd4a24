#pragma once
// A fixed ring of bytes between one producer and one consumer. It does no locking itself: the
// owner guards the counters, and only the producer touches the free span it was given.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ombrix {

class ByteRing {
  public:
    struct Span {
        std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
    };

    // `capacity` is a power of two, so that the counters may wrap around.
    explicit ByteRing(std::uint32_t capacity);

    std::uint32_t capacity() const { return capacity_; }
    std::uint32_t buffered() const { return produced_ - consumed_; }
    std::uint32_t room() const { return capacity_ - buffered(); }

    // The contiguous free bytes after the data, at most `maxBytes`; empty when the ring is full.
    Span freeSpan(std::uint32_t maxBytes);
    // `bytes` of the last free span now hold data.
    void commit(std::uint32_t bytes);
    // Up to `maxBytes` from the front, in order.
    std::vector<std::uint8_t> take(std::size_t maxBytes);
    // The same, into `chunk`, replacing what it held.
    void take(std::size_t maxBytes, std::vector<std::uint8_t>& chunk);

  private:
    std::uint32_t capacity_;
    // Left uninitialized: only bytes the producer committed are read, and pages nobody wrote
    // yet cost neither time nor memory (the ring is made on the window's thread at start).
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::uint32_t produced_ = 0;  // bytes put in so far (wraps around)
    std::uint32_t consumed_ = 0;  // bytes taken out so far (wraps around)
};

}  // namespace ombrix
