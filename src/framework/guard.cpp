// Exception handling at the edge between Qt and the wizard.
#include "framework/guard.h"

#include <QWidget>

#include "framework/error_box.h"
#include "runtime/exceptions.h"

namespace framework {

namespace {
ExceptionHook& Hook() {
    static ExceptionHook hook;
    return hook;
}
}  // namespace

void SetExceptionHook(ExceptionHook hook) { Hook() = std::move(hook); }

void HandleException() noexcept {
    try {
        // A widget that holds the mouse would keep it through the modal box.
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
        std::string message;
        try {
            throw;
        } catch (const rtl::EAbort&) {
            return;
        } catch (const rtl::Exception& e) {
            message = e.Message();
        } catch (const std::bad_alloc&) {
            message = "Out of memory";
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            message = "Unknown exception";
        }
        if (Hook()) {
            Hook()(message);
        } else {
            ShowErrorBox(message);
        }
    } catch (...) {
        // Showing the error failed as well; there is nobody left to tell.
    }
}

}  // namespace framework
