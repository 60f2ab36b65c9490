// A horizontal progress gauge that also shows how much is done as "NN%". It is a real
// progress bar (msctls_progress32) whose range and position are the gauge's own values,
// with the percentage drawn over it.
#pragma once

#include <windows.h>

#include "winui/controls.h"

// Percentage of [min_value, max_value] that progress has reached; 0 for an empty range.
int PercentDone(int min_value, int max_value, int progress);

class TGauge : public TControl {
public:
    void Create(TForm& form, int id, const Bounds& bounds);
    ~TGauge() override;

    int MaxValue() const { return max_value_; }
    // A maximum below the minimum is refused, as an invalid design.
    void SetMaxValue(int value);
    int Progress() const { return progress_; }
    // Held within the minimum and the maximum.
    void SetProgress(int value);

private:
    static LRESULT CALLBACK PaintPercent(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                         DWORD_PTR self);
    void Apply();

    int min_value_ = 0;
    int max_value_ = 100;
    int progress_ = 0;
};
