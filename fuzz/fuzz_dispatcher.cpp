// Fuzzes the analyser's dispatcher: sequences of calls with arbitrary opcode, index, value and
// opt. Pointers are always safe, as a correct host's are: ptr is a zeroed 64 KiB block with a
// terminated text at its start (large enough for every record an opcode fills), value is
// replaced by the address of a second block for the opcodes that take it as a pointer, the
// editor is opened only in a real parent window, the event opcode gets a real list, and close
// is never sent (it frees the effect). Sample rates and block sizes are whatever the input
// says, so rates outside the accepted range and resumes after them are covered.
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/display_geometry.h"
#include "frame/host_interface.h"
#include "fuzz_input.h"
#include "platform/cqscope_platform.h"
#include "plugin/plugin_entry.h"

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr std::size_t kBlock = 65536;

struct Rig {
    // The manual clock: the display's timer fires only when an input's calls move it (idle
    // advances it below), so most runs cost no full redraw.
    bool clock = (cqpSetManualClock(TRUE, 0), true);
    AEffect* effect = createCqscopeEffect(hostCallback);
    HWND parent = cqpCreateHostWindow(display::kWidth, display::kHeight);
    std::vector<unsigned char> block = std::vector<unsigned char>(kBlock);
    std::vector<unsigned char> second = std::vector<unsigned char>(kBlock);
};

Rig& rig() {
    static Rig made;
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Rig& r = rig();
    AEffect* e = r.effect;
    FuzzInput input(data, size);
    bool editorOpen = false;
    for (int call = 0; call < 16 && !input.empty(); ++call) {
        // Opcodes mostly in the interface's range, sometimes anything at all.
        const std::int16_t pick = input.take<std::int16_t>();
        VstInt32 opcode = (pick & 0x100)
                              ? static_cast<VstInt32>(static_cast<std::int64_t>(pick) * 65599)
                              : (pick & 0xFF) % 136 - 5;
        const VstInt32 index = input.take<VstInt32>();
        VstIntPtr value = input.take<VstIntPtr>();
        const float opt = input.take<float>();
        std::memset(r.block.data(), 0, kBlock);
        std::memset(r.second.data(), 0, kBlock);
        std::size_t got = 0;
        const std::uint8_t* text = input.bytes(input.take<std::uint8_t>() % 64, got);
        std::memcpy(r.block.data(), text, got);
        void* ptr = r.block.data();
        switch (opcode) {
            case effClose:
                continue;
            case effEditOpen:
                if (editorOpen) continue;  // a host opens an editor once before closing it
                ptr = r.parent;
                editorOpen = true;
                break;
            case effEditClose:
                editorOpen = false;
                break;
            case effSetBlockSize:
                break;
            case effSetSpeakerArrangement:
            case effGetSpeakerArrangement:
                value = reinterpret_cast<VstIntPtr>(r.second.data());
                break;
            case effProcessEvents: {
                // A real list: its count says how many of the pointers that follow are used.
                auto* list = reinterpret_cast<VstIntPtr*>(r.block.data());
                *reinterpret_cast<VstInt32*>(&list[0]) = static_cast<VstInt32>(got / 8);
                auto* events = reinterpret_cast<VstMidiEvent*>(r.second.data());
                for (std::size_t i = 0; i < got / 8; ++i) {
                    events[i].type = text[i * 8] & 1 ? kVstMidiType : kVstSysExType;
                    std::memcpy(events[i].midiData, text + i * 8 + 1, 4);
                    list[2 + i] = reinterpret_cast<VstIntPtr>(&events[i]);
                }
                break;
            }
            default:
                if (opcode < -5 || opcode > 130) value = 0;
                break;
        }
        e->dispatcher(e, opcode, index, value, ptr, opt);
        if (editorOpen) {
            // A refresh tick on one call in eight: each redraws the whole display, by far
            // the costliest thing a run does, and runs that open the editor are most runs.
            if ((index & 7) == 1) cqpAdvanceClock(100);
            e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
            cqpPumpMessages(r.parent);
        }
    }
    if (editorOpen) e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    // The audio path after whatever the calls did (block size within what was declared
    // is the host's duty; 64 frames are within every size but 1 to 63, which hosts reject).
    float left[64] = {}, right[64] = {};
    float* channels[2] = {left, right};
    e->processReplacing(e, channels, channels, 64);
    return 0;
}
