// A periodic timer of a form (SetTimer on the form's window); OnTimer runs from the message
// loop, so also from the loops that handlers run themselves.
#pragma once

#include <windows.h>

#include <functional>

class TForm;

class TTimer {
public:
    TTimer() = default;
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    void Create(TForm& form, UINT_PTR id, UINT interval_ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    UINT_PTR Id() const { return id_; }
    void Tick();  // WM_TIMER of this timer

    std::function<void()> OnTimer;

private:
    TForm* form_ = nullptr;
    UINT_PTR id_ = 0;
    UINT interval_ms_ = 0;
    bool enabled_ = false;
};
