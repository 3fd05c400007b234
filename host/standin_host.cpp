// The stand-in host's services, its records of the module's calls and the
// scene text that channels and instances are saved in.
//
// Every service table is a static record of the exact C layout the module
// binds to; its functions find their host through `gActiveHost`, because the
// host's C services carry no context argument.
//
// Camera orientation. The host's world is left-handed: +x right, +y up, +z
// forward. Heading turns +z toward +x, pitch positive looks down, bank
// positive tilts the up axis toward the unbanked right axis. The axes are
//
//     forward = ( sin h cos p, -sin p,  cos h cos p)
//     up0     = ( sin h sin p,  cos p,  cos h sin p)
//     right0  = ( cos h,        0,     -sin h      )
//     right   =  cos b right0 - sin b up0
//     up      =  sin b right0 + cos b up0
//
// which is the rotation heading · pitch · bank applied to the axes of the
// unturned camera. The three are orthonormal, and right = up × forward (the
// cross product taken component-wise as usual), as +x = +y × +z at zero.
#include "host/standin_host.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>

namespace brelvix::standin {

// ---------------------------------------------------------------------------
// Curves and the camera item

double Curve::at(double time) const {
    if (keys.empty()) {
        return constant;
    }
    // Held before the first key (and for a time that is not a number) and
    // after the last.
    if (!(time > keys.front().time)) {
        return keys.front().value;
    }
    if (time >= keys.back().time) {
        return keys.back().value;
    }
    const auto next = std::upper_bound(keys.begin(), keys.end(), time,
                                       [](double t, const Key &key) { return t < key.time; });
    const Key &k1 = *next;
    const Key &k0 = *(next - 1);
    if (time == k0.time) {
        return k0.value;
    }
    const double s = (time - k0.time) / (k1.time - k0.time);
    return (1.0 - s) * k0.value + s * k1.value;
}

void Curve::setKey(double time, double value) {
    // A time that is not a number has no place among sorted keys.
    if (std::isnan(time)) {
        return;
    }
    const auto at = std::lower_bound(keys.begin(), keys.end(), time,
                                     [](const Key &key, double t) { return key.time < t; });
    if (at != keys.end() && at->time == time) {
        at->value = value;
        return;
    }
    keys.insert(at, Key{time, value});
}

void CameraItem::axes(double time, double right[3], double up[3], double forward[3]) const {
    const double h = heading.at(time);
    const double p = pitch.at(time);
    const double b = bank.at(time);
    const double sh = std::sin(h), ch = std::cos(h);
    const double sp = std::sin(p), cp = std::cos(p);
    const double sb = std::sin(b), cb = std::cos(b);

    const double right0[3] = {ch, 0.0, -sh};
    const double up0[3] = {sh * sp, cp, ch * sp};
    forward[0] = sh * cp;
    forward[1] = -sp;
    forward[2] = ch * cp;
    for (int i = 0; i < 3; ++i) {
        right[i] = cb * right0[i] - sb * up0[i];
        up[i] = sb * right0[i] + cb * up0[i];
    }
}

// ---------------------------------------------------------------------------
// Scene text

namespace {

constexpr std::uint32_t kWriterTag = 0x57524954; // "WRIT"
constexpr std::uint32_t kReaderTag = 0x52454144; // "READ"

std::string formatDouble(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::string formatFloat(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

std::string formatPointer(const void *pointer) {
    if (pointer == nullptr) {
        return "0";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(pointer));
    return buffer;
}

std::vector<std::string> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.emplace_back(line.substr(start, i - start));
        }
    }
    return words;
}

/// The whole word as a finite double; false when any of it is not part of
/// the number. A channel's values and times are finite: NaN, infinities and
/// overflow are damage, underflow to a subnormal or zero is a real value.
bool parseDouble(const std::string &word, double &value) {
    if (word.empty()) {
        return false;
    }
    char *end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size() && std::isfinite(value);
}

bool parseFloat(const std::string &word, float &value) {
    if (word.empty()) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    value = std::strtof(word.c_str(), &end);
    return end == word.c_str() + word.size() && !(errno == ERANGE && std::isinf(value));
}

bool parseCount(const std::string &word, long &value) {
    if (word.empty() || word[0] == '-' || word[0] == '+') {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    value = std::strtol(word.c_str(), &end, 10);
    return end == word.c_str() + word.size() && errno == 0;
}

} // namespace

struct SceneWriter::Impl {
    std::uint32_t tag = kWriterTag;
    std::string text;
    SaveState state{};

