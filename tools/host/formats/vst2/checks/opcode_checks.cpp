// Every opcode from -5 to 130 with safe arguments: text answers into guarded buffers, setters
// with plausible values, records into a zeroed block whose far half must stay zero, and the
// effect still processing afterwards.
#include <algorithm>
#include <cstdio>

#include "core/default_rate.h"
#include "formats/vst2/checks/audio_rig.h"

namespace cqhost::validation {
namespace {

// Host text buffers: hosts give 64 bytes at least; the validator gives kTextBuffer bytes
// filled with a guard pattern, so that writes past the terminator or past 64 bytes are seen.
constexpr size_t kHostTextLimit = 64;
constexpr size_t kTextBuffer = 512;
constexpr unsigned char kGuard = 0xA5;

// A zeroed block big enough for any record an opcode may fill (properties, key names,
// program names, patch information): several kilobytes more than the largest.
constexpr size_t kSafeBlock = 16384;

// The opcodes this host knows a meaning for (the ones the interface header names).
bool isNamed(VstInt32 opcode) {
    switch (opcode) {
        case effOpen:
        case effClose:
        case effSetProgram:
        case effGetProgram:
        case effSetProgramName:
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effSetSampleRate:
        case effSetBlockSize:
        case effMainsChanged:
        case effEditGetRect:
        case effEditOpen:
        case effEditClose:
        case effEditIdle:
        case effIdentify:
        case effGetChunk:
        case effSetChunk:
        case effProcessEvents:
        case effCanBeAutomated:
        case effString2Parameter:
        case effGetProgramNameIndexed:
        case effGetInputProperties:
        case effGetOutputProperties:
        case effGetPlugCategory:
        case effOfflineNotify:
        case effOfflinePrepare:
        case effOfflineRun:
        case effProcessVarIo:
        case effSetSpeakerArrangement:
        case effSetBypass:
        case effGetEffectName:
        case effGetVendorString:
        case effGetProductString:
        case effGetVendorVersion:
        case effVendorSpecific:
        case effCanDo:
        case effGetTailSize:
        case effGetParameterProperties:
        case effGetVstVersion:
        case effEditKeyDown:
        case effEditKeyUp:
        case effSetEditKnobMode:
        case effGetMidiProgramName:
        case effGetCurrentMidiProgram:
        case effGetMidiProgramCategory:
        case effHasMidiProgramsChanged:
        case effGetMidiKeyName:
        case effBeginSetProgram:
        case effEndSetProgram:
        case effGetSpeakerArrangement:
        case effShellGetNextPlugin:
        case effStartProcess:
        case effStopProcess:
        case effSetTotalSampleToProcess:
        case effSetPanLaw:
        case effBeginLoadBank:
        case effBeginLoadProgram:
        case effSetProcessPrecision:
        case effGetNumMidiInputChannels:
        case effGetNumMidiOutputChannels:
            return true;
        default:
            return false;
    }
}

// Left to other checks: close comes last, and the editor checks drive the editor opcodes
// with a parent window.
bool sentElsewhere(VstInt32 opcode) {
    return opcode == effClose || opcode == effEditOpen || opcode == effEditClose ||
           opcode == effEditIdle;
}

// One sweep over the opcodes against one effect, with the host's buffers and what it noted.
class OpcodeSweep {
  public:
    explicit OpcodeSweep(const Subject& subject)
        : subject_(subject),
          host_(load(subject)),
          params_(std::min(subject.numParams, 64)),
          block_(kSafeBlock, 0),
          second_(kSafeBlock, 0) {}

    PluginHost& host() { return *host_; }
    int sent() const { return sent_; }
    int unnamedSkipped() const { return unnamedSkipped_; }
    const std::vector<std::string>& notes() const { return notes_; }

    void send(VstInt32 opcode) {
        std::fill(block_.begin(), block_.end(), 0);
        std::fill(second_.begin(), second_.end(), 0);
        step("opcode " + std::to_string(opcode));
        if (sentElsewhere(opcode)) return;
        if (!sendText(opcode) && !sendSetting(opcode) && !sendRecord(opcode) &&
            !sendAnyOther(opcode)) {
            ++unnamedSkipped_;
            return;
        }
        ++sent_;
        if (std::any_of(block_.begin() + kSafeBlock / 2, block_.end(),
                        [](unsigned char b) { return b != 0; })) {
            fail("opcode " + std::to_string(opcode) + " wrote beyond 8 KiB of the host's block");
        }
    }

