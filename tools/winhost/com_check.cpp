// `com`: a host whose user-interface thread is already in the multithreaded COM apartment
// creates the plug-in, opens, refreshes and closes its editor, and frees it. The plug-in's OLE
// use must leave the thread's COM state as the host set it: still initialised, still in the
// multithreaded apartment. OleInitialize fails on such a thread, so the plug-in must not call
// OleUninitialize for it. Some OLE implementations (Wine's) forgive an unbalanced
// OleUninitialize, so the plug-in's own calls are also counted: its import table entries for
// the two functions are pointed at counting wrappers before its entry runs.
#include <objbase.h>
#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/host_error.h"
#include "core/default_rate.h"
#include "formats/formats.h"
#include "host_window.h"
#include "win_commands.h"

namespace winhost {
namespace {

using cqhost::HostError;

// What this thread's COM state answers to two probes, each balanced so it changes nothing:
// joining the multithreaded apartment again (S_FALSE while initialised there, S_OK when no
// longer initialised) and asking for a single-threaded one (RPC_E_CHANGED_MODE while in the
// multithreaded apartment).
struct ComState {
    HRESULT multithreaded;
    HRESULT apartment;
    bool operator==(const ComState&) const = default;
};

ComState probe() {
    ComState state{};
    state.multithreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(state.multithreaded)) CoUninitialize();
    state.apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(state.apartment)) CoUninitialize();
    return state;
}

// The plug-in's OLE calls, through the wrappers below.
int succeededInitializations = 0;
int uninitializations = 0;

HRESULT WINAPI countingOleInitialize(LPVOID reserved) {
    const HRESULT result = OleInitialize(reserved);
    if (result == S_OK || result == S_FALSE) ++succeededInitializations;
    return result;
}

void WINAPI countingOleUninitialize() {
    ++uninitializations;
    OleUninitialize();
}

// Points the module's imports of OleInitialize and OleUninitialize from ole32.dll at the
// counting wrappers. Answers how many entries it changed.
int redirectOleImports(HMODULE module) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return 0;
    int changed = 0;
    for (auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), "ole32.dll") != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base +
            (entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)
                    ->Name);
            void* wrapper = nullptr;
            if (std::strcmp(name, "OleInitialize") == 0) {
                wrapper = reinterpret_cast<void*>(&countingOleInitialize);
            } else if (std::strcmp(name, "OleUninitialize") == 0) {
                wrapper = reinterpret_cast<void*>(&countingOleUninitialize);
            } else {
                continue;
            }
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                                &protection)) {
                continue;
            }
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(wrapper);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            ++changed;
        }
    }
    return changed;
}

std::string describe(const ComState& state) {
    char text[96];
    std::snprintf(text, sizeof text, "multithreaded 0x%08lX, apartment 0x%08lX",
                  static_cast<unsigned long>(state.multithreaded),
                  static_cast<unsigned long>(state.apartment));
    return text;
}

}  // namespace

int runComCheck(const ComOptions& options) {
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (joined != S_OK) throw HostError("this thread cannot enter the multithreaded apartment");
    const ComState before = probe();
    if (before.multithreaded != S_FALSE || before.apartment != RPC_E_CHANGED_MODE) {
        throw HostError("unexpected COM answers before the plug-in: " + describe(before));
    }
    // Loaded first, so that its imports are redirected before its entry runs; the host's own
    // load below finds this module.
    HMODULE module = LoadLibraryExA(options.plugin.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) throw HostError("cannot load plug-in " + options.plugin);
    const int redirected = redirectOleImports(module);
    {
        const std::unique_ptr<cqhost::HostedPlugin> plugin = cqhost::openPlugin(options.plugin);
        plugin->start(cqscope::kDefaultSampleRate, cqhost::kBlockSize);
        const cqhost::EditorSize size = plugin->createEditor(cqhost::WindowApi::Win32);
        ParentWindow parent(size.width, size.height);
        plugin->openEditor(
            {cqhost::WindowApi::Win32, reinterpret_cast<std::uintptr_t>(parent.window)});
        HWND display = GetWindow(parent.window, GW_CHILD);
        if (display == nullptr) throw HostError("the editor opened no window in its parent");
        const auto idle = [&plugin] { plugin->idle(); };
        runMessageLoop(
            options.timeoutMs, "the display's refresh timer", idle,
            [display](const MSG& m) { return m.message == WM_TIMER && m.hwnd == display; });
        plugin->closeEditor();
        plugin->stop();
    }  // the plug-in and its editor are destroyed here
    FreeLibrary(module);
    const ComState after = probe();
    CoUninitialize();
    if (!(after == before)) {
        throw HostError("the plug-in changed this thread's COM state: before " + describe(before) +
                        ", after " + describe(after));
    }
    if (redirected > 0 && uninitializations > succeededInitializations) {
        throw HostError("the plug-in called OleUninitialize " + std::to_string(uninitializations) +
                        " times after " + std::to_string(succeededInitializations) +
                        " OleInitialize calls that succeeded");
    }
    std::printf("COM state kept: %s before and after the editor was created and destroyed\n",
                describe(after).c_str());
    std::printf(
        "OLE calls balanced: %d succeeded OleInitialize, %d OleUninitialize (%d imports "
        "counted)\n",
        succeededInitializations, uninitializations, redirected);
    return 0;
}

}  // namespace winhost