    void writeLine(const std::string &line) {
        text += line;
        text += '\n';
    }
};

struct SceneReader::Impl {
    std::uint32_t tag = kReaderTag;
    std::string text;
    std::size_t position = 0;       // offset of the next line
    int lineNumber = 1;             // number of the next line, counted from 1
    std::deque<std::string> errors; // every error text handed out stays valid
    LoadState state{};

    bool exhausted() const { return position >= text.size(); }

    /// The next line without its end, not consumed.
    std::string_view peekLine(std::size_t &next) const {
        const std::size_t end = text.find('\n', position);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        next = end == std::string::npos ? text.size() : end + 1;
        std::string_view line(text.data() + position, stop - position);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return line;
    }

    void consume(std::size_t next) {
        position = next;
        ++lineNumber;
    }

    const char *error(int line, const char *what) {
        errors.push_back("Scene line " + std::to_string(line) + ": " + what);
        return errors.back().c_str();
    }
};

namespace {

SceneWriter::Impl *asWriter(void *writer) {
    auto *const impl = static_cast<SceneWriter::Impl *>(writer);
    return impl != nullptr && impl->tag == kWriterTag ? impl : nullptr;
}

SceneReader::Impl *asReader(void *reader) {
    auto *const impl = static_cast<SceneReader::Impl *>(reader);
    return impl != nullptr && impl->tag == kReaderTag ? impl : nullptr;
}

void recordStateCall(const char *service, const char *operation, const void *handle,
                     std::string detail);

void writeFloats(void *writer, const float *values, int count) {
    SceneWriter::Impl *const impl = asWriter(writer);
    recordStateCall("SaveState", "writeFloats", writer, "count " + std::to_string(count));
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
    recordStateCall("LoadState", "readFloats", reader, "count " + std::to_string(count));
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

const char *saveCurve(const Curve &curve, const SaveState *state) {
    SceneWriter::Impl *const impl = state != nullptr ? asWriter(state->writer) : nullptr;
    if (impl == nullptr) {
        return "Stand-in host: not a scene being written";
    }
    impl->writeLine("channel " + std::to_string(curve.keys.size()) + " " +
                    formatDouble(curve.constant));
    for (const Key &key : curve.keys) {
        impl->writeLine("key " + formatDouble(key.time) + " " + formatDouble(key.value));
    }
    return nullptr;
}

/// Reads a channel's lines into `curve`. On damage the reader stays at the
/// line at fault, `curve` is unchanged and the host's error text is returned.
const char *loadCurve(Curve &curve, const LoadState *state) {
    SceneReader::Impl *const impl = state != nullptr ? asReader(state->reader) : nullptr;
    if (impl == nullptr) {
        return "Stand-in host: not a scene being read";
    }
    const std::size_t start = impl->position;
    const int startLine = impl->lineNumber;
    const auto fail = [&](const char *what) {
        const char *const text = impl->error(impl->lineNumber, what);
        impl->position = start;
        impl->lineNumber = startLine;
        return text;
    };

    if (impl->exhausted()) {
        return fail("expected a channel");
    }
    std::size_t next = 0;
    std::vector<std::string> words = splitWords(impl->peekLine(next));
    if (words.empty() || words[0] != "channel") {
        return fail("expected a channel");
    }
    long keyCount = 0;
    Curve loaded;
    if (words.size() != 3 || !parseCount(words[1], keyCount) ||
        !parseDouble(words[2], loaded.constant)) {
        return fail("damaged channel");
    }
    impl->consume(next);
    for (long i = 0; i < keyCount; ++i) {
        if (impl->exhausted()) {
            return fail("expected a key");
        }
        words = splitWords(impl->peekLine(next));
        if (words.empty() || words[0] != "key") {
            return fail("expected a key");
        }
        Key key{};
        if (words.size() != 3 || !parseDouble(words[1], key.time) ||
            !parseDouble(words[2], key.value)) {
            return fail("damaged key");
        }
        if (!loaded.keys.empty() && !(key.time > loaded.keys.back().time)) {
            return fail("key out of order");
        }
        loaded.keys.push_back(key);
        impl->consume(next);
    }
    curve = std::move(loaded);
    return nullptr;
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

// ---------------------------------------------------------------------------
// The host

struct StandInHost::Impl {
    Impl *previous = nullptr; // the host that was active before this one

    std::vector<std::string> withheld;
    std::array<std::vector<int>, 8> failures; // countdowns per channel operation
    bool refusePanels = false;

    TimeInfo timeInfo{};
    CameraItem camera;
    std::vector<std::unique_ptr<Channel>> channels;

    std::vector<std::string> lookups;
    std::vector<HostCall> calls;
    std::vector<std::pair<std::string, void *>> instanceUpdates;
    std::vector<RecordedPanel> panels;
    std::vector<std::unique_ptr<std::size_t>> panelHandles; // *handle is the panel's index

    void record(const char *service, const char *operation, const void *handle,
                std::string detail) {
        calls.push_back(HostCall{service, operation, handle, std::move(detail)});
    }

    /// Counts one call of `op`; true when an injected failure falls on it.
    bool failsNow(ChannelOperation op) {
        std::vector<int> &pending = failures[static_cast<std::size_t>(op)];
        bool fail = false;
        for (int &countdown : pending) {
            if (--countdown == 0) {
                fail = true;
            }
        }
        std::erase_if(pending, [](int countdown) { return countdown <= 0; });
        return fail;
    }

    Channel *findChannel(const void *handle) {
        for (const std::unique_ptr<Channel> &channel : channels) {
            if (channel.get() == handle) {
                return channel.get();
            }
        }
        return nullptr;
    }

    RecordedPanel *findPanel(const void *handle) {
        for (const std::unique_ptr<std::size_t> &panel : panelHandles) {
            if (panel.get() == handle) {
                return &panels[*panel];
            }
        }
        return nullptr;
    }

    bool isCamera(const void *item) const { return item == &camera; }
};

namespace {

StandInHost::Impl *gActiveHost = nullptr;

void recordStateCall(const char *service, const char *operation, const void *handle,
                     std::string detail) {
    if (gActiveHost != nullptr) {
        gActiveHost->record(service, operation, handle, std::move(detail));
    }
}

constexpr const char *kParameterService = "LWVParmFuncs 2";
constexpr const char *kItemInfoService = "LW Item Info 4";
constexpr const char *kCameraInfoService = "LW Camera Info 5";
constexpr const char *kTimeInfoService = "LW Time Info";
constexpr const char *kEnvelopeService = "Animation Envelopes";
constexpr const char *kInstanceUpdateService = "Instance Update";
constexpr const char *kPanelService = "LWXPanel";

std::string withFailure(std::string detail, bool failed) {
    if (failed) {
        detail += detail.empty() ? "failed" : " failed";
    }
    return detail;
}

// --- "LWVParmFuncs 2"

void *channelCreate(int typeCode, int textureCode) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return nullptr;
    }
    const bool fail = host->failsNow(ChannelOperation::Create);
    Channel *channel = nullptr;
    if (!fail) {
        host->channels.push_back(std::make_unique<Channel>());
        channel = host->channels.back().get();
        channel->typeCode = typeCode;
        channel->textureCode = textureCode;
    }
    char detail[64];
    std::snprintf(detail, sizeof detail, "type 0x%x texture %d", static_cast<unsigned>(typeCode),
                  textureCode);
    host->record(kParameterService, "create", channel, withFailure(detail, fail));
    return channel;
}

void channelDestroy(void *handle) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return;
    }
    const bool fail = host->failsNow(ChannelOperation::Destroy);
    Channel *const channel = host->findChannel(handle);
    host->record(kParameterService, "destroy", handle,
                 withFailure(channel == nullptr ? "unknown channel" : "", fail));
    if (fail || channel == nullptr) {
        return;
    }
    std::erase_if(host->channels,
                  [channel](const std::unique_ptr<Channel> &c) { return c.get() == channel; });
}

int channelSetup(void *handle, const char *name, void *group, void *a, void *b, void *c, void *d) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return 0;
    }
    const bool fail = host->failsNow(ChannelOperation::Setup);
    Channel *const channel = host->findChannel(handle);
    std::string detail = std::string("name ") + (name != nullptr ? name : "(null)") + " group " +
                         formatPointer(group) + " rest " + formatPointer(a) + " " +
                         formatPointer(b) + " " + formatPointer(c) + " " + formatPointer(d);
    if (channel == nullptr) {
        detail += " unknown channel";
    }
    host->record(kParameterService, "setup", handle, withFailure(std::move(detail), fail));
    if (fail || channel == nullptr) {
        return 0;
    }
    channel->name = name != nullptr ? name : "";
    channel->group = group;
    return 1;
}

