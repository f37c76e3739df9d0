#include "formats/clap/clap_stream.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace cqhost {

void ClapEventStream::addNote(std::uint16_t type, std::uint64_t frame, std::int16_t key,
                              std::int16_t channel, double velocity) {
    add({frame, Note{type, key, channel, velocity}});
}

void ClapEventStream::addMidi(std::uint64_t frame, std::uint8_t status, std::uint8_t data1,
                              std::uint8_t data2) {
    add({frame, Midi{{status, data1, data2}}});
}

void ClapEventStream::add(Event event) {
    const auto place = std::upper_bound(
        events_.begin(), events_.end(), event.frame,
        [](std::uint64_t frame, const Event& other) { return frame < other.frame; });
    events_.insert(place, event);
}

void ClapEventStream::fillBlock(std::uint64_t start, std::uint32_t frames,
                                ClapEventList& block) const {
    block.clear();
    auto event =
        std::lower_bound(events_.begin(), events_.end(), start,
                         [](const Event& e, std::uint64_t frame) { return e.frame < frame; });
    for (; event != events_.end() && event->frame < start + frames; ++event) {
        const auto time = static_cast<std::uint32_t>(event->frame - start);
        if (const auto* note = std::get_if<Note>(&event->body)) {
            block.addNote(note->type, time, note->key, note->channel, note->velocity);
        } else {
            const auto& midi = std::get<Midi>(event->body);
            block.addMidi(time, midi.bytes[0], midi.bytes[1], midi.bytes[2]);
        }
    }
}

void ClapBlockProcessor::addMidi(const TimedMidiMessage& message, int offset) {
    events_.addMidi(static_cast<std::uint32_t>(offset), message.bytes[0], message.bytes[1],
                    message.bytes[2]);
}

void ClapBlockProcessor::process(float* const* inputs, float* const* outputs, int frames) {
    plugin_.process(inputs, plugin_.mainInputChannels(), outputs, plugin_.mainOutputChannels(),
                    static_cast<std::uint32_t>(frames), events_);
    events_.clear();
}

ClapAudioThread::ClapAudioThread(ClapPlugin& plugin) : plugin_(plugin) {
    thread_ = std::thread([this] { loop(); });
    // The first job is start_processing itself: nothing runs before it has succeeded.
    try {
        run([this] { plugin_.startProcessing(); });
    } catch (...) {
        endThread();
        throw;
    }
}

ClapAudioThread::~ClapAudioThread() {
    // A job still running ends first (what it threw is dropped: the one who started it is
    // unwinding already); then stop_processing, on the audio thread.
    for (;;) {
        try {
            if (finished(std::chrono::milliseconds(100))) break;
        } catch (...) {
            break;
        }
    }
    try {
        run([this] { plugin_.stopProcessing(); });
    } catch (...) {
        // Nothing to report from a destructor: the plug-in is deactivated after this anyway.
    }
    endThread();
}

void ClapAudioThread::endThread() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        state_ = State::Stopping;
    }
    wake_.notify_all();
    thread_.join();
}

void ClapAudioThread::loop() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return state_ == State::Working || state_ == State::Stopping; });
        if (state_ == State::Stopping) return;
        std::function<void()> job = std::move(job_);
        guard.unlock();
        std::exception_ptr failure;
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        guard.lock();
        failure_ = failure;
        state_ = State::Done;
        wake_.notify_all();
    }
}

void ClapAudioThread::start(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (state_ != State::Idle) throw std::logic_error("ClapAudioThread: a job is running");
        job_ = std::move(job);
        state_ = State::Working;
    }
    wake_.notify_all();
}

bool ClapAudioThread::finished(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    if (state_ == State::Idle) return true;
    if (!wake_.wait_for(guard, timeout, [this] { return state_ == State::Done; })) return false;
    state_ = State::Idle;
    if (std::exception_ptr failure = std::exchange(failure_, nullptr))
        std::rethrow_exception(failure);
    return true;
}

void ClapAudioThread::run(std::function<void()> job) {
    start(std::move(job));
    while (!finished(std::chrono::hours(1))) {
    }
}

std::uint64_t runOnAudioThread(ClapPlugin& plugin,
                               const std::function<void(std::atomic<std::uint64_t>& done)>& play,
                               const std::function<void(std::uint64_t done)>& progress) {
    std::atomic<std::uint64_t> done{0};
    {
        ClapAudioThread audioThread(plugin);
        audioThread.start([&] { play(done); });
        // Ten milliseconds: well inside the 33 ms hosts are expected to answer requests in.
        while (!audioThread.finished(std::chrono::milliseconds(10))) {
            plugin.serviceMainThread();
            if (progress) progress(done.load());
        }
    }
    plugin.serviceMainThread();
    return done.load();
}

std::uint64_t processStream(ClapPlugin& plugin, const ClapStreamAudio& audio,
                            const ClapEventStream& events,
                            const std::function<void(std::uint64_t done)>& progress) {
    const std::uint32_t blockSize = plugin.maxFrames();
    const std::uint32_t channels = audio.channels;
    const bool inPlace = plugin.mainPortsInPlace();
    if (channels < std::max(plugin.mainInputChannels(), plugin.mainOutputChannels())) {
        throw std::logic_error("processStream: fewer buffers than the plug-in's main ports");
    }
    // Everything the audio thread touches is made here, before it starts.
    std::vector<std::vector<float>> inputs(channels, std::vector<float>(blockSize));
    std::vector<std::vector<float>> outputs(inPlace ? 0 : channels, std::vector<float>(blockSize));
    std::vector<float*> inputPointers(channels), outputPointers(channels);
    for (std::uint32_t c = 0; c < channels; ++c) {
        inputPointers[c] = inputs[c].data();
        outputPointers[c] = inPlace ? inputs[c].data() : outputs[c].data();
    }
    ClapEventList blockEvents;
    return runOnAudioThread(
        plugin,
        [&](std::atomic<std::uint64_t>& done) {
            for (;;) {
                const std::uint32_t count = audio.read(inputPointers.data(), blockSize);
                if (count == 0) break;
                const std::uint64_t start = done.load();
                events.fillBlock(start, count, blockEvents);
                plugin.process(inputPointers.data(), plugin.mainInputChannels(),
                               outputPointers.data(), plugin.mainOutputChannels(), count,
                               blockEvents);
                audio.write(outputPointers.data(), count);
                done.store(start + count);
            }
        },
        progress);
}

}  // namespace cqhost
