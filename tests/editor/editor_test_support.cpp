#include "editor_test_support.h"

namespace editortest {

HostLog& hostLog() {
    static HostLog log;
    return log;
}

VstIntPtr VSTCALLBACK testHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    HostLog& log = hostLog();
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterIdle:
            ++log.idles;
            if (log.onIdle) log.onIdle();
            return 0;
        default:
            return 0;
    }
}

OpenEditor::OpenEditor(bool openNow) : effect(std::make_unique<TestEffect>()) {
    cqpSetManualClock(TRUE, 10000);
    editor = new VstGui(effect.get(), source);
    host = cqpCreateHostWindow(display::kWidth, display::kHeight);
    if (openNow) editor->open(host);
}

OpenEditor::~OpenEditor() {
    effect.reset();  // deletes the editor, open or not
    DestroyWindow(host);
    cqpSetManualClock(FALSE, 0);
}

Picture OpenEditor::refresh() {
    SendMessageA(display(), WM_TIMER, VstGui::kRefreshTimer, 0);
    return capture();
}

Picture OpenEditor::capture() {
    cqpPumpMessages(display());
    Picture picture;
    picture.pixels.assign(display::kWidth * display::kHeight, 0xDEADBEEF);
    EXPECT_TRUE(
        cqpReadWindowPixels(display(), picture.pixels.data(), display::kWidth, display::kHeight));
    return picture;
}

void OpenEditor::advance(DWORD milliseconds) {
    cqpAdvanceClock(milliseconds);
    cqpPumpMessages(display());
}

}  // namespace editortest
