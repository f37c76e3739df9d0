// The DSP library's one export: the plug-in's descriptor (dsp.cpp).
#include <cstdint>

#include "lv2/descriptors.h"

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &cqscope::lv2::kPluginDescriptor : nullptr;
}
