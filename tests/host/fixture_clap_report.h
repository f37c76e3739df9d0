// The fixture CLAP plug-in's own extension, through which tests read what it saw.
#pragma once

#include "clap/clap_interface.h"

inline constexpr char kFixtureReportExtension[] = "org.cqscope.test.fixture-report";

struct FixtureReport {
    // The main-thread calls the instance received, one line each, in order: "init",
    // "activate 48000 1 512", "deactivate", "on_main_thread", "timer 1", "fd". Main thread.
    const char*(CLAP_ABI* main_calls)(const clap_plugin* plugin);
    // The audio-thread calls, likewise: "start_processing", "process 512", "note-on key 60
    // channel 0 velocity 0.5 block 1 frame 17", "midi 90 3c 64 block 1 frame 17",
    // "stop_processing". Read it when the instance is not processing.
    const char*(CLAP_ABI* audio_calls)(const clap_plugin* plugin);
    // Each rule the host broke (a call on the wrong thread or in the wrong state), one line
    // each; empty when it kept them all.
    const char*(CLAP_ABI* faults)(const clap_plugin* plugin);
    // Instances of this library alive right now.
    int(CLAP_ABI* live_instances)(void);
};
