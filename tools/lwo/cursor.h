// Reading the big-endian numbers, names and indices of an IFF chunk, never
// past the chunk's end. A fault names the chunk and the byte offset, in the
// file, where its reading went wrong.
#ifndef BRELVIX_TOOLS_LWO_CURSOR_H
#define BRELVIX_TOOLS_LWO_CURSOR_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace brelvix::lwo {

/// What went wrong, and where: thrown inside the reader, caught at its
/// edge (readObject) and turned into one line.
struct Fault {
    std::string chunk;
    std::size_t offset = 0;
    std::string what;
};

class Cursor {
  public:
    /// `bytes` is the chunk's data; `offset` where it starts in the file.
    Cursor(std::string_view bytes, std::size_t offset, std::string chunk)
        : bytes_(bytes), base_(offset), chunk_(std::move(chunk)) {}

    std::size_t remaining() const { return bytes_.size() - at_; }
    bool done() const { return at_ >= bytes_.size(); }
    /// Where the next byte is, in the file.
    std::size_t offset() const { return base_ + at_; }
    const std::string &chunk() const { return chunk_; }

    [[noreturn]] void fail(const std::string &what) const { throw Fault{chunk_, offset(), what}; }
    /// A fault in the value that started at file offset `at`.
    [[noreturn]] void failAt(std::size_t at, const std::string &what) const {
        throw Fault{chunk_, at, what};
    }

    void need(std::size_t count, const char *what) const {
        if (count > remaining()) {
            fail(std::string(what) + " runs past the chunk's end");
        }
    }
    std::uint8_t u1() {
        need(1, "a byte");
        return static_cast<std::uint8_t>(bytes_[at_++]);
    }
    std::uint16_t u2() {
        need(2, "a number");
        const auto *p = reinterpret_cast<const unsigned char *>(bytes_.data() + at_);
        at_ += 2;
        return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    }
    std::uint32_t u4() {
        need(4, "a number");
        return take4();
    }
    std::int16_t i2() { return static_cast<std::int16_t>(u2()); }
    float f4() {
        need(4, "a number");
        const std::uint32_t raw = take4();
        float value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
    }
    std::string id4() {
        need(4, "an identifier");
        std::string id(bytes_.substr(at_, 4));
        at_ += 4;
        return id;
    }
    /// A variable-length index (VX): two bytes, or four when the first is
    /// 0xFF, of which the low three count.
    std::uint32_t vx() {
        need(2, "an index");
        if (static_cast<unsigned char>(bytes_[at_]) != 0xFF) {
            return u2();
        }
        need(4, "an index");
        return take4() & 0x00FFFFFFu;
    }
    /// A name ended by a zero byte and padded to an even length (S0).
    std::string name() {
        const std::size_t begin = at_;
        const std::size_t end = bytes_.find('\0', at_);
        if (end == std::string_view::npos) {
            fail("a name without its ending zero byte");
        }
        std::string text(bytes_.substr(at_, end - at_));
        at_ = end + 1;
        if ((at_ - begin) % 2 != 0 && at_ < bytes_.size()) {
            ++at_;
        }
        return text;
    }
    void skip(std::size_t count) {
        need(count, "the data");
        at_ += count;
    }
    /// The next `count` bytes, as a cursor of their own.
    Cursor sub(std::size_t count, std::string chunk) {
        need(count, ("the " + chunk + " sub-chunk").c_str());
        Cursor inner(bytes_.substr(at_, count), offset(), std::move(chunk));
        at_ += count;
        return inner;
    }

  private:
    std::uint32_t take4() {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes_.data() + at_);
        at_ += 4;
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
               (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    }

    std::string_view bytes_;
    std::size_t base_;
    std::string chunk_;
    std::size_t at_ = 0;
};

/// Each chunk of an IFF body: ID4, a size of `sizeBytes` (4, or 2 for a
/// surface's sub-chunks), the data, one pad byte after odd data. Calls
/// `each(id, cursor)` with a cursor over the data alone.
template <typename Each> void forEachChunk(Cursor &body, int sizeBytes, Each &&each) {
    while (body.remaining() > 0) {
        if (body.remaining() < static_cast<std::size_t>(4 + sizeBytes)) {
            // Too few bytes for a chunk's header: padding at the end.
            body.skip(body.remaining());
            return;
        }
        const std::size_t start = body.offset();
        const std::string id = body.id4();
        const std::uint32_t size = sizeBytes == 4 ? body.u4() : body.u2();
        if (size > body.remaining()) {
            throw Fault{id, start,
                        "declares " + std::to_string(size) + " bytes where " +
                            std::to_string(body.remaining()) + " remain"};
        }
        Cursor data = body.sub(size, id);
        each(id, data);
        if (size % 2 != 0 && body.remaining() > 0) {
            body.skip(1);
        }
    }
}

} // namespace brelvix::lwo

#endif