  private:
    // The opcodes that answer text into a host buffer, for every index they have.
    bool sendText(VstInt32 opcode) {
        switch (opcode) {
            case effGetProgramName:
            case effGetEffectName:
            case effGetVendorString:
            case effGetProductString:
            case effShellGetNextPlugin:
                checkText(opcode, 0);
                return true;
            case effGetParamLabel:
            case effGetParamDisplay:
            case effGetParamName:
                for (int p = 0; p < params_; ++p) checkText(opcode, p);
                return true;
            case effGetProgramNameIndexed:
                for (int p = 0; p < std::min(subject_.numPrograms, 64); ++p) checkText(opcode, p);
                return true;
            default:
                return false;
        }
    }

    // The opcodes that set something, each with a value a host would give.
    bool sendSetting(VstInt32 opcode) {
        switch (opcode) {
            case effSetProgram:
            case effSetProcessPrecision:
                host_->dispatch(opcode, 0, 0);
                return true;
            case effSetProgramName: {
                char name[kHostTextLimit] = "validated";
                host_->dispatch(opcode, 0, 0, name);
                return true;
            }
            case effSetSampleRate:
                host_->dispatch(opcode, 0, 0, nullptr,
                                static_cast<float>(cqscope::kDefaultSampleRate));
                return true;
            case effSetBlockSize:
                host_->dispatch(opcode, 0, kBlockSize);
                return true;
            case effMainsChanged:
                host_->dispatch(opcode, 0, 1);
                host_->dispatch(opcode, 0, 0);
                return true;
            case effEditKeyDown:
            case effEditKeyUp:
                host_->dispatch(opcode, 'a', 0, nullptr, 0.0f);
                return true;
            case effSetTotalSampleToProcess:
                host_->dispatch(opcode, 0, static_cast<VstIntPtr>(cqscope::kDefaultSampleRate));
                return true;
            case effSetPanLaw:
                host_->dispatch(opcode, 0, 0, nullptr, 1.0f);
                return true;
            case effCanDo:
                checkCanDo();
                return true;
            default:
                return false;
        }
    }

    // The opcodes that take or fill a record.
    bool sendRecord(VstInt32 opcode) {
        switch (opcode) {
            case effEditGetRect: {
                ERect* rect = nullptr;
                const VstIntPtr answer = host_->dispatch(opcode, 0, 0, &rect);
                if (answer != 0 && rect == nullptr) fail("get-rect answers 1 with no rectangle");
                return true;
            }
            case effGetChunk: {
                void* data = nullptr;
                const VstIntPtr size = host_->dispatch(opcode, 0, 0, &data);
                if (size > 0 && data == nullptr) fail("get-chunk gives a size but no data");
                return true;
            }
            case effSetChunk:
                giveChunksBack();
                return true;
            case effProcessEvents: {
                VstIntPtr empty[4] = {0, 0, 0, 0};
                host_->dispatch(opcode, 0, 0, empty);
                return true;
            }
            case effSetSpeakerArrangement:
                setSpeakerArrangement();
                return true;
            case effGetSpeakerArrangement:
                getSpeakerArrangement();
                return true;
            case effGetParameterProperties:
                if (params_ > 0) host_->dispatch(opcode, 0, 0, block_.data());
                return true;
            case effGetInputProperties:
                if (subject_.numInputs > 0) host_->dispatch(opcode, 0, 0, block_.data());
                return true;
            case effGetOutputProperties:
                if (subject_.numOutputs > 0) host_->dispatch(opcode, 0, 0, block_.data());
                return true;
            case effOfflineNotify:
            case effOfflinePrepare:
            case effOfflineRun:
                host_->dispatch(opcode, 0, 0, block_.data());  // a count of 0
                return true;
            default:
                return false;
        }
    }

    // Any other opcode: false when it is not sent at all.
    bool sendAnyOther(VstInt32 opcode) {
        if (!isNamed(opcode) && !expectationsFor(subject_).takesAnyOpcode) {
            // An opcode the interface gives no meaning may still mean something to another
            // effect (an old, retired use with its own arguments), so no argument is safe for
            // it: not sent. (The LSP effects, for one, free memory twice on opcode 43 whatever
            // they are given.)
            return false;
        }
        // Index 0, and both value and ptr the address of a zeroed block, which is safe
        // whether the effect takes either as a record, as a text buffer or as the address of
        // a pointer to fill.
        host_->dispatch(opcode, 0, reinterpret_cast<VstIntPtr>(second_.data()), block_.data());
        return true;
    }