const char *channelCopy(void *to, void *from) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return StandInHost::kInjectedFailure;
    }
    const bool fail = host->failsNow(ChannelOperation::Copy);
    Channel *const target = host->findChannel(to);
    Channel *const source = host->findChannel(from);
    std::string detail = "from " + formatPointer(from);
    if (target == nullptr || source == nullptr) {
        detail += " unknown channel";
    }
    host->record(kParameterService, "copy", to, withFailure(std::move(detail), fail));
    if (fail) {
        return StandInHost::kInjectedFailure;
    }
    if (target == nullptr || source == nullptr) {
        return "Stand-in host: unknown channel";
    }
    target->curve = source->curve;
    return nullptr;
}

const char *channelLoad(void *handle, const LoadState *state) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return StandInHost::kInjectedFailure;
    }
    const bool fail = host->failsNow(ChannelOperation::Load);
    Channel *const channel = host->findChannel(handle);
    std::string detail = "reader " + formatPointer(state != nullptr ? state->reader : nullptr);
    if (channel == nullptr) {
        detail += " unknown channel";
    }
    host->record(kParameterService, "load", handle, withFailure(std::move(detail), fail));
    if (fail) {
        return StandInHost::kInjectedFailure;
    }
    if (channel == nullptr) {
        return "Stand-in host: unknown channel";
    }
    return loadCurve(channel->curve, state);
}

