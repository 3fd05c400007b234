// The bytes a loaded shot travels in from the loading process to the
// renderer: a plain, native-endian sequence of numbers, texts and arrays (both
// ends are the same program on the same machine). The reading side trusts
// nothing: every count is checked against the bytes left before anything is
// allocated, every enumeration and index against its range, so that a
// damaged message gives an error and never a wild read or a huge allocation.
#ifndef BRELVIX_TOOLS_RENDER_SHOT_WIRE_H
#define BRELVIX_TOOLS_RENDER_SHOT_WIRE_H

#include "tools/lightwave/scene.h"
#include "tools/world/world_scene.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace brelvix::render {

/// The first byte of a written shot: which kind follows.
enum class ShotKind : std::uint8_t { still = 1, lightWave = 2 };

class ByteWriter {
  public:
    template <typename T> void value(const T &v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char *>(&v), sizeof v);
    }
    void count(std::size_t n) { value(static_cast<std::uint64_t>(n)); }
    void text(std::string_view s) {
        count(s.size());
        bytes_.append(s);
    }
    template <typename T> void array(const std::vector<T> &items) {
        static_assert(std::is_trivially_copyable_v<T>);
        count(items.size());
        if (!items.empty()) {
            bytes_.append(reinterpret_cast<const char *>(items.data()), items.size() * sizeof(T));
        }
    }
    const std::string &bytes() const { return bytes_; }
    std::string take() { return std::move(bytes_); }

  private:
    std::string bytes_;
};

class ByteReader {
  public:
    explicit ByteReader(std::string_view bytes) : rest_(bytes) {}

    /// False (and from then on) once the bytes run out or a check fails.
    bool ok() const { return ok_; }
    bool atEnd() const { return rest_.empty(); }
    /// Marks the message damaged; returns false for use in conditions.
    bool fail() { return ok_ = false; }

    template <typename T> bool value(T &v) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (!ok_ || rest_.size() < sizeof v) {
            return fail();
        }
        std::memcpy(&v, rest_.data(), sizeof v);
        rest_.remove_prefix(sizeof v);
        return true;
    }
    /// A count of items of `itemSize` bytes each that the rest can hold.
    bool count(std::size_t &n, std::size_t itemSize) {
        std::uint64_t raw = 0;
        if (!value(raw) || raw > rest_.size() / (itemSize == 0 ? 1 : itemSize)) {
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
        s.assign(rest_.data(), n);
        rest_.remove_prefix(n);
        return true;
    }
    template <typename T> bool array(std::vector<T> &items) {
        static_assert(std::is_trivially_copyable_v<T>);
        std::size_t n = 0;
        if (!count(n, sizeof(T))) {
            return false;
        }
        items.resize(n);
        if (n > 0) { // an empty vector's data may be null
            std::memcpy(items.data(), rest_.data(), n * sizeof(T));
        }
        rest_.remove_prefix(n * sizeof(T));
        return true;
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
    std::string_view rest_;
    bool ok_ = true;
};

template <typename E> void writeEnumeration(ByteWriter &out, E e) {
    out.value(static_cast<std::int32_t>(e));
}

void writeMeshes(ByteWriter &out, const std::vector<world::Mesh> &meshes);
/// False for a damaged message or a mesh whose triangles name a vertex it
/// does not have, or whose normals or colours do not match its vertices.
bool readMeshes(ByteReader &in, std::vector<world::Mesh> &meshes);

void writeWorldScene(ByteWriter &out, const world::WorldScene &scene);
bool readWorldScene(ByteReader &in, world::WorldScene &scene);
void writeCamera(ByteWriter &out, const world::Camera &camera);
bool readCamera(ByteReader &in, world::Camera &camera);

void writeLightWaveScene(ByteWriter &out, const lightwave::Scene &scene);
bool readLightWaveScene(ByteReader &in, lightwave::Scene &scene);

} // namespace brelvix::render

#endif
