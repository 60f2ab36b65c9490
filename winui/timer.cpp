// Timers of the window layer.
#include "winui/timer.h"

#include <stdexcept>
#include <string>

#include "winui/form.h"

TTimer::~TTimer() {
    if (enabled_ && form_ != nullptr && form_->Handle() != nullptr) KillTimer(form_->Handle(), id_);
}

void TTimer::Create(TForm& form, UINT_PTR id, UINT interval_ms) {
    form_ = &form;
    id_ = id;
    interval_ms_ = interval_ms;
    form.AddTimer(*this);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) {
        if (SetTimer(form_->Handle(), id_, interval_ms_, nullptr) == 0) {
            const DWORD error = GetLastError();
            enabled_ = false;
            throw std::runtime_error("Cannot start a timer (Error: " + std::to_string(error) + ")");
        }
    } else {
        KillTimer(form_->Handle(), id_);
    }
}

void TTimer::Tick() {
    if (enabled_ && OnTimer) OnTimer();
}