const char *channelSave(void *handle, const SaveState *state) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return StandInHost::kInjectedFailure;
    }
    const bool fail = host->failsNow(ChannelOperation::Save);
    Channel *const channel = host->findChannel(handle);
    std::string detail = "writer " + formatPointer(state != nullptr ? state->writer : nullptr);
    if (channel == nullptr) {
        detail += " unknown channel";
    }
    host->record(kParameterService, "save", handle, withFailure(std::move(detail), fail));
    if (fail) {
        return StandInHost::kInjectedFailure;
    }
    if (channel == nullptr) {
        return "Stand-in host: unknown channel";
    }
    return saveCurve(channel->curve, state);
}

int channelValue(void *handle, double time, void *reserved, double *out) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return 0;
    }
    const bool fail = host->failsNow(ChannelOperation::Value);
    Channel *const channel = host->findChannel(handle);
    std::string detail = "time " + formatDouble(time);
    if (reserved != nullptr) {
        detail += " reserved " + formatPointer(reserved);
    }
    if (channel == nullptr) {
        detail += " unknown channel";
    }
    host->record(kParameterService, "value", handle, withFailure(std::move(detail), fail));
    if (fail || channel == nullptr || out == nullptr) {
        return 0;
    }
    out[0] = channel->curve.at(time);
    // The host may fill more of the caller's array; make a caller that
    // reads past out[0] see it.
    out[1] = -9.25e300;
    out[2] = std::nan("");
    out[3] = 12345.678;
    return 1;
}

