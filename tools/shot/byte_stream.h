// A plain byte stream for one program talking to itself across a pipe:
// native-endian numbers, texts and arrays of trivially copyable records.
// The reading side trusts nothing: every count is checked against the bytes
// left before anything is allocated, so that a damaged stream gives an error
// and never a wild read or a huge allocation.
#ifndef BRELVIX_TOOLS_SHOT_BYTE_STREAM_H
#define BRELVIX_TOOLS_SHOT_BYTE_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace brelvix::render {

/// Writes into memory, straight into a file descriptor (a pipe), or only
/// counts the bytes. Large arrays go to a descriptor without a copy: a
/// large message never lies whole in memory a second time.
class ByteWriter {
  public:
    /// Into memory: `bytes()`.
    ByteWriter() = default;
    /// Into `fd`, in pieces; `failed()` once a write fails.
    static ByteWriter into(int fd);
    /// Counts only: `size()`.
    static ByteWriter counting();
    ByteWriter(ByteWriter &&) = default;
    ~ByteWriter() { flush(); }

    template <typename T> void value(const T &v) {
        static_assert(std::is_trivially_copyable_v<T>);
        put(&v, sizeof v);
    }
    void count(std::size_t n) { value(static_cast<std::uint64_t>(n)); }
    void text(std::string_view s) {
        count(s.size());
        put(s.data(), s.size());
    }
    template <typename T> void array(const std::vector<T> &items) {
        static_assert(std::is_trivially_copyable_v<T>);
        count(items.size());
        put(items.data(), items.size() * sizeof(T));
    }
    void put(const void *data, std::size_t size);
    /// Writes what is held back to the descriptor.
    void flush();

    std::uint64_t size() const { return size_; }
    bool failed() const { return failed_; }
    const std::string &bytes() const { return bytes_; }
    std::string take() { return std::move(bytes_); }

  private:
    enum class Mode { memory, descriptor, counting };
    Mode mode_ = Mode::memory;
    int fd_ = -1;
    std::string bytes_;
    std::uint64_t size_ = 0;
    bool failed_ = false;
};

/// Reads a message of known length from memory, or from a stream through
/// `Fill` (large arrays straight into their vectors).
class ByteReader {
  public:
    /// Puts up to `most` bytes at `into`; 0 when the stream ended or failed.
    using Fill = std::function<std::size_t(char *into, std::size_t most)>;

    explicit ByteReader(std::string_view bytes) : memory_(bytes), left_(bytes.size()) {}
    ByteReader(std::uint64_t length, Fill fill) : left_(length), fill_(std::move(fill)) {}

    /// False (and from then on) once the bytes run out or a check fails.
    bool ok() const { return ok_; }
    bool atEnd() const { return left_ == 0; }
    /// Marks the message damaged; returns false for use in conditions.
    bool fail() { return ok_ = false; }

    template <typename T> bool value(T &v) {
        static_assert(std::is_trivially_copyable_v<T>);
        return take(&v, sizeof v);
    }
    /// A count of items of `itemSize` bytes each that the rest can hold.
    bool count(std::size_t &n, std::size_t itemSize) {
        std::uint64_t raw = 0;
        if (!value(raw) || raw > left_ / (itemSize == 0 ? 1 : itemSize)) {
            return fail();
        }
        n = static_cast<std::size_t>(raw);
        return true;
    }
    bool text(std::string &s) {
        std::size_t n = 0;
        if (!count(n, 1)) {
            return false;
        }
        s.resize(n);
        return take(s.data(), n);
    }
    template <typename T> bool array(std::vector<T> &items) {
        static_assert(std::is_trivially_copyable_v<T>);
        std::size_t n = 0;
        if (!count(n, sizeof(T))) {
            return false;
        }
        if (n * sizeof(T) >= kPrefaultFrom && items.capacity() < n) {
            // Its pages made in one call, rather than one fault at a time.
            std::vector<T>().swap(items);
            items.reserve(n);
            prefault(items.data(), n * sizeof(T));
        }
        items.resize(n);
        return take(items.data(), n * sizeof(T));
    }
    /// An enumeration stored as its number, at most `last`.
    template <typename E> bool enumeration(E &e, E last) {
        std::int32_t raw = 0;
        if (!value(raw) || raw < 0 || raw > static_cast<std::int32_t>(last)) {
            return fail();
        }
        e = static_cast<E>(raw);
        return true;
    }

  private:
    static constexpr std::size_t kPrefaultFrom = 64 * 1024;
    static void prefault(void *data, std::size_t size);
    /// The next `size` bytes of the message into `into`.
    bool take(void *into, std::size_t size);

    std::string_view memory_;
    std::uint64_t left_;
    Fill fill_;
    std::string buffer_; // read ahead from the stream
    std::size_t bufferAt_ = 0;
    bool ok_ = true;
};

template <typename E> void writeEnumeration(ByteWriter &out, E e) {
    out.value(static_cast<std::int32_t>(e));
}

} // namespace brelvix::render

#endif