    // Dispatches with a text buffer full of guard bytes and checks what came back.
    void checkText(VstInt32 opcode, VstInt32 index) {
        std::vector<unsigned char> buffer(kTextBuffer, kGuard);
        host_->dispatch(opcode, index, 0, buffer.data());
        const std::string where =
            "opcode " + std::to_string(opcode) + " index " + std::to_string(index);
        if (std::all_of(buffer.begin(), buffer.end(),
                        [](unsigned char b) { return b == kGuard; })) {
            return;  // untouched: the effect has no such text
        }
        const auto terminator = std::find(buffer.begin(), buffer.end(), 0);
        const size_t length = static_cast<size_t>(terminator - buffer.begin());
        if (terminator == buffer.end() || length >= kHostTextLimit) {
            fail(where + ": text not terminated within the " + std::to_string(kHostTextLimit) +
                 " bytes hosts give");
        }
        // Zero padding inside the host's 64 bytes is harmless; anything else after the
        // terminator, and anything at all past the 64 bytes, is a write the host did not allow.
        for (size_t k = length + 1; k < buffer.size(); ++k) {
            const bool allowed = buffer[k] == kGuard || (k < kHostTextLimit && buffer[k] == 0);
            if (!allowed) {
                fail(where + ": byte " + std::to_string(k) + " written past the terminator at " +
                     std::to_string(length));
            }
        }
        if (length > 31 && notes_.size() < 3) {
            notes_.push_back(where + " text has " + std::to_string(length) + " characters");
        }
    }

    void checkCanDo() {
        for (const char* text :
             {"receiveVstMidiEvent", "sendVstMidiEvent", "bypass", "", "ReceiveVstMidiEvent"}) {
            char copy[kHostTextLimit];
            std::snprintf(copy, sizeof copy, "%s", text);
            const VstIntPtr answer = host_->dispatch(effCanDo, 0, 0, copy);
            if (answer < -1 || answer > 1) {
                fail("can-do '" + std::string(text) + "' answers " + std::to_string(answer));
            }
        }
    }

    // What hosts do: give back what get-chunk gave, bank and program, and only to effects
    // that keep their state in chunks.
    void giveChunksBack() {
        if (subject_.programChunks) {
            for (VstInt32 program : {0, 1}) {
                void* data = nullptr;
                const VstIntPtr size = host_->dispatch(effGetChunk, program, 0, &data);
                if (size <= 0 || data == nullptr) continue;
                std::vector<unsigned char> copy(static_cast<const unsigned char*>(data),
                                                static_cast<const unsigned char*>(data) + size);
                host_->dispatch(effSetChunk, program, size, copy.data());
            }
        } else if (expectationsFor(subject_).takesAnyOpcode) {
            host_->dispatch(effSetChunk, 0, 0, block_.data());
        }
    }

    // The effect's own channel counts, at most 8, as one arrangement each way.
    void setSpeakerArrangement() {
        VstSpeakerArrangement in{}, out{};
        in.type = out.type = 1;
        in.numChannels = std::clamp(subject_.numInputs, 0, 8);
        out.numChannels = std::clamp(subject_.numOutputs, 0, 8);
        host_->dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    }

    void getSpeakerArrangement() {
        VstSpeakerArrangement* in = nullptr;
        VstSpeakerArrangement* out = nullptr;
        host_->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    }

    const Subject& subject_;
    std::unique_ptr<PluginHost> host_;
    const int params_;
    std::vector<unsigned char> block_, second_;
    std::vector<std::string> notes_;
    int sent_ = 0;
    int unnamedSkipped_ = 0;
};

std::string checkOpcodes(const Subject& subject) {
    OpcodeSweep sweep(subject);
    for (VstInt32 opcode = -5; opcode <= 130; ++opcode) sweep.send(opcode);
    if (const auto checkAnswers = expectationsFor(subject).checkAnswers) checkAnswers(sweep.host());
    // Still alive and processing after all of it.
    std::mt19937_64 random(subject.seed);
    sweep.host().start(cqscope::kDefaultSampleRate, 256);
    exercise(sweep.host(), subject, random, "after the opcode sweep");
    std::string detail =
        std::to_string(sweep.sent()) + " opcodes from -5 to 130, text guards intact";
    if (sweep.unnamedSkipped() > 0) {
        detail += " (" + std::to_string(sweep.unnamedSkipped()) +
                  " without a meaning in the interface not sent to a third-party effect)";
    }
    for (const auto& note : sweep.notes()) detail += "; note: " + note;
    return detail;
}

}  // namespace

std::vector<Check> opcodeChecks() {
    return {
        {"opcodes", checkOpcodes},
    };
}

}  // namespace cqhost::validation
