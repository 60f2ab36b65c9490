// The firmware update window: shows the version carried in the program file, guides the
// user through the handshake with the radio, reads the radio's name and version and writes
// the image block by block with a progress gauge.
#pragma once

#include <cstdint>
#include <string>

#include "core/boot_link.h"
#include "core/update_session.h"
#include "winui/controls.h"
#include "winui/form.h"
#include "winui/gauge.h"
#include "winui/timer.h"

class TForm11 : public TForm {
public:
    TForm11();

    TMemo PM;
    TButton Button1;
    TGauge Gauge1;
    TLabel Label1;
    TLabel Label2;
    TTimer Timer1;
    TTimer Timer2;
    TLabel Label3;
    TLabel Label4;

    void Button1Click();
    void Timer1Timer();
    void Timer2Timer();
    // Runs the header read and shows its outcome; true when the read completed.
    bool ReadDeviceInfo();

protected:
    void CreateControls() override;
    void FormShow() override;
    void FormCreate() override;

private:
    // Appends the write's record line, as q42flash would write it for this radio, to the log.
    void LogWrite(WriteOutcome outcome, const SessionImage& image, const WriteTally& tally) const;

    // The image found at creation does not match its digest: "Update now" is never offered.
    bool image_damaged_ = false;
    // The radio's last complete header and when its read began, for the log of its write.
    DeviceHeader header_;
    uint64_t header_began_ms_ = 0;
};

extern TForm11* Form11;

// Appends one line to the update window's message list.
void AddMessage(const std::string& text);
