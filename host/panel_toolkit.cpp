// "LWXPanel", the panel toolkit: it records what it is handed for each panel
// (tables, callbacks, hint words, viewed instances, data) and the order of
// the calls; and "Instance Update", which records each notification.
#include "host/host_state.h"

#include <string>
#include <vector>

namespace brelvix::standin {
namespace {

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
    StandInHost::Impl *const host = activeHost();
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
        host->record(kPanelServiceName, "create", nullptr, detail + " refused");
        return nullptr;
    }
    host->panelHandles.push_back(std::make_unique<std::size_t>(host->panels.size() - 1));
    void *const handle = host->panelHandles.back().get();
    host->record(kPanelServiceName, "create", handle, std::move(detail));
    return handle;
}

void panelDescribe(void *handle, const PanelDataDesc *data, PanelGetter getter,
                   PanelSetter setter) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return;
    }
    RecordedPanel *const panel = host->findPanel(handle);
    std::vector<PanelDataDesc> copied = copyRecords(data);
    std::string detail = "descs " + std::to_string(copied.empty() ? 0 : copied.size() - 1);
    if (panel == nullptr) {
        detail += " unknown panel";
    }
    host->record(kPanelServiceName, "describe", handle, std::move(detail));
    if (panel == nullptr) {
        return;
    }
    panel->dataDescs = std::move(copied);
    panel->getter = getter;
    panel->setter = setter;
    panel->callOrder.push_back("describe");
}

void panelHint(void *handle, uintptr_t id, const intptr_t *hints) {
    StandInHost::Impl *const host = activeHost();
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
    host->record(kPanelServiceName, "hint", handle, std::move(detail));
    if (panel == nullptr) {
        return;
    }
    panel->hints.emplace_back(id, std::move(words));
    panel->callOrder.push_back("hint");
}

void panelSetData(void *handle, uintptr_t id, void *data) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return;
    }
    RecordedPanel *const panel = host->findPanel(handle);
    host->record(kPanelServiceName, "setData", handle,
                 "id " + std::to_string(id) + " data " + formatPointer(data) +
                     (panel == nullptr ? " unknown panel" : ""));
    if (panel == nullptr) {
        return;
    }
    panel->data.emplace_back(id, data);
    panel->callOrder.push_back("setData");
}

int panelViewInstance(void *handle, void *instance) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return 0;
    }
    RecordedPanel *const panel = host->findPanel(handle);
    host->record(kPanelServiceName, "viewInstance", handle,
                 "instance " + formatPointer(instance) +
                     (panel == nullptr ? " unknown panel" : ""));
    if (panel == nullptr) {
        return 0;
    }
    panel->viewedInstances.push_back(instance);
    panel->callOrder.push_back("viewInstance");
    return 1;
}

} // namespace

int instanceUpdate(const char *className, void *instance) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return 0;
    }
    const std::string name = className != nullptr ? className : "(null)";
    host->record(kInstanceUpdateServiceName, "notify", instance, "class " + name);
    host->instanceUpdates.emplace_back(name, instance);
    return 1;
}

const PanelService kPanelTable = {
    {},      panelCreate,  nullptr, panelDescribe,     panelHint,
    nullptr, panelSetData, {},      panelViewInstance,
};

} // namespace brelvix::standin
