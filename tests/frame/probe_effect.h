// Test doubles: an effect derived from AudioEffectX that opens its protected members to the
// tests, and an editor that records what the dispatchers hand it.
#pragma once

#include <string>
#include <vector>

#include "frame/aeffeditor.h"
#include "frame/audioeffectx.h"

class ProbeEffect : public AudioEffectX {
  public:
    explicit ProbeEffect(audioMasterCallback audioMaster, VstInt32 programs = 1,
                         VstInt32 params = 0, bool* destroyed = nullptr)
        : AudioEffectX(audioMaster, programs, params), destroyed(destroyed) {}
    ~ProbeEffect() override {
        if (destroyed != nullptr) *destroyed = true;
    }
    void processReplacing(float**, float**, VstInt32) noexcept override {}

    using AudioEffect::audioMaster;
    using AudioEffect::blockSize;
    using AudioEffect::cEffect;
    using AudioEffect::curProgram;
    using AudioEffect::editor;
    using AudioEffect::numParams;
    using AudioEffect::numPrograms;
    using AudioEffect::sampleRate;

    bool* destroyed;
};

class ProbeEditor : public AEffEditor {
  public:
    explicit ProbeEditor(AudioEffect* effect, bool* destroyed = nullptr)
        : AEffEditor(effect), destroyed(destroyed) {}
    ~ProbeEditor() override {
        if (destroyed != nullptr) *destroyed = true;
    }
    bool getRect(ERect** rect) override {
        calls.push_back("getRect");
        *rect = &ownRect;
        return answer;
    }
    bool open(void* parent) override {
        calls.push_back("open");
        openedWith = parent;
        return answer;
    }
    void close() override { calls.push_back("close"); }
    void idle() override { calls.push_back("idle"); }
    bool onKeyDown(VstKeyCode& key) override {
        calls.push_back("keyDown");
        lastKey = key;
        return answer;
    }
    bool onKeyUp(VstKeyCode& key) override {
        calls.push_back("keyUp");
        lastKey = key;
        return answer;
    }
    bool setKnobMode(VstInt32 mode) override {
        calls.push_back("knobMode");
        knobMode = mode;
        return answer;
    }

    bool answer = true;
    std::vector<std::string> calls;
    ERect ownRect{0, 0, 512, 960};
    void* openedWith = nullptr;
    VstKeyCode lastKey{};
    VstInt32 knobMode = -12345;
    bool* destroyed;
};
