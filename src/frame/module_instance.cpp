#include "frame/module_instance.h"

void* moduleInstance = nullptr;

int recordModuleInstance(void* instance) noexcept {
    moduleInstance = instance;
    return 1;
}
