// Scene files: the writer's and the reader's states as the module sees them
// (SaveState, LoadState), the floats line, and the files on disk.
#include "host/host_state.h"
#include "host/scene_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace brelvix::standin {
namespace {

void recordStateCall(const char *service, const char *operation, const void *handle, int count) {
    if (StandInHost::Impl *const host = activeHost()) {
        host->record(service, operation, handle, "count " + std::to_string(count));
    }
}

void writeFloats(void *writer, const float *values, int count) {
    SceneWriter::Impl *const impl = asWriter(writer);
    recordStateCall("SaveState", "writeFloats", writer, count);
    if (impl == nullptr) {
        return;
    }
    const int n = values == nullptr ? 0 : std::max(count, 0);
    std::string line = "floats " + std::to_string(n);
    for (int i = 0; i < n; ++i) {
        line += ' ';
        line += formatFloat(values[i]);
    }
    impl->writeLine(line);
}

/// Delivers the values of the next line if it is a floats line: at most
/// `count`, at most as many as the line announces and holds, up to the first
/// damaged one. -1 when the next line is not a floats line or nothing is left.
int readFloats(void *reader, float *values, int count) {
    SceneReader::Impl *const impl = asReader(reader);
    recordStateCall("LoadState", "readFloats", reader, count);
    if (impl == nullptr || impl->exhausted()) {
        return -1;
    }
    std::size_t next = 0;
    const std::vector<std::string> words = splitWords(impl->peekLine(next));
    long announced = 0;
    if (words.size() < 2 || words[0] != "floats" || !parseCount(words[1], announced)) {
        return -1;
    }
    impl->consume(next);
    const std::size_t onLine = words.size() - 2;
    const std::size_t wanted = values == nullptr ? 0 : static_cast<std::size_t>(std::max(count, 0));
    const std::size_t limit =
        std::min({wanted, onLine, static_cast<std::size_t>(std::max(announced, 0L))});
    int delivered = 0;
    for (std::size_t i = 0; i < limit; ++i) {
        float value = 0.0f;
        if (!parseFloat(words[i + 2], value)) {
            break;
        }
        values[i] = value;
        ++delivered;
    }
    return delivered;
}

} // namespace

SceneWriter::SceneWriter() : impl_(std::make_unique<Impl>()) {
    impl_->state.writer = impl_.get();
    impl_->state.writeFloats = writeFloats;
}

SceneWriter::~SceneWriter() = default;

SaveState *SceneWriter::state() { return &impl_->state; }

const std::string &SceneWriter::text() const { return impl_->text; }

bool SceneWriter::writeTo(const std::string &path, std::string &error) const {
    const std::string temporary = path + ".tmp";
    std::FILE *const file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = "Cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written =
        std::fwrite(impl_->text.data(), 1, impl_->text.size(), file) == impl_->text.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "Cannot write " + temporary + ": " + std::strerror(written ? errno : writeErrno);
        std::remove(temporary.c_str());
        return false;
    }
#ifdef _WIN32
    // rename does not replace an existing file there.
    std::remove(path.c_str());
#endif
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "Cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

SceneReader::SceneReader(std::string text) : impl_(std::make_unique<Impl>()) {
    impl_->text = std::move(text);
    impl_->state.reader = impl_.get();
    impl_->state.readFloats = readFloats;
}

SceneReader::~SceneReader() = default;

LoadState *SceneReader::state() { return &impl_->state; }

bool SceneReader::readFile(const std::string &path, std::string &text, std::string &error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        error = "Cannot read " + path;
        return false;
    }
    text = content.str();
    return true;
}

} // namespace brelvix::standin
