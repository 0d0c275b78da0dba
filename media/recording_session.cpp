#include "media/recording_session.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tovra {

TeeSink::TeeSink(std::unique_ptr<RecordingSink> primary, std::unique_ptr<RecordingSink> companion)
    : primary_(std::move(primary)), companion_(std::move(companion)) {}

bool TeeSink::WriteAudio(uint32_t timeMs, const uint8_t* data, uint32_t length) {
    const bool written = primary_->WriteAudio(timeMs, data, length);
    if (companion_) companion_->WriteAudio(timeMs, data, length);
    return written;
}

bool TeeSink::WriteVideo(uint32_t timeMs, const uint8_t* data, uint32_t length) {
    const bool written = primary_->WriteVideo(timeMs, data, length);
    if (companion_) companion_->WriteVideo(timeMs, data, length);
    return written;
}

bool TeeSink::WriteScript(uint32_t timeMs, const std::string& command) {
    const bool written = primary_->WriteScript(timeMs, command);
    if (companion_) companion_->WriteScript(timeMs, command);
    return written;
}

bool TeeSink::Close() {
    bool finished = primary_->Close();
    if (companion_) finished = companion_->Close() && finished;
    return finished;
}

RecordingSession::RecordingSession(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

void RecordingSession::Start(std::unique_ptr<RecordingSink> sink, int step) {
    std::lock_guard lock(lock_);
    sink_ = std::move(sink);
    clockMs_ = 0;
    frameCount_ = 0;
    videoFailed_ = false;
    framesLimitSaid_ = false;
    loggedPage_ = 0;
    loggedStep_ = step;
    lastPointer_ = {};
    state_ = SessionState::Recording;
}

void RecordingSession::Pause() {
    if (state_ == SessionState::Recording) state_ = SessionState::Paused;
}

void RecordingSession::Resume() {
    if (state_ == SessionState::Paused) state_ = SessionState::Recording;
}

bool RecordingSession::Stop() {
    if (state_ == SessionState::Stopped) return true;
    const bool indexFinished = index_.Finish();
    std::lock_guard lock(lock_);
    // A frame waiting for the lock sees this and returns at once, so the frame thread ends promptly.
    state_ = SessionState::Stopped;
    const bool finished = (sink_ ? sink_->Close() : true) && indexFinished;
    sink_.reset();
    if (finished && !webFolder_.empty()) RemoveRecordingMarker(webFolder_);
    webFolder_.clear();
    return finished;
}

bool RecordingSession::OpenFiles(const std::string& webFolder, const std::string& indexPath, std::string indexHead,
                                 std::string indexEnd) {
    // Until every file is finished, the next opening knows to finish them.
    webFolder_ = webFolder;
    WriteRecordingMarker(webFolder);
    return index_.Open(indexPath, std::move(indexHead), std::move(indexEnd));
}

void RecordingSession::AddIndexLine(const std::string& line) {
    if (state_ != SessionState::Stopped) index_.AddLine(line);
}

RecordingSession::BufferOutcome RecordingSession::OnAudioBuffer(const uint8_t* data, uint32_t length,
                                                                const Moment& moment) {
    BufferOutcome outcome;
    if (state_ != SessionState::Recording) return outcome;
    clockMs_ += kBufferMs;
    outcome.pastLimit = clockMs_ > kLastAudioMs;
    bool writeFailed = false;
    {
        std::lock_guard lock(lock_);
        // Picture times follow the sound's clock when the camera drifts by more than ten frames.
        const uint32_t expected = MulDiv(clockMs_, kFrameRate, 1000);
        const uint32_t counted = frameCount_;
        if ((expected > counted ? expected - counted : counted - expected) > 10) frameCount_ = expected;
        if (data && !outcome.pastLimit) writeFailed = !sink_->WriteAudio(clockMs_, data, length);
    }

    if (clockMs_ % 100 != 0) {  // every second buffer: 250, 750, 1250, ... ms
        const int step = std::min(moment.step, 99);
        if (!outcome.pastLimit && (moment.page != loggedPage_ || moment.step != loggedStep_)) {
            loggedPage_ = moment.page;
            loggedStep_ = step;
            outcome.pagesWritten = true;
            // A script that cannot be written is a file that cannot be written; the audio write
            // finds it and stops the recording.
            std::lock_guard lock(lock_);
            sink_->WriteScript(clockMs_, "pages,(" + std::to_string(moment.page) + "," + std::to_string(step) + ")");
        }
        if (callbacks_.elapsed) callbacks_.elapsed(clockMs_);
    }

    if (!outcome.pastLimit && moment.pointer && *moment.pointer != lastPointer_) {
        std::lock_guard lock(lock_);
        sink_->WriteScript(clockMs_ + 2, "script,(" + std::to_string(moment.pointer->x) + "," +
                                             std::to_string(moment.pointer->y) + ")");
        lastPointer_ = *moment.pointer;
    }
    if (!outcome.pastLimit && (writeFailed || videoFailed_)) outcome.failure = "WriteFail";
    return outcome;
}

bool RecordingSession::OnVideoFrame(const uint8_t* bits, uint32_t length) {
    if (state_ != SessionState::Recording || !bits) return false;
    // Never block on the lock: a stop holds it while it waits for the frame thread to end.
    std::unique_lock lock(lock_, std::defer_lock);
    while (!lock.try_lock()) {
        if (state_ != SessionState::Recording) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (state_ != SessionState::Recording) return false;
    const uint32_t timeMs = MulDiv(frameCount_, 1000, kFrameRate);
    if (timeMs > kLastFrameMs) {
        if (!framesLimitSaid_.exchange(true) && callbacks_.framesPastLimit) callbacks_.framesPastLimit();
        return false;
    }
    if (!sink_->WriteVideo(timeMs, bits, length)) videoFailed_ = true;
    ++frameCount_;
    return true;
}

void RecordingSession::OnStroke(const std::string& command) {
    if (state_ != SessionState::Recording) return;
    std::lock_guard lock(lock_);
    sink_->WriteScript(clockMs_ + 1, command);
}

}  // namespace tovra
