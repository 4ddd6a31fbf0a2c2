// The guard that stands wherever Qt hands an event or a user action to the wizard.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace framework {

// Called inside a catch block: shows the exception being handled in the error box (nothing
// for rtl::EAbort), or passes it to the application-wide hook when one is installed.
void HandleException() noexcept;

// Runs f and catches whatever it throws, so that no exception unwinds through Qt's frames.
template <class F>
void Guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
        HandleException();
    }
}

// Application-wide exception hook: when set, it receives the message instead of the error box.
// The wizard installs none.
using ExceptionHook = std::function<void(const std::string& message)>;
void SetExceptionHook(ExceptionHook hook);

}  // namespace framework
