#include "platform/byte_ring.h"

#include <algorithm>
#include <cstring>

namespace ombrix {

ByteRing::ByteRing(std::uint32_t capacity)
    : capacity_(capacity), bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity)) {}

ByteRing::Span ByteRing::freeSpan(std::uint32_t maxBytes) {
    const std::uint32_t start = produced_ & (capacity_ - 1);
    return {bytes_.get() + start, std::min({room(), capacity_ - start, maxBytes})};
}

void ByteRing::commit(std::uint32_t bytes) {
    produced_ += std::min(bytes, room());
}

std::vector<std::uint8_t> ByteRing::take(std::size_t maxBytes) {
    std::vector<std::uint8_t> chunk;
    take(maxBytes, chunk);
    return chunk;
}

void ByteRing::take(std::size_t maxBytes, std::vector<std::uint8_t>& chunk) {
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(maxBytes, buffered()));
    const std::uint32_t start = consumed_ & (capacity_ - 1);
    const std::uint32_t first = std::min(count, capacity_ - start);
    chunk.resize(count);
    if (count > 0) {
        std::memcpy(chunk.data(), bytes_.get() + start, first);
        std::memcpy(chunk.data() + first, bytes_.get(), count - first);
    }
    consumed_ += count;
}

}  // namespace ombrix
