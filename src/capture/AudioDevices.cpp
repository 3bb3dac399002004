#include "capture/AudioDevices.h"

#include <pulse/introspect.h>
#include <pulse/subscribe.h>

#include "capture/PulseAudioSource.h"
#include "capture/PulseConnection.h"

namespace vorpix::capture {

namespace {

// One asynchronous read of the server's default input and its sources; the
// result is handed to `done` on the loop thread once both have answered.
struct MicrophoneQuery {
    explicit MicrophoneQuery(std::function<void(MicrophoneList)> f) : done(std::move(f)) {}
    std::function<void(MicrophoneList)> done;
    MicrophoneList list;
    std::string defaultSource;
    int pending = 2;

    void finishOne() {
        if (--pending > 0) return;
        for (const AudioDevice& d : list.devices)
            if (d.id == defaultSource) list.defaultId = d.id;
        done(std::move(list));
        delete this;
    }
};

void onQueryServer(pa_context*, const pa_server_info* info, void* userdata) {
    auto* q = static_cast<MicrophoneQuery*>(userdata);
    if (info != nullptr && info->default_source_name != nullptr) q->defaultSource = info->default_source_name;
    q->finishOne();
}

void onQuerySource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* q = static_cast<MicrophoneQuery*>(userdata);
    if (eol != 0) {
        q->finishOne();
        return;
    }
    // Monitors replay an output; they are offered as system audio, never as
    // a microphone.
    if (info != nullptr && info->monitor_of_sink == PA_INVALID_INDEX)
        q->list.devices.push_back({info->name, info->description != nullptr ? info->description : info->name});
}

// Lock held. Returns the last of its requests (answers come in order, so
// when it is done `done` has run), or null when the server refused them at
// once (then `done` never runs).
PulseOperationPtr queryMicrophones(pa_context* context, std::function<void(MicrophoneList)> done) {
    auto* q = new MicrophoneQuery(std::move(done));
    PulseOperationPtr server(pa_context_get_server_info(context, onQueryServer, q));
    if (!server) {
        delete q;
        return nullptr;
    }
    PulseOperationPtr sources(pa_context_get_source_info_list(context, onQuerySource, q));
    if (!sources) q->finishOne();  // the list stays empty; the query ends with the server's answer
    return sources ? std::move(sources) : std::move(server);
}

bool sameList(const MicrophoneList& a, const MicrophoneList& b) {
    if (a.defaultId != b.defaultId || a.devices.size() != b.devices.size()) return false;
    for (std::size_t i = 0; i < a.devices.size(); ++i)
        if (a.devices[i].id != b.devices[i].id || a.devices[i].description != b.devices[i].description)
            return false;
    return true;
}

class PulseMicrophoneWatcher final : public MicrophoneWatcher {
public:
    PulseMicrophoneWatcher(std::unique_ptr<PulseConnection> connection, MicrophonesChanged onChange)
        : connection_(std::move(connection)), onChange_(std::move(onChange)) {}

    ~PulseMicrophoneWatcher() override {
        {
            PulseConnection::Lock lock(*connection_);
            stopped_ = true;
        }
        connection_.reset();  // joins the loop thread
    }

    Result<void> begin() {
        PulseConnection::Lock lock(*connection_);
        pa_context* context = connection_->context();
        pa_context_set_subscribe_callback(context, onEvent, this);
        PulseOperationPtr op(pa_context_subscribe(
            context, static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER),
            nullptr, nullptr));
        if (!op)
            return makeError(domain::kTavorin, kSoundServerUnavailable,
                             "Could not follow the microphones: " + connection_->lastError() + ".");
        refresh();
        return {};
    }

private:
    static void onEvent(pa_context*, pa_subscription_event_type_t, std::uint32_t, void* userdata) {
        static_cast<PulseMicrophoneWatcher*>(userdata)->refresh();
    }

    // Loop thread or lock held. Each event asks again; answers come in
    // order, so the last one is the newest list.
    void refresh() {
        queryMicrophones(connection_->context(), [this](MicrophoneList list) {
            if (stopped_ || (known_ && sameList(list, last_))) return;
            known_ = true;
            last_ = list;
            onChange_(last_);
        });
    }

    std::unique_ptr<PulseConnection> connection_;
    MicrophonesChanged onChange_;
    // loop thread, or with the loop locked
    bool stopped_ = false;
    bool known_ = false;
    MicrophoneList last_;
};

}  // namespace

std::unique_ptr<AudioSource> makeSystemAudioSource() {
    return std::make_unique<PulseAudioSource>(PulseAudioSource::Kind::systemAudio, std::string());
}

std::unique_ptr<AudioSource> makeMicrophoneSource(const std::string& id) {
    return std::make_unique<PulseAudioSource>(PulseAudioSource::Kind::microphone, id);
}

Result<MicrophoneList> listMicrophones() {
    auto connection = PulseConnection::connect("Vorpix devices");
    if (!connection) return connection.error();
    const PulseConnection& c = **connection;
    PulseConnection::Lock lock(c);
    std::optional<MicrophoneList> result;
    PulseOperationPtr op = queryMicrophones(c.context(), [&](MicrophoneList list) { result = std::move(list); });
    // The query's callbacks run before the operation counts as done.
    if (!op || !c.wait(op.release()) || !result)
        return makeError(domain::kTavorin, kSoundServerUnavailable,
                         "Could not list the microphones: " + c.lastError() + ".");
    return *std::move(result);
}

Result<std::unique_ptr<MicrophoneWatcher>> watchMicrophones(MicrophonesChanged onChange) {
    auto connection = PulseConnection::connect("Vorpix devices");
    if (!connection) return connection.error();
    auto watcher = std::make_unique<PulseMicrophoneWatcher>(std::move(*connection), std::move(onChange));
    if (auto begun = watcher->begin(); !begun) return begun.error();
    return std::unique_ptr<MicrophoneWatcher>(std::move(watcher));
}

}  // namespace vorpix::capture
