#include "clap_stream.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

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

std::uint64_t runOnAudioThread(ClapPlugin& plugin,
                               const std::function<void(std::atomic<std::uint64_t>& done)>& play,
                               const std::function<void(std::uint64_t done)>& progress) {
    std::mutex lock;
    std::condition_variable wake;
    bool finished = false;
    std::atomic<std::uint64_t> done{0};
    std::exception_ptr failure;
    std::thread audioThread([&] {
        try {
            plugin.startProcessing();
            play(done);
            plugin.stopProcessing();
        } catch (...) {
            failure = std::current_exception();
            try {
                plugin.stopProcessing();
            } catch (...) {
            }
        }
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
        wake.notify_one();
    });
    {
        std::unique_lock<std::mutex> guard(lock);
        while (!finished) {
            guard.unlock();
            plugin.serviceMainThread();
            if (progress) progress(done.load());
            guard.lock();
            // Ten milliseconds: well inside the 33 ms hosts are expected to answer requests in.
            wake.wait_for(guard, std::chrono::milliseconds(10), [&] { return finished; });
        }
    }
    audioThread.join();
    plugin.serviceMainThread();
    if (failure) std::rethrow_exception(failure);
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
