// "LWVParmFuncs 2": the parameter channels the module makes, sets, reads,
// copies, loads and saves. Each call is recorded, with " unknown channel"
// for a handle the host did not make and " failed" where an injected failure
// fell on it.
#include "host/host_state.h"

#include <cmath>
#include <cstdio>
#include <optional>

namespace brelvix::standin {
namespace {

/// What a parameter function knows once it has opened: the active host,
/// the channel behind the handle (null when the host did not make it), and
/// whether an injected failure falls on this call.
struct ChannelCall {
    StandInHost::Impl *host;
    Channel *channel;
    bool failed;

    /// Records the call with `detail`, then " unknown channel" when
    /// `unknown`, then " failed" when an injected failure fell on it.
    void record(const char *operation, const void *handle, std::string detail, bool unknown,
                HostCall typed = {}) const {
        if (unknown) {
            detail += detail.empty() ? "unknown channel" : " unknown channel";
        }
        if (failed) {
            detail += detail.empty() ? "failed" : " failed";
        }
        typed.failed = failed;
        host->record(kParameterServiceName, operation, handle, std::move(detail), std::move(typed));
    }
};

/// The opening every parameter function shares; nothing without an active
/// host, and the function then answers its neutral value.
std::optional<ChannelCall> openChannelCall(ChannelOperation operation, const void *handle) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return std::nullopt;
    }
    const bool failed = host->failsNow(operation);
    return ChannelCall{host, host->findChannel(handle), failed};
}

void *channelCreate(int typeCode, int textureCode) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::Create, nullptr);
    if (!call) {
        return nullptr;
    }
    Channel *channel = nullptr;
    if (!call->failed) {
        call->host->channels.push_back(std::make_unique<Channel>());
        channel = call->host->channels.back().get();
        channel->typeCode = typeCode;
        channel->textureCode = textureCode;
    }
    char detail[64];
    std::snprintf(detail, sizeof detail, "type 0x%x texture %d", static_cast<unsigned>(typeCode),
                  textureCode);
    HostCall typed;
    typed.code = typeCode;
    call->record("create", channel, detail, false, typed);
    return channel;
}

void channelDestroy(void *handle) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::Destroy, handle);
    if (!call) {
        return;
    }
    Channel *const channel = call->channel;
    call->record("destroy", handle, "", channel == nullptr);
    if (call->failed || channel == nullptr) {
        return;
    }
    std::erase_if(call->host->channels,
                  [channel](const std::unique_ptr<Channel> &c) { return c.get() == channel; });
}

int channelSetup(void *handle, const char *name, void *group, void *a, void *b, void *c, void *d) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::Setup, handle);
    if (!call) {
        return 0;
    }
    call->record("setup", handle,
                 std::string("name ") + (name != nullptr ? name : "(null)") + " group " +
                     formatPointer(group) + " rest " + formatPointer(a) + " " + formatPointer(b) +
                     " " + formatPointer(c) + " " + formatPointer(d),
                 call->channel == nullptr);
    if (call->failed || call->channel == nullptr) {
        return 0;
    }
    call->channel->name = name != nullptr ? name : "";
    call->channel->group = group;
    return 1;
}

const char *channelCopy(void *to, void *from) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::Copy, to);
    if (!call) {
        return StandInHost::kInjectedFailure;
    }
    Channel *const target = call->channel;
    Channel *const source = call->host->findChannel(from);
    const bool unknown = target == nullptr || source == nullptr;
    call->record("copy", to, "from " + formatPointer(from), unknown);
    if (call->failed) {
        return StandInHost::kInjectedFailure;
    }
    if (unknown) {
        return "Stand-in host: unknown channel";
    }
    target->curve = source->curve;
    return nullptr;
}

const char *channelLoad(void *handle, const LoadState *state) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::Load, handle);
    if (!call) {
        return StandInHost::kInjectedFailure;
    }
    call->record("load", handle,
                 "reader " + formatPointer(state != nullptr ? state->reader : nullptr),
                 call->channel == nullptr);
    if (call->failed) {
        return StandInHost::kInjectedFailure;
    }
    if (call->channel == nullptr) {
        return "Stand-in host: unknown channel";
    }
    return loadCurve(call->channel->curve, state);
}

const char *channelSave(void *handle, const SaveState *state) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::Save, handle);
    if (!call) {
        return StandInHost::kInjectedFailure;
    }
    call->record("save", handle,
                 "writer " + formatPointer(state != nullptr ? state->writer : nullptr),
                 call->channel == nullptr);
    if (call->failed) {
        return StandInHost::kInjectedFailure;
    }
    if (call->channel == nullptr) {
        return "Stand-in host: unknown channel";
    }
    return saveCurve(call->channel->curve, state);
}

int channelValue(void *handle, double time, void *reserved, double *out) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::Value, handle);
    if (!call) {
        return 0;
    }
    std::string detail = "time " + formatDouble(time);
    if (reserved != nullptr) {
        detail += " reserved " + formatPointer(reserved);
    }
    HostCall typed;
    typed.time = time;
    call->record("value", handle, std::move(detail), call->channel == nullptr, typed);
    if (call->failed || call->channel == nullptr || out == nullptr) {
        return 0;
    }
    out[0] = call->channel->curve.at(time);
    // The host may fill more of the caller's array; make a caller that
    // reads past out[0] see it.
    out[1] = -9.25e300;
    out[2] = std::nan("");
    out[3] = 12345.678;
    return 1;
}

int channelSetValue(void *handle, double *in) {
    const std::optional<ChannelCall> call = openChannelCall(ChannelOperation::SetValue, handle);
    if (!call) {
        return 0;
    }
    HostCall typed;
    if (in != nullptr) {
        typed.value = in[0];
    }
    call->record("setValue", handle,
                 in != nullptr ? "value " + formatDouble(in[0]) : "value (null)",
                 call->channel == nullptr, typed);
    if (call->failed || call->channel == nullptr || in == nullptr) {
        return 0;
    }
    call->channel->curve.constant = in[0];
    call->channel->curve.keys.clear();
    return 1;
}

} // namespace

const ParameterService kParameterTable = {
    channelCreate, channelDestroy, channelSetup, channelCopy,
    channelLoad,   channelSave,    channelValue, channelSetValue,
};

} // namespace brelvix::standin
