// One lecture recording without a window: the state, the clock the microphone's buffers drive,
// the frame count and its correction, the last page and pointer written, the marker and index
// files, and one sink that hands every sample and command to the .wmv and to its browser
// companion. The view feeds it pages, pointer positions and strokes as plain values and hears back
// through callbacks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "media/recording_files.h"

namespace tovra {

// Where a recording's samples and commands go. Times are milliseconds of recording.
class RecordingSink {
public:
    virtual ~RecordingSink() = default;
    virtual bool WriteAudio(uint32_t timeMs, const uint8_t* data, uint32_t length) = 0;
    virtual bool WriteVideo(uint32_t timeMs, const uint8_t* data, uint32_t length) = 0;
    virtual bool WriteScript(uint32_t timeMs, const std::string& command) = 0;
    virtual bool Close() = 0;
};

// Each sample to both: the recording's own file decides success; the companion (the browser
// copy) may fail without stopping the recording.
class TeeSink final : public RecordingSink {
public:
    TeeSink(std::unique_ptr<RecordingSink> primary, std::unique_ptr<RecordingSink> companion);
    bool WriteAudio(uint32_t timeMs, const uint8_t* data, uint32_t length) override;
    bool WriteVideo(uint32_t timeMs, const uint8_t* data, uint32_t length) override;
    bool WriteScript(uint32_t timeMs, const std::string& command) override;
    bool Close() override;  // both closed; false when either could not be finished

private:
    std::unique_ptr<RecordingSink> primary_;
    std::unique_ptr<RecordingSink> companion_;
};

enum class SessionState : uint16_t { Recording = 1, Paused = 2, Stopped = 3 };

struct SessionPoint {
    int x = 0;
    int y = 0;
    bool operator==(const SessionPoint&) const = default;
};

class RecordingSession {
public:
    static constexpr uint32_t kBufferMs = 250;        // one microphone buffer
    static constexpr uint32_t kLastAudioMs = 600023;  // a buffer that ends later stops the recording
    static constexpr uint32_t kLastFrameMs = 600021;  // a frame later than this stops it too
    static constexpr uint32_t kFrameRate = 15;

    struct Callbacks {
        std::function<void(uint32_t clockMs)> elapsed;  // every other buffer (500 ms)
        // Ten minutes of pictures: the owner stops the recording. It comes from the frame
        // thread; the owner posts the stop to its own thread. Said once a recording.
        std::function<void()> framesPastLimit;
    };

    // What a buffer did, for the owner to act on once the buffer is back at the device.
    struct BufferOutcome {
        bool pagesWritten = false;         // the page and step were written (the step at most 99)
        bool pastLimit = false;            // ten minutes of sound: the owner stops the recording
        const char* failure = nullptr;     // the message key when the recording cannot go on
    };

    // What the view knows at each buffer: the page and step on show, and the pointer in the
    // stored space (none when it is outside the view or the view does not track it).
    struct Moment {
        int page = 0;
        int step = 0;
        std::optional<SessionPoint> pointer;
    };

    explicit RecordingSession(Callbacks callbacks);

    // Before Start, once the writers stand: the marker in the web folder, and the index at
    // indexPath with its head and end. False when the index cannot be written.
    bool OpenFiles(const std::string& webFolder, const std::string& indexPath, std::string indexHead,
                   std::string indexEnd);
    // A page shown, as a line of the index; nothing once stopped.
    void AddIndexLine(const std::string& line);

    // Starts writing to sink; the clock and the frame count from zero, page 0 logged so the
    // first buffer writes the page on show.
    void Start(std::unique_ptr<RecordingSink> sink, int step);
    void Pause();
    void Resume();
    // Finishes the index and closes the sink; the marker goes once every file is finished. False
    // when a file could not be finished (the next opening finishes it).
    bool Stop();

    // A microphone buffer came back (owner's thread): the clock advances a buffer, even when its
    // data is lost (null).
    BufferOutcome OnAudioBuffer(const uint8_t* data, uint32_t length, const Moment& moment);
    // A turn to another page starts at step 0: a step 0 that follows is not a change.
    void ForgetLoggedStep() { loggedStep_ = 0; }
    // A camera frame (the frame thread); false when the recording does not take it.
    bool OnVideoFrame(const uint8_t* bits, uint32_t length);
    // A pen stroke as a "dpaths" command, written just after the clock.
    void OnStroke(const std::string& command);

    SessionState State() const { return state_.load(); }
    uint32_t ClockMs() const { return clockMs_; }
    uint32_t FrameCount() const { return frameCount_; }

private:
    static uint32_t MulDiv(uint32_t a, uint32_t b, uint32_t c) {
        return static_cast<uint32_t>((uint64_t{a} * b + c / 2) / c);
    }

    Callbacks callbacks_;
    std::unique_ptr<RecordingSink> sink_;
    std::recursive_mutex lock_;  // every sink call, the frame-count correction, start and stop
    std::atomic<SessionState> state_{SessionState::Stopped};
    uint32_t clockMs_ = 0;
    std::atomic<uint32_t> frameCount_{0};
    std::atomic<bool> videoFailed_{false};
    std::atomic<bool> framesLimitSaid_{false};
    int loggedPage_ = 0;
    int loggedStep_ = 0;
    SessionPoint lastPointer_;
    std::string webFolder_;  // where the marker is; empty when there is none
    RecordingIndex index_;
};

}  // namespace tovra
