// The LV2 shell's two descriptors, each the whole of what its library's entry hands the host:
// the plug-in's (dsp.cpp, for lv2_descriptor in dsp_entry.cpp) and the UI's (ui.cpp, for
// lv2ui_descriptor in ui_entry.cpp). Static records, valid while the library is loaded.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

namespace cqscope::lv2 {

extern const LV2_Descriptor kPluginDescriptor;
extern const LV2UI_Descriptor kUiDescriptor;

}  // namespace cqscope::lv2