int channelSetValue(void *handle, double *in) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return 0;
    }
    const bool fail = host->failsNow(ChannelOperation::SetValue);
    Channel *const channel = host->findChannel(handle);
    std::string detail = in != nullptr ? "value " + formatDouble(in[0]) : "value (null)";
    if (channel == nullptr) {
        detail += " unknown channel";
    }
    host->record(kParameterService, "setValue", handle, withFailure(std::move(detail), fail));
    if (fail || channel == nullptr || in == nullptr) {
        return 0;
    }
    channel->curve.constant = in[0];
    channel->curve.keys.clear();
    return 1;
}

const ParameterService kParameterTable = {
    channelCreate, channelDestroy, channelSetup, channelCopy,
    channelLoad,   channelSave,    channelValue, channelSetValue,
};

// --- "LW Item Info 4"

void itemParam(void *item, int code, double time, double out[3]) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return;
    }
    std::string detail = "code " + std::to_string(code) + " time " + formatDouble(time);
    const bool known = host->isCamera(item);
    if (!known) {
        detail += " unknown item";
    }
    host->record(kItemInfoService, "param", item, std::move(detail));
    if (out == nullptr) {
        return;
    }
    out[0] = out[1] = out[2] = 0.0;
    if (!known) {
        return;
    }
    const CameraItem &camera = host->camera;
    double axes[3][3];
    camera.axes(time, axes[0], axes[1], axes[2]);
    switch (code) {
    case kItemWorldPosition:
        for (int i = 0; i < 3; ++i) {
            out[i] = camera.position[i].at(time);
        }
        break;
    case kItemRightAxis:
    case kItemUpAxis:
    case kItemForwardAxis: {
        const int axis = code - kItemRightAxis;
        for (int i = 0; i < 3; ++i) {
            out[i] = axes[axis][i] * camera.axisScale[axis];
        }
        break;
    }
    default:
        break;
    }
}

void *itemChannelGroup(void *item) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return nullptr;
    }
    const bool known = host->isCamera(item);
    host->record(kItemInfoService, "channelGroup", item, known ? "" : "unknown item");
    return known ? &host->camera.channelGroup : nullptr;
}

const ItemInfoService kItemInfoTable = {
    {},
    itemParam,
    {},
    itemChannelGroup,
};

// --- "LW Camera Info 5"

double cameraCurve(const char *operation, void *item, double time, const Curve CameraItem::*curve) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return 0.0;
    }
    const bool known = host->isCamera(item);
    host->record(kCameraInfoService, operation, item,
                 "time " + formatDouble(time) + (known ? "" : " unknown item"));
    return known ? (host->camera.*curve).at(time) : 0.0;
}

double cameraFocalDistance(void *item, double time) {
    return cameraCurve("focalDistance", item, time, &CameraItem::focalDistance);
}

double cameraFStop(void *item, double time) {
    return cameraCurve("fStop", item, time, &CameraItem::fStop);
}

const CameraInfoService kCameraInfoTable = {
    {},
    cameraFocalDistance,
    cameraFStop,
};

// --- "Animation Envelopes" and "Instance Update"

const int kEnvelopeDummy = 0; // any non-null address; the module never calls it

int instanceUpdate(const char *className, void *instance) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return 0;
    }
    const std::string name = className != nullptr ? className : "(null)";
    host->record(kInstanceUpdateService, "notify", instance, "class " + name);
    host->instanceUpdates.emplace_back(name, instance);
    return 1;
}

// --- "LWXPanel"

bool isClosing(const PanelControl &control) {
    return control.id == 0 && control.label == nullptr && control.controlClass == nullptr;
}

bool isClosing(const PanelDataDesc &desc) {
    return desc.id == 0 && desc.name == nullptr && desc.dataType == nullptr;
}

/// Copies the records up to and including the closing all-zero one; at most
/// `limit` records, so that a table without its closing record stops.
template <typename Record> std::vector<Record> copyRecords(const Record *records) {
    constexpr std::size_t limit = 4096;
    std::vector<Record> copied;
    if (records == nullptr) {
        return copied;
    }
    for (std::size_t i = 0; i < limit; ++i) {
        copied.push_back(records[i]);
        if (isClosing(records[i])) {
            break;
        }
    }
    return copied;
}

