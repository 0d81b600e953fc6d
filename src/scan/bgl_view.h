// A scenery file held in memory and the one way to read it: every field is fetched by
// byte offset through a check against the size, so no offset or count taken from the file
// is trusted before it is checked. A read beyond the end throws std::out_of_range.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace wnd {

static_assert(std::endian::native == std::endian::little,
              "scenery files are little endian and are read in place");

// The words of one file; trailing bytes that do not fill a word are not kept.
class BglData {
  public:
    BglData() = default;
    explicit BglData(std::size_t words)
        : words_(words), data_(std::make_unique_for_overwrite<std::uint32_t[]>(words)) {}

    std::size_t words() const { return words_; }
    std::size_t bytes() const { return words_ * 4; }
    const std::byte* data() const { return reinterpret_cast<const std::byte*>(data_.get()); }
    std::byte* mutableData() { return reinterpret_cast<std::byte*>(data_.get()); }

  private:
    std::size_t words_ = 0;
    std::unique_ptr<std::uint32_t[]> data_;
};

class BglView {
  public:
    BglView() = default;
    BglView(const std::byte* data, std::size_t size) : data_(data), size_(size) {}
    explicit BglView(const BglData& d) : data_(d.data()), size_(d.bytes()) {}

    std::size_t size() const { return size_; }
    // Whether n bytes from offset lie inside the file (no overflow on huge values).
    bool fits(std::uint64_t offset, std::uint64_t n) const {
        return offset <= size_ && n <= size_ - offset;
    }

    std::uint8_t u8(std::uint64_t offset) const { return get<std::uint8_t>(offset); }
    std::uint16_t u16(std::uint64_t offset) const { return get<std::uint16_t>(offset); }
    std::uint32_t u32(std::uint64_t offset) const { return get<std::uint32_t>(offset); }
    float f32(std::uint64_t offset) const { return get<float>(offset); }
    // The bytes [offset, offset + n) after the same check.
    const char* chars(std::uint64_t offset, std::uint64_t n) const {
        check(offset, n);
        return reinterpret_cast<const char*>(data_ + offset);
    }

  private:
    template <typename T>
    T get(std::uint64_t offset) const {
        check(offset, sizeof(T));
        T v;
        std::memcpy(&v, data_ + offset, sizeof(T));
        return v;
    }
    void check(std::uint64_t offset, std::uint64_t n) const {
        if (!fits(offset, n)) {
            throw std::out_of_range("read of " + std::to_string(n) + " bytes at offset " +
                                    std::to_string(offset) + " beyond the " +
                                    std::to_string(size_) + " bytes of the file");
        }
    }

    const std::byte* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace wnd
