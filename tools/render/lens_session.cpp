#include "tools/render/lens_session.h"

#include <cctype>
#include <cstdint>

namespace brelvix::render {
namespace {

/// The panel id whose getter answers a parameter's channel, or 0.
uintptr_t channelPanelId(std::string_view name) {
    for (std::size_t i = 0; i < kChannelNames.size(); ++i) {
        if (name == kChannelNames[i]) {
            return kParameterControls[i];
        }
    }
    return 0;
}

/// The host's "Scene line N: ..." about a text that starts on line
/// `firstLine` of a file, with N counted in the file.
std::string lineInFile(const std::string &hostError, int firstLine) {
    const std::string prefix = "Scene line ";
    std::size_t end = prefix.size();
    long line = 0;
    while (hostError.rfind(prefix, 0) == 0 && end < hostError.size() &&
           std::isdigit(static_cast<unsigned char>(hostError[end])) != 0 && line < 1000000000) {
        line = line * 10 + (hostError[end++] - '0');
    }
    if (end == prefix.size() || end >= hostError.size() || hostError[end] != ':') {
        return hostError;
    }
    return prefix + std::to_string(line + firstLine - 1) + hostError.substr(end);
}

} // namespace

std::unique_ptr<LensSession> LensSession::open(const std::string &path, std::string &error) {
    std::unique_ptr<LensSession> session(new LensSession());
    session->module_ = standin::ModuleLibrary::open(path, error);
    if (!session->module_) {
        return nullptr;
    }
    const standin::ModuleLibrary &module = *session->module_;
    const ServerRecord *const lensServer = module.server(kLensClass);
    const ServerRecord *const panelServer = module.server(kPanelClass);
    if (lensServer == nullptr || panelServer == nullptr) {
        error = "Module " + path + " has no " + (lensServer == nullptr ? kLensClass : kPanelClass) +
                " server";
        return nullptr;
    }

    session->host_ = std::make_unique<standin::StandInHost>();
    standin::StandInHost &host = *session->host_;
    const int lensResult = session->lens_.activate(lensServer->activate, host.lookup(),
                                                   module.serverData(), kLensVersion);
    if (lensResult != 0) {
        error = "Module " + path + ": the lens activation returned " + std::to_string(lensResult);
        return nullptr;
    }
    const char *createError = nullptr;
    session->instance_ = session->lens_.instance.create(session->lens_.instance.privateData,
                                                        host.cameraItem(), &createError);
    if (session->instance_ == nullptr) {
        error =
            "Module " + path + ": " + (createError != nullptr ? createError : "no camera instance");
        return nullptr;
    }

    InterfaceRecord panel{session->instance_, nullptr, nullptr, nullptr};
    const int panelResult =
        panelServer->activate(kPanelVersion, host.lookup(), &panel, module.serverData());
    if (panelResult != 0 || panel.panel == nullptr || host.panels().empty() ||
        host.panels().back().getter == nullptr) {
        error = "Module " + path + ": the panel activation returned " +
                std::to_string(panelResult) + " without a panel";
        return nullptr;
    }
    session->panelGetter_ = host.panels().back().getter;
    return session;
}

LensSession::~LensSession() {
    if (instance_ != nullptr) {
        lens_.instance.destroy(instance_);
    }
}

standin::CameraItem &LensSession::camera() { return host_->camera(); }

void LensSession::setCurrentTime(double time) { host_->setCurrentTime(time); }

standin::Channel *LensSession::channel(std::string_view name) {
    const uintptr_t id = channelPanelId(name);
    return id == 0 ? nullptr : host_->channel(panelGetter_(instance_, id));
}

bool LensSession::loadLensData(const std::string &text, int firstLine, std::string &error) {
    standin::SceneReader reader(text);
    if (const char *const failure = lens_.instance.load(instance_, reader.state())) {
        error = lineInFile(failure, firstLine);
        return false;
    }
    return true;
}

bool LensSession::saveLensData(std::string &text, std::string &error) {
    standin::SceneWriter writer;
    if (const char *const failure = lens_.instance.save(instance_, writer.state())) {
        error = failure;
        return false;
    }
    text = writer.text();
    return true;
}

CameraAccess LensSession::access(double filmWidth, double filmHeight) {
    CameraAccess record{};
    record.cameraItem = host_->cameraItem();
    record.filmWidth = filmWidth;
    record.filmHeight = filmHeight;
    return record;
}

std::array<double, 16> LensSession::previewMatrix(double filmWidth, double filmHeight) {
    std::array<double, 16> matrix{};
    const CameraAccess record = access(filmWidth, filmHeight);
    lens_.handler.preview(instance_, 0.0, 0.0, matrix.data(), &record);
    return matrix;
}

std::string LensSession::focalLengthLine() {
    const auto *const text = static_cast<const char *>(panelGetter_(instance_, kFocalLengthLine));
    return text != nullptr ? text : "";
}

bool LensSession::prepareFrame(const FrameInfo &frame, double filmWidth, double filmHeight,
                               std::string &error) {
    const CameraAccess record = access(filmWidth, filmHeight);
    if (const char *const failure = lens_.handler.newFrame(instance_, &frame, &record)) {
        error = std::string("The lens could not prepare the frame: ") + failure;
        return false;
    }
    return true;
}

LensRays LensSession::rays() const { return LensRays{lens_.handler.evaluate, instance_}; }

} // namespace brelvix::render
