#include "tools/shot/byte_stream.h"

#include <algorithm>
#include <cerrno>
#include <sys/mman.h>
#include <unistd.h>

namespace brelvix::render {
namespace {

/// Bytes held back before a write to a descriptor; an array at least this
/// large goes on its own.
constexpr std::size_t kPiece = 64 * 1024;

} // namespace

ByteWriter ByteWriter::into(int fd) {
    ByteWriter writer;
    writer.mode_ = Mode::descriptor;
    writer.fd_ = fd;
    return writer;
}

ByteWriter ByteWriter::counting() {
    ByteWriter writer;
    writer.mode_ = Mode::counting;
    return writer;
}

void ByteWriter::put(const void *data, std::size_t size) {
    size_ += size;
    if (size == 0 || mode_ == Mode::counting) {
        return;
    }
    const char *bytes = static_cast<const char *>(data);
    if (mode_ == Mode::memory || size < kPiece) {
        bytes_.append(bytes, size);
        if (mode_ == Mode::descriptor && bytes_.size() >= kPiece) {
            flush();
        }
        return;
    }
    flush();
    while (size > 0 && !failed_) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        failed_ = written <= 0;
        bytes += written > 0 ? written : 0;
        size -= written > 0 ? static_cast<std::size_t>(written) : 0;
    }
}

void ByteWriter::flush() {
    if (mode_ != Mode::descriptor) {
        return;
    }
    std::size_t at = 0;
    while (at < bytes_.size() && !failed_) {
        const ssize_t written = ::write(fd_, bytes_.data() + at, bytes_.size() - at);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        failed_ = written <= 0;
        at += written > 0 ? static_cast<std::size_t>(written) : 0;
    }
    bytes_.clear();
}

void ByteReader::prefault(void *data, std::size_t size) {
    // The whole pages inside; failing (an older kernel) changes nothing.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(page - 1);
    if (end > start) {
        madvise(reinterpret_cast<void *>(start), end - start, MADV_POPULATE_WRITE);
    }
}

bool ByteReader::take(void *into, std::size_t size) {
    if (!ok_ || size > left_) {
        return fail();
    }
    if (size == 0) {
        return true;
    }
    char *out = static_cast<char *>(into);
    left_ -= size;
    if (!fill_) {
        std::memcpy(out, memory_.data(), size);
        memory_.remove_prefix(size);
        return true;
    }
    // What was read ahead first, then the stream.
    const std::size_t held = std::min(size, buffer_.size() - bufferAt_);
    std::memcpy(out, buffer_.data() + bufferAt_, held);
    bufferAt_ += held;
    out += held;
    size -= held;
    while (size >= kPiece) {
        const std::size_t got = fill_(out, size);
        if (got == 0) {
            return fail();
        }
        out += got;
        size -= got;
    }
    while (size > 0) {
        // Never past the message: what follows it is not ours.
        buffer_.resize(static_cast<std::size_t>(
            std::min<std::uint64_t>(kPiece, size + std::min<std::uint64_t>(left_, kPiece))));
        const std::size_t got = fill_(buffer_.data(), buffer_.size());
        if (got == 0) {
            return fail();
        }
        buffer_.resize(got);
        const std::size_t used = std::min(size, got);
        std::memcpy(out, buffer_.data(), used);
        bufferAt_ = used;
        out += used;
        size -= used;
    }
    return true;
}

} // namespace brelvix::render
