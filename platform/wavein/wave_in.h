// The wave-in device on GStreamer: records from the sound server's default source into buffers
// the caller queues, and announces every full buffer to an owner object on its thread, as the
// platform's wave-in interface does with a window callback.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

namespace tovra::wavein {

using MMRESULT = uint32_t;
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

inline constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;
inline constexpr uint32_t CALLBACK_NULL = 0x00000000u;
inline constexpr uint32_t CALLBACK_WINDOW = 0x00010000u;
inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

// The data message: a buffer came back (full, or handed back by a reset).
inline constexpr uint32_t MM_WIM_DATA = 0x3C0;

struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

struct WAVEHDR {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;   // bytes
    uint32_t dwBytesRecorded = 0;  // bytes filled when the buffer came back
    uintptr_t dwUser = 0;
    uint32_t dwFlags = 0;  // WHDR_*
    uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    uintptr_t reserved = 0;
};

struct WaveInDevice;
using HWAVEIN = WaveInDevice*;

// Posted to the owner for every returned buffer; delivered on the owner's thread.
class WaveInDataEvent : public QEvent {
public:
    WaveInDataEvent(HWAVEIN device, WAVEHDR* header) : QEvent(EventType()), device(device), header(header) {}
    // The data message's number lifted into Qt's user event range.
    static QEvent::Type EventType() { return static_cast<QEvent::Type>(QEvent::User + MM_WIM_DATA); }
    HWAVEIN device;
    WAVEHDR* header;
};

// Opens the default source (WAVE_MAPPER or 0) for PCM of the given format. With CALLBACK_WINDOW
// returned buffers are posted to `callback` as WaveInDataEvent; with CALLBACK_NULL they are only
// marked done. Fails when the sound server or its source cannot be reached.
MMRESULT waveInOpen(HWAVEIN* device, uint32_t deviceId, const WAVEFORMATEX* format, QObject* callback,
                    uintptr_t instance, uint32_t flags);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, uint32_t headerSize);
// Queues a prepared buffer; buffers are filled in the order they were queued.
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveInStart(HWAVEIN device);
// Stops recording and hands every queued buffer back, each announced like a full one.
MMRESULT waveInReset(HWAVEIN device);
// Fails with WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveInClose(HWAVEIN device);

}  // namespace tovra::wavein
