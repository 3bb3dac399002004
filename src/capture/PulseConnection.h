#pragma once

// One connection to the sound server (PulseAudio, or PipeWire through
// pipewire-pulse): a threaded main loop whose thread is named
// "tavorin.audio" and a context on it. Every libpulse call on the context
// and its streams is made with the loop locked (Lock), from any thread but
// the loop's own; libpulse callbacks run on the loop thread with the lock
// held. Destroying the connection disconnects and joins the loop thread, so
// no callback runs afterwards.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>

#include "capture/AudioSource.h"
#include "model/Result.h"

namespace vorpix::capture {

// How long a connection or a server query may take before it counts as
// "no answer": long enough for a loaded server, short enough that the user
// is not left waiting in front of a frozen record panel.
inline constexpr std::chrono::milliseconds kPulseTimeout{5000};

struct PulseOperationDeleter {
    void operator()(pa_operation* op) const { pa_operation_unref(op); }
};
using PulseOperationPtr = std::unique_ptr<pa_operation, PulseOperationDeleter>;

class PulseConnection {
public:
    // Connects to the user's server (PULSE_SERVER and the usual places),
    // never starting one. Fails with one line when none answers within
    // `timeout`.
    static Result<std::unique_ptr<PulseConnection>> connect(std::string_view clientName,
                                                            std::chrono::milliseconds timeout = kPulseTimeout);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_context* context() const { return context_; }
    pa_threaded_mainloop* loop() const { return loop_; }

    // Holds the loop's lock for its lifetime. Never on the loop thread.
    class Lock {
    public:
        explicit Lock(const PulseConnection& c) : loop_(c.loop_) { pa_threaded_mainloop_lock(loop_); }
        ~Lock() { pa_threaded_mainloop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    // With the lock held: waits until `op` is done (its callback has run
    // and called signal()) or the timeout passes; false on timeout or a
    // null operation (the call failed at once).
    bool wait(pa_operation* op, std::chrono::milliseconds timeout = kPulseTimeout) const;
    // With the lock held: waits until `done()` holds, rechecking whenever a
    // callback calls signal(); false when the timeout passes first.
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPulseTimeout) const;
    // Wakes wait() and waitUntil(); for libpulse callbacks.
    void signal() const { pa_threaded_mainloop_signal(loop_, 0); }
    // The server's description of the context's last error.
    std::string lastError() const;

private:
    PulseConnection() = default;

    pa_threaded_mainloop* loop_ = nullptr;  // owned
    pa_context* context_ = nullptr;          // owned
};

}  // namespace vorpix::capture
