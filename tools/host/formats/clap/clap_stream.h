// Playing audio and timed events through a CLAP plug-in, block by block, on an audio thread of
// its own while the calling (main) thread serves the plug-in's main-thread requests: the play
// loop's CLAP side (what `process` and the Windows capture play through), and a stream of
// buffers with note events (what the tests play).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

#include "formats/clap/clap_host.h"
#include "play/play_loop.h"

namespace cqhost {

// Note and MIDI events at absolute frames of a stream. Filled before the run; read by the
// audio thread during it.
class ClapEventStream {
  public:
    // A CLAP note event (CLAP_EVENT_NOTE_ON/OFF/CHOKE) at frame `frame` of the stream.
    void addNote(std::uint16_t type, std::uint64_t frame, std::int16_t key, std::int16_t channel,
                 double velocity);
    // A raw MIDI 1 message at frame `frame` of the stream.
    void addMidi(std::uint64_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    bool empty() const { return events_.empty(); }

    // Fills `block` with the events of frames [start, start + frames), timed from `start`,
    // in stream order (earlier frame first; added order for equal frames).
    void fillBlock(std::uint64_t start, std::uint32_t frames, ClapEventList& block) const;

  private:
    struct Note {
        std::uint16_t type;
        std::int16_t key, channel;
        double velocity;
    };
    struct Midi {
        std::uint8_t bytes[3];
    };
    struct Event {
        std::uint64_t frame;
        std::variant<Note, Midi> body;
    };
    void add(Event event);

    std::vector<Event> events_;  // sorted by frame, stable
};

// Where the stream's audio comes from and goes to, called on the audio thread. Blocks run on
// `channels` buffers a side (at least the channels of the wider main port; the plug-in sees the
// first ones of each port's width): `read` fills each input buffer with up to `frames` frames
// and returns how many (0 ends the stream); `write` takes the processed output buffers.
struct ClapStreamAudio {
    std::uint32_t channels = 2;
    std::function<std::uint32_t(float* const* channels, std::uint32_t frames)> read;
    std::function<void(const float* const* channels, std::uint32_t frames)> write;
};

// A CLAP plug-in as the play loop (play_loop.h) drives it: the block's MIDI messages as CLAP
// MIDI events on the main ports' note input, then `process` on the main audio ports. Built on
// the main thread with the plug-in active (the ports' channels are read at `activate`); used
// on the plug-in's audio thread between startProcessing and stopProcessing.
class ClapBlockProcessor : public BlockProcessor {
  public:
    explicit ClapBlockProcessor(ClapPlugin& plugin) : plugin_(plugin) {}
    int numInputs() const override { return static_cast<int>(plugin_.mainInputChannels()); }
    int numOutputs() const override { return static_cast<int>(plugin_.mainOutputChannels()); }
    void addMidi(const TimedMidiMessage& message, int offset) override;
    void process(float* const* inputs, float* const* outputs, int frames) override;

  private:
    ClapPlugin& plugin_;
    ClapEventList events_;
};

// A thread of its own that is a CLAP plug-in's audio thread while the object lives: it calls
// start_processing when made and stop_processing when destroyed, and between them runs the
// jobs the main thread hands it, one at a time. Made, used and destroyed on the main thread,
// with the plug-in active. The main thread either waits for each job (render, whose display
// may run only between blocks) or serves the plug-in while it runs (runOnAudioThread).
class ClapAudioThread {
  public:
    // Rethrows here what start_processing threw, with the thread ended.
    explicit ClapAudioThread(ClapPlugin& plugin);
    ~ClapAudioThread();
    ClapAudioThread(const ClapAudioThread&) = delete;
    ClapAudioThread& operator=(const ClapAudioThread&) = delete;

    // Hands `job` to the audio thread; the last job must be finished (`finished` said so).
    void start(std::function<void()> job);
    // Waits up to `timeout` for the job to finish; true once it has. Rethrows here, once,
    // what the job threw.
    bool finished(std::chrono::milliseconds timeout);
    // Runs `job` on the audio thread and waits for it; rethrows what it threw.
    void run(std::function<void()> job);

  private:
    enum class State { Idle, Working, Done, Stopping };
    void loop();
    // Asks the thread to end once it is idle, and joins it.
    void endThread();

    ClapPlugin& plugin_;
    std::mutex lock_;
    std::condition_variable wake_;
    State state_ = State::Idle;
    std::function<void()> job_;
    std::exception_ptr failure_;
    std::thread thread_;
};

// Main thread; the plug-in is active. Starts a thread that is the plug-in's audio thread for
// the run and calls `play` there between start_processing and stop_processing; `play` plays
// blocks until its source ends and stores the frames done in `done` as it goes. Meanwhile this
// thread serves main-thread requests and calls `progress` with the frames done. Rethrows here
// whatever the audio thread threw. Returns the frames done.
std::uint64_t runOnAudioThread(ClapPlugin& plugin,
                               const std::function<void(std::atomic<std::uint64_t>& done)>& play,
                               const std::function<void(std::uint64_t done)>& progress = {});

// Main thread; the plug-in is active. Starts a thread that is the plug-in's audio thread for
// the run: start_processing, a `process` per block of at most plugin.maxFrames() frames
// with that block's events, stop_processing. Blocks run in place (one set of buffers for the
// main input and output) when the plug-in pairs those ports, on separate buffers otherwise.
// Meanwhile this thread serves main-thread requests and calls `progress` with the frames done.
// Rethrows here whatever the audio thread threw. Returns the frames processed.
std::uint64_t processStream(ClapPlugin& plugin, const ClapStreamAudio& audio,
                            const ClapEventStream& events,
                            const std::function<void(std::uint64_t done)>& progress = {});

}  // namespace cqhost