/// Copies a hint list word by word as the toolkit parses it. Returns false
/// when a tag's low byte is not a known argument count; the words up to and
/// including that tag are kept.
bool copyHints(const intptr_t *hints, std::vector<intptr_t> &words) {
    constexpr std::size_t limit = 4096;
    if (hints == nullptr) {
        return false;
    }
    std::size_t i = 0;
    while (i < limit) {
        const intptr_t tag = hints[i++];
        words.push_back(tag);
        if (tag == 0) {
            return true;
        }
        const unsigned lowByte = static_cast<unsigned>(static_cast<uintptr_t>(tag) & 0xFFu);
        if (lowByte == 0x81) {
            // Group id, member ids, closing 0.
            words.push_back(hints[i++]);
            while (i < limit) {
                const intptr_t member = hints[i++];
                words.push_back(member);
                if (member == 0) {
                    break;
                }
            }
        } else if (lowByte >= 1 && lowByte <= 3) {
            for (unsigned n = 0; n < lowByte; ++n) {
                words.push_back(hints[i++]);
            }
        } else {
            return false;
        }
    }
    return false;
}

/// Every create is recorded as a panel, a refused one too; only a panel that
/// was made gets a handle, so nothing can be called on a refused one.
void *panelCreate(int type, const PanelControl *controls) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return nullptr;
    }
    RecordedPanel panel;
    panel.type = type;
    panel.controls = copyRecords(controls);
    panel.callOrder.push_back("create");
    std::string detail = "type " + std::to_string(type) + " controls " +
                         std::to_string(panel.controls.empty() ? 0 : panel.controls.size() - 1);
    host->panels.push_back(std::move(panel));
    if (host->refusePanels) {
        host->record(kPanelService, "create", nullptr, detail + " refused");
        return nullptr;
    }
    host->panelHandles.push_back(std::make_unique<std::size_t>(host->panels.size() - 1));
    void *const handle = host->panelHandles.back().get();
    host->record(kPanelService, "create", handle, std::move(detail));
    return handle;
}

void panelDescribe(void *handle, const PanelDataDesc *data, PanelGetter getter,
                   PanelSetter setter) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return;
    }
    RecordedPanel *const panel = host->findPanel(handle);
    std::vector<PanelDataDesc> copied = copyRecords(data);
    std::string detail = "descs " + std::to_string(copied.empty() ? 0 : copied.size() - 1);
    if (panel == nullptr) {
        detail += " unknown panel";
    }
    host->record(kPanelService, "describe", handle, std::move(detail));
    if (panel == nullptr) {
        return;
    }
    panel->dataDescs = std::move(copied);
    panel->getter = getter;
    panel->setter = setter;
    panel->callOrder.push_back("describe");
}

void panelHint(void *handle, uintptr_t id, const intptr_t *hints) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return;
    }
    RecordedPanel *const panel = host->findPanel(handle);
    std::vector<intptr_t> words;
    const bool complete = copyHints(hints, words);
    std::string detail = "id " + std::to_string(id) + " words " + std::to_string(words.size());
    if (!complete) {
        detail += hints == nullptr ? " no list" : " damaged list";
    }
    if (panel == nullptr) {
        detail += " unknown panel";
    }
    host->record(kPanelService, "hint", handle, std::move(detail));
    if (panel == nullptr) {
        return;
    }
    panel->hints.emplace_back(id, std::move(words));
    panel->callOrder.push_back("hint");
}

void panelSetData(void *handle, uintptr_t id, void *data) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return;
    }
    RecordedPanel *const panel = host->findPanel(handle);
    host->record(kPanelService, "setData", handle,
                 "id " + std::to_string(id) + " data " + formatPointer(data) +
                     (panel == nullptr ? " unknown panel" : ""));
    if (panel == nullptr) {
        return;
    }
    panel->data.emplace_back(id, data);
    panel->callOrder.push_back("setData");
}

