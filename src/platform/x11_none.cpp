// The presenter where the library is built without X11: every window of a foreign parent
// lives off screen.
#include "platform/x11_presenter.h"

namespace cqp {

Presenter* openPresenter(std::uint32_t, int, int, int, int, bool) {
    return nullptr;
}
void closePresenter(Presenter*) {}
bool nextPresenterEvent(Presenter*, PresenterEvent&) {
    return false;
}
std::uint32_t* presenterPixels(Presenter*) {
    return nullptr;
}
void presentArea(Presenter*, const RECT&) {}
void showPresenter(Presenter*, bool) {}
std::uint32_t presenterWindow(const Presenter*) {
    return 0;
}
int presenterConnection(const Presenter*) {
    return -1;
}

std::uint32_t openHostXWindow(int, int, const char*) {
    return 0;
}
bool serviceHostXWindow(std::uint32_t) {
    return false;
}
void closeHostXWindow(std::uint32_t) {}

}  // namespace cqp
