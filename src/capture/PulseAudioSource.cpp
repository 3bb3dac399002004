#include "capture/PulseAudioSource.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <pulse/introspect.h>

#include "capture/HostClock.h"

namespace vorpix::capture {

namespace {

constexpr int kSampleRate = 48000;
// Size of the buffers the server sends, in seconds: small enough that the
// writer's audio is never far behind the video, large enough that a 2-core
// machine does not wake for every millisecond.
constexpr double kFragmentSeconds = 0.02;

struct Lookup {
    explicit Lookup(const PulseConnection& c) : connection(&c) {}
    const PulseConnection* connection;
    bool found = false;
    std::string name;         // server default / monitor source name
    std::string description;
    int channels = 0;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* lookup = static_cast<Lookup*>(userdata);
    if (info != nullptr) {
        lookup->found = true;
        lookup->name = info->default_sink_name != nullptr ? info->default_sink_name : "";
        lookup->description = info->default_source_name != nullptr ? info->default_source_name : "";
    }
    lookup->connection->signal();
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* lookup = static_cast<Lookup*>(userdata);
    if (eol == 0 && info != nullptr) {
        lookup->found = true;
        lookup->name = info->monitor_source_name != nullptr ? info->monitor_source_name : "";
        lookup->description = info->description != nullptr ? info->description : "";
    }
    if (eol != 0) lookup->connection->signal();
}

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* lookup = static_cast<Lookup*>(userdata);
    if (eol == 0 && info != nullptr) {
        lookup->found = true;
        lookup->name = info->name;
        lookup->description = info->description != nullptr ? info->description : info->name;
        lookup->channels = info->sample_spec.channels;
    }
    if (eol != 0) lookup->connection->signal();
}

Error deviceNotFound(const std::string& message) {
    return makeError(domain::kTavorin, kAudioDeviceNotFound, message);
}

}  // namespace

PulseAudioSource::PulseAudioSource(Kind kind, std::string sourceId)
    : kind_(kind), requestedId_(std::move(sourceId)) {}

PulseAudioSource::~PulseAudioSource() { stop(); }

Result<void> PulseAudioSource::start(ChunkHandler onChunk, FailureHandler onFailure) {
    stop();
    auto connection = PulseConnection::connect("Vorpix");
    if (!connection) return connection.error();
    connection_ = std::move(*connection);
    onChunk_ = std::move(onChunk);
    onFailure_ = std::move(onFailure);
    Result<void> opened;
    {
        PulseConnection::Lock lock(*connection_);
        opened = openStream();
    }
    if (!opened) stop();
    return opened;
}

Result<void> PulseAudioSource::openStream() {
    const PulseConnection& c = *connection_;
    pa_context* context = c.context();
    Lookup server(c);
    if (!c.wait(pa_context_get_server_info(context, onServerInfo, &server)) || !server.found)
        return makeError(domain::kTavorin, kSoundServerUnavailable,
                         "The sound server did not describe itself: " + c.lastError() + ".");

    std::string source;
    if (kind_ == Kind::systemAudio) {
        if (server.name.empty()) return deviceNotFound("There is no sound output whose audio could be recorded.");
        Lookup sink(c);
        if (!c.wait(pa_context_get_sink_info_by_name(context, server.name.c_str(), onSinkInfo, &sink)) ||
            !sink.found || sink.name.empty())
            return deviceNotFound("The sound output " + server.name + " has no monitor to record.");
        source = sink.name;
        deviceName_ = "the system audio (" + sink.description + ")";
        channels_ = 2;
    } else {
        const std::string id = requestedId_.empty() ? server.description : requestedId_;
        if (id.empty()) return deviceNotFound("No microphone was found.");
        Lookup mic(c);
        if (!c.wait(pa_context_get_source_info_by_name(context, id.c_str(), onSourceInfo, &mic)) || !mic.found)
            return deviceNotFound("The microphone " + id + " was not found.");
        source = mic.name;
        deviceName_ = "the microphone " + mic.description;
        channels_ = std::clamp(mic.channels, 1, 2);
    }

    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, kSampleRate, static_cast<std::uint8_t>(channels_)};
    pa_channel_map map;
    pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
    stream_.reset(pa_stream_new(context, "Vorpix recording", &spec, &map));
    if (!stream_) return makeError(domain::kTavorin, kAudioDeviceFailed, "Could not record " + deviceName_ + ": " + c.lastError() + ".");
    pa_stream_set_state_callback(stream_.get(), onStreamState, this);
    pa_stream_set_read_callback(stream_.get(), onRead, this);

    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(kFragmentSeconds * 1e6), &spec));
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                PA_STREAM_AUTO_TIMING_UPDATE);
    // A chosen microphone that goes away ends the stream (the take goes on
    // without it) instead of silently recording whatever input is left.
    if (kind_ == Kind::microphone) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream_.get(), source.c_str(), &attr, flags) < 0)
        return makeError(domain::kTavorin, kAudioDeviceFailed, "Could not record " + deviceName_ + ": " + c.lastError() + ".");

    const bool settled = c.waitUntil([&] {
        const pa_stream_state_t state = pa_stream_get_state(stream_.get());
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!settled || pa_stream_get_state(stream_.get()) != PA_STREAM_READY)
        return makeError(domain::kTavorin, kAudioDeviceFailed,
                         "Could not record " + deviceName_ + ": " +
                             (settled ? c.lastError() : "the sound server did not answer") + ".");
    streaming_ = true;
    pa_context_set_state_callback(context, onContextState, this);
    return {};
}

