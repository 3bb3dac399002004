#include "capture/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

namespace vorpix::capture {

namespace {

struct WaitState {
    const PulseConnection* connection = nullptr;
    bool timedOut = false;
};

void onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* state = static_cast<WaitState*>(userdata);
    state->timedOut = true;
    state->connection->signal();
}

// A one-shot timer on the loop that wakes a waiter after `timeout`; freed
// with the guard. Made and destroyed with the lock held.
class TimeoutGuard {
public:
    TimeoutGuard(const PulseConnection& c, WaitState& state, std::chrono::milliseconds timeout)
        : api_(pa_threaded_mainloop_get_api(c.loop())) {
        state.connection = &c;
        const auto us =
            static_cast<pa_usec_t>(std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
        event_ = pa_context_rttime_new(c.context(), pa_rtclock_now() + us, onTimer, &state);
    }
    ~TimeoutGuard() {
        if (event_ != nullptr) api_->time_free(event_);
    }
    TimeoutGuard(const TimeoutGuard&) = delete;
    TimeoutGuard& operator=(const TimeoutGuard&) = delete;

private:
    pa_mainloop_api* api_;
    pa_time_event* event_ = nullptr;
};

void onContextState(pa_context*, void* userdata) {
    static_cast<const PulseConnection*>(userdata)->signal();
}

Error noServer(const std::string& reason) {
    return makeError(domain::kTavorin, kSoundServerUnavailable,
                     "No sound server is running (PulseAudio, or PipeWire with pipewire-pulse): " + reason + ".");
}

}  // namespace

Result<std::unique_ptr<PulseConnection>> PulseConnection::connect(std::string_view clientName,
                                                                  std::chrono::milliseconds timeout) {
    std::unique_ptr<PulseConnection> c(new PulseConnection());
    c->loop_ = pa_threaded_mainloop_new();
    if (c->loop_ == nullptr) return noServer("out of memory");
    pa_threaded_mainloop_set_name(c->loop_, "tavorin.audio");
    c->context_ = pa_context_new(pa_threaded_mainloop_get_api(c->loop_), std::string(clientName).c_str());
    if (c->context_ == nullptr) return noServer("out of memory");
    pa_context_set_state_callback(c->context_, onContextState, c.get());
    if (pa_threaded_mainloop_start(c->loop_) < 0) return noServer("could not start its thread");

    Lock lock(*c);
    if (pa_context_connect(c->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return noServer(c->lastError());
    WaitState state;
    TimeoutGuard guard(*c, state, timeout);
    for (;;) {
        const pa_context_state_t s = pa_context_get_state(c->context_);
        if (s == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(s)) return noServer(c->lastError());
        if (state.timedOut)
            return makeError(domain::kTavorin, kSoundServerUnavailable,
                             "The sound server did not answer within " +
                                 std::to_string((timeout.count() + 999) / 1000) + " s.");
        pa_threaded_mainloop_wait(c->loop_);
    }
    pa_context_set_state_callback(c->context_, nullptr, nullptr);
    return c;
}

PulseConnection::~PulseConnection() {
    if (loop_ == nullptr) return;
    if (context_ != nullptr) {
        {
            Lock lock(*this);
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_set_subscribe_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

bool PulseConnection::wait(pa_operation* op, std::chrono::milliseconds timeout) const {
    if (op == nullptr) return false;
    PulseOperationPtr owned(op);
    pa_operation_set_state_callback(
        op, [](pa_operation*, void* self) { static_cast<const PulseConnection*>(self)->signal(); },
        const_cast<PulseConnection*>(this));
    WaitState state;
    TimeoutGuard guard(*this, state, timeout);
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        if (state.timedOut || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            pa_operation_set_state_callback(op, nullptr, nullptr);
            pa_operation_cancel(op);
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    pa_operation_set_state_callback(op, nullptr, nullptr);
    return pa_operation_get_state(op) == PA_OPERATION_DONE;
}

bool PulseConnection::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const {
    WaitState state;
    TimeoutGuard guard(*this, state, timeout);
    while (!done()) {
        if (state.timedOut) return false;
        pa_threaded_mainloop_wait(loop_);
    }
    return true;
}

std::string PulseConnection::lastError() const {
    return pa_strerror(pa_context_errno(context_));
}

}  // namespace vorpix::capture
