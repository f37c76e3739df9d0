// The URIs of cqscope's LV2 plug-in, its UI, and the message that carries each audio block from
// the plug-in to its UI. One definition for the DSP library, the UI library, the Turtle files
// (made from these by CMake) and the tests.
#pragma once

#define CQSCOPE_LV2_URI "https://cqscope.example.com/lv2/analyser"
#define CQSCOPE_LV2_UI_URI CQSCOPE_LV2_URI "#ui"
// The block message: an atom:Object of this type, one per block (see block_message.h).
#define CQSCOPE_LV2_BLOCK_URI CQSCOPE_LV2_URI "#Block"
#define CQSCOPE_LV2_RATE_URI CQSCOPE_LV2_URI "#rate"
#define CQSCOPE_LV2_LEFT_URI CQSCOPE_LV2_URI "#left"
#define CQSCOPE_LV2_RIGHT_URI CQSCOPE_LV2_URI "#right"

namespace cqscope::lv2 {

// The plug-in's ports, in the order of their lv2:index. The MIDI output comes before the notify
// port: Ardour carries a plug-in's first atom output on down a MIDI track, whatever events the
// port declares it supports.
enum Port : unsigned {
    kInputLeft = 0,
    kInputRight = 1,
    kOutputLeft = 2,
    kOutputRight = 3,
    kMidiInput = 4,
    kMidiOutput = 5,
    kNotify = 6,
    kPortCount = 7
};

// Bytes the host must give the notify port (rsz:minimumSize; CMake reads the number from
// here): one block of up to 8000 stereo frames in one message, with room for the block's MIDI
// notes and the message's headers. No more than 64 KiB: Audacity 3.2's plug-in check refuses a
// plug-in whose output atom port asks for more (65544 bytes fail it every time, 65536 pass).
constexpr unsigned kNotifyBufferBytes = 65536;
static_assert(kNotifyBufferBytes >= 8000 * 2 * sizeof(float) + 1024 && kNotifyBufferBytes <= 65536);

}  // namespace cqscope::lv2