int panelViewInstance(void *handle, void *instance) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return 0;
    }
    RecordedPanel *const panel = host->findPanel(handle);
    host->record(kPanelService, "viewInstance", handle,
                 "instance " + formatPointer(instance) +
                     (panel == nullptr ? " unknown panel" : ""));
    if (panel == nullptr) {
        return 0;
    }
    panel->viewedInstances.push_back(instance);
    panel->callOrder.push_back("viewInstance");
    return 1;
}

const PanelService kPanelTable = {
    {},      panelCreate,  nullptr, panelDescribe,     panelHint,
    nullptr, panelSetData, {},      panelViewInstance,
};

// --- the global lookup

void *hostLookup(const char *serviceName, int /*useCode*/) {
    StandInHost::Impl *const host = gActiveHost;
    if (host == nullptr) {
        return nullptr;
    }
    const std::string name = serviceName != nullptr ? serviceName : "";
    host->lookups.push_back(name);
    if (serviceName == nullptr ||
        std::find(host->withheld.begin(), host->withheld.end(), name) != host->withheld.end()) {
        return nullptr;
    }
    if (name == kParameterService) {
        return const_cast<ParameterService *>(&kParameterTable);
    }
    if (name == kItemInfoService) {
        return const_cast<ItemInfoService *>(&kItemInfoTable);
    }
    if (name == kCameraInfoService) {
        return const_cast<CameraInfoService *>(&kCameraInfoTable);
    }
    if (name == kTimeInfoService) {
        return &host->timeInfo;
    }
    if (name == kEnvelopeService) {
        return const_cast<int *>(&kEnvelopeDummy);
    }
    if (name == kInstanceUpdateService) {
        return reinterpret_cast<void *>(&instanceUpdate);
    }
    if (name == kPanelService) {
        return const_cast<PanelService *>(&kPanelTable);
    }
    return nullptr;
}

} // namespace

StandInHost::StandInHost() : impl_(std::make_unique<Impl>()) {
    // A host made while another is active takes over until it is destroyed.
    impl_->previous = gActiveHost;
    gActiveHost = impl_.get();
}

StandInHost::~StandInHost() {
    if (gActiveHost == impl_.get()) {
        gActiveHost = impl_->previous;
    }
}

HostLookup StandInHost::lookup() const { return hostLookup; }

void StandInHost::withholdService(std::string_view name) { impl_->withheld.emplace_back(name); }

void StandInHost::failChannelOperation(ChannelOperation op, int nth) {
    if (nth >= 1) {
        impl_->failures[static_cast<std::size_t>(op)].push_back(nth);
    }
}

void StandInHost::refusePanels(bool refuse) { impl_->refusePanels = refuse; }

void StandInHost::setCurrentTime(double time) { impl_->timeInfo.currentTime = time; }

CameraItem &StandInHost::camera() { return impl_->camera; }

void *StandInHost::cameraItem() { return &impl_->camera; }

Channel *StandInHost::channel(void *handle) { return impl_->findChannel(handle); }

std::size_t StandInHost::liveChannelCount() const { return impl_->channels.size(); }

const std::vector<std::string> &StandInHost::lookups() const { return impl_->lookups; }

const std::vector<HostCall> &StandInHost::calls() const { return impl_->calls; }

std::size_t StandInHost::countCalls(std::string_view service, std::string_view operation) const {
    return static_cast<std::size_t>(
        std::count_if(impl_->calls.begin(), impl_->calls.end(), [&](const HostCall &call) {
            return call.service == service && call.operation == operation;
        }));
}

void StandInHost::clearRecords() {
    impl_->lookups.clear();
    impl_->calls.clear();
    impl_->instanceUpdates.clear();
}

const std::vector<std::pair<std::string, void *>> &StandInHost::instanceUpdates() const {
    return impl_->instanceUpdates;
}

const std::vector<RecordedPanel> &StandInHost::panels() const { return impl_->panels; }

// ---------------------------------------------------------------------------
// Lens activation

int LensTables::activate(HostActivation activate, HostLookup lookup, void *serverData,
                         int version) {
    handler = CameraHandler{};
    instance = InstanceHandlers{};
    handler.instance = &instance;
    return activate(version, lookup, &handler, serverData);
}

} // namespace brelvix::standin
