// Reads typed values from a fuzzer's input, front to back; past the end every read gives 0,
// so that a short input is still a complete, valid case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <typename T>
    T take() {
        T value{};
        const std::size_t n = sizeof(T) < size_ - at_ ? sizeof(T) : size_ - at_;
        if (n > 0) std::memcpy(&value, data_ + at_, n);
        at_ += n;
        return value;
    }
    // Up to `count` bytes, and how many there were.
    const std::uint8_t* bytes(std::size_t count, std::size_t& got) {
        got = count < size_ - at_ ? count : size_ - at_;
        const std::uint8_t* start = data_ + at_;
        at_ += got;
        return start;
    }
    bool empty() const { return at_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
