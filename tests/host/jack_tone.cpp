// A JACK client for the listen tests: one output port, "out", playing a sine of the given
// frequency (Hz) and amplitude until it is killed. Usage: cqscope-jack-tone NAME HZ AMPLITUDE
#include <jack/jack.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

jack_port_t* port = nullptr;
double frequency = 440.0;
double amplitude = 0.5;
double phase = 0.0;
double step = 0.0;

int process(jack_nframes_t frames, void*) {
    auto* out = static_cast<float*>(jack_port_get_buffer(port, frames));
    for (jack_nframes_t k = 0; k < frames; ++k) {
        out[k] = static_cast<float>(amplitude * std::sin(phase));
        phase += step;
        if (phase > 6.283185307179586) phase -= 6.283185307179586;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s NAME HZ AMPLITUDE\n", argv[0]);
        return 2;
    }
    frequency = std::atof(argv[2]);
    amplitude = std::atof(argv[3]);
    jack_client_t* client = jack_client_open(argv[1], JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "%s: no JACK server\n", argv[0]);
        return 1;
    }
    step = 6.283185307179586 * frequency / jack_get_sample_rate(client);
    port = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, process, nullptr);
    if (port == nullptr || jack_activate(client) != 0) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) pause();
}
