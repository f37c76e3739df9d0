#include "formats/format_checks.h"

#include <utility>
#include <vector>

#include "formats/clap/clap_checks.h"
#include "formats/clap/clap_format.h"
#include "formats/vst2/checks/vst2_checks.h"
#include "formats/vst2/vst2_format.h"
#include "formats/vst3/vst3_checks.h"
#include "formats/vst3/vst3_format.h"

namespace cqhost {
namespace {

using Entry = std::pair<const PluginFormat*, const validation::CheckSuite*>;

const std::vector<Entry>& suites() {
    static const std::vector<Entry> entries{
        {&vst3Format(), &validation::vst3CheckSuite()},
        {&clapFormat(), &validation::clapCheckSuite()},
        {&vst2Format(), &validation::vst2CheckSuite()},
    };
    return entries;
}

}  // namespace

const validation::CheckSuite* checkSuiteOf(const PluginFormat& format) {
    for (const Entry& entry : suites()) {
        if (entry.first == &format) return entry.second;
    }
    return nullptr;
}

const PluginFormat* checkedFormatNamed(const std::string& name) {
    for (const Entry& entry : suites()) {
        if (entry.first->name == name) return entry.first;
    }
    return nullptr;
}

}  // namespace cqhost
