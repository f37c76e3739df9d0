// The UI library's one export besides the entry to its own windows: the UI's descriptor
// (ui.cpp).
#include <cstdint>

#include "lv2/descriptors.h"

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &cqscope::lv2::kUiDescriptor : nullptr;
}