void PulseAudioSource::stop() {
    if (!connection_) return;
    {
        PulseConnection::Lock lock(*connection_);
        streaming_ = false;
        pa_context_set_state_callback(connection_->context(), nullptr, nullptr);
        if (stream_) {
            pa_stream_set_state_callback(stream_.get(), nullptr, nullptr);
            pa_stream_set_read_callback(stream_.get(), nullptr, nullptr);
            pa_stream_disconnect(stream_.get());
            stream_.reset();
        }
    }
    connection_.reset();  // joins the loop thread: no handler runs after this
    onChunk_ = nullptr;
    onFailure_ = nullptr;
    failed_ = false;
    anchored_ = false;
    frames_ = 0;
}

void PulseAudioSource::onRead(pa_stream* stream, std::size_t, void* userdata) {
    auto* self = static_cast<PulseAudioSource*>(userdata);
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
        if (self->streaming_ && !self->failed_) self->deliver(data, bytes);
        pa_stream_drop(stream);
    }
}

void PulseAudioSource::deliver(const void* data, std::size_t bytes) {
    const std::size_t frameBytes = sizeof(float) * static_cast<std::size_t>(channels_);
    const auto frames = static_cast<std::int64_t>(bytes / frameBytes);
    if (frames == 0) return;

    // The oldest unread frame was captured `latency` ago.
    const double now = hostSeconds();
    pa_usec_t latencyUs = 0;
    int negative = 0;
    double measured = now - static_cast<double>(frames) / kSampleRate;
    if (pa_stream_get_latency(stream_.get(), &latencyUs, &negative) == 0)
        measured = now - (negative != 0 ? -1.0 : 1.0) * static_cast<double>(latencyUs) * 1e-6;
    const double counted = anchorTime_ + static_cast<double>(frames_ - anchorFrame_) / kSampleRate;
    // Only forward: sound the server lost leaves a gap in time, while an
    // early measurement must not make a buffer overlap the one before it.
    if (!anchored_ || measured - counted > kResyncSeconds) {
        anchorTime_ = measured;
        anchorFrame_ = frames_;
        anchored_ = true;
    }
    const double hostTime = anchorTime_ + static_cast<double>(frames_ - anchorFrame_) / kSampleRate;
    frames_ += frames;
    // A hole (data == null) is time the server had nothing for: skipped,
    // so that the following buffers keep their true times.
    if (data == nullptr) return;
    AudioChunk chunk;
    chunk.samples = std::span<const float>(static_cast<const float*>(data),
                                           static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_));
    chunk.channels = channels_;
    chunk.sampleRate = kSampleRate;
    chunk.hostTime = hostTime;
    if (onChunk_) onChunk_(chunk);
}

void PulseAudioSource::fail(const std::string& message) {
    if (failed_ || !streaming_) return;
    failed_ = true;
    if (onFailure_) onFailure_(makeError(domain::kTavorin, kAudioDeviceFailed, message));
}

void PulseAudioSource::onStreamState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseAudioSource*>(userdata);
    const pa_stream_state_t s = pa_stream_get_state(stream);
    if (!PA_STREAM_IS_GOOD(s)) {
        std::string name = self->deviceName_;
        if (!name.empty()) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        self->fail(name + " stopped delivering sound (it was disconnected or removed).");
    }
    self->connection_->signal();
}

void PulseAudioSource::onContextState(pa_context* context, void* userdata) {
    auto* self = static_cast<PulseAudioSource*>(userdata);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        self->fail("The sound server went away while recording " + self->deviceName_ + ".");
    self->connection_->signal();
}

}  // namespace vorpix::capture
