// The firmware update window. Timer2Timer and Button1Click run the message loop inside
// themselves while they wait for the radio; the state check at the start of Timer2Timer and
// "Update now" being disabled while either runs keep one from starting inside the other.
#include "update/update_window.h"

#include "core/q42_protocol.h"
#include "core/settings_value.h"
#include "core/sha256.h"
#include "core/update_lines.h"
#include "device/device_link.h"
#include "update/program_file.h"
#include "update/update_log.h"
#include "winui/application.h"

TForm11* Form11 = nullptr;

namespace {

constexpr UINT_PTR kLinkTimer = 1;
constexpr UINT_PTR kHeaderTimer = 2;

FormDesign UpdateDesign() {
    FormDesign design;
    design.class_name = "TForm11";
    design.caption = "Q42 Firmware update";
    design.left = 853;
    design.top = 219;
    design.width = 335;
    design.height = 368;
    design.position = FormPosition::Designed;
    design.colour = COLOR_BTNFACE;
    design.dialog_keys = true;
    return design;
}

// What Windows shows beside the program when a shut-down or log-off waits for it.
const wchar_t kUpdateRunning[] =
    L"A Q42 firmware update is running. Shutting down now could leave the radio unable to start.";

}  // namespace

void AddMessage(const std::string& text) { Form11->PM.Add(text); }

TForm11::TForm11() : TForm(UpdateDesign()) {}

void TForm11::CreateControls() {
    PM.Create(*this, 1101, Bounds{24, 32, 281, 225}, true);
    Button1.Create(*this, 1102, Bounds{232, 296, 75, 25}, "Update now", false);
    Button1.SetEnabled(false);
    Button1.OnClick = [this] { Button1Click(); };
    Gauge1.Create(*this, 1103, Bounds{24, 264, 281, 25});
    Label1.Create(*this, 1104, Bounds{24, 296, 0, 0}, "");
    Label2.Create(*this, 1105, Bounds{24, 312, 0, 0}, "");
    Timer1.Create(*this, kLinkTimer, kTickMs);
    Timer1.OnTimer = [this] { Timer1Timer(); };
    Timer2.Create(*this, kHeaderTimer, kLinkStepMs);
    Timer2.OnTimer = [this] { Timer2Timer(); };
    Label3.Create(*this, 1106, Bounds{24, 8, 0, 0}, kProgramVersionLabel);
    Label4.Create(*this, 1107, Bounds{232, 8, 0, 0}, "Label4");
}

void TForm11::FormCreate() {
    const LoadResult loaded = LoadFirmwareImage();
    Label4.SetCaption(loaded.found ? ProgramFirmware.ImageVersion() : "None");
    image_damaged_ = loaded.damaged;
}

void TForm11::FormShow() {
    // In place of "Switch on Q42": there is nothing the radio could be given.
    if (image_damaged_) {
        PM.Clear();
        AddMessage(kImageDamaged);
    }
    Timer1.SetEnabled(true);
    Timer2.SetEnabled(true);
    Link.RestartHandshake();
}

void TForm11::Timer1Timer() { Link.LinkTick(); }

void TForm11::Timer2Timer() {
    // The timers keep running after the window has closed; a handshake that settled just
    // before the close must not start a header read behind the user's back.
    if (!Link.UpdateActive || !Link.TakeSettled()) return;
    // "Update now" may still be enabled from an earlier opening; pressed while the header is
    // read, it would write a frame into the radio's reply. A complete read enables it again.
    Button1.SetEnabled(false);
    SessionHold hold(kUpdateRunning);
    header_began_ms_ = GetTickCount64();
    if (ReadDeviceInfo()) {
        PM.Clear();
        Button1.SetEnabled(!image_damaged_);
        AddMessage(image_damaged_ ? kImageDamaged : kReadyToProgram);
    } else {
        // The failure stays on screen and "Update now" is not offered; the radio's next
        // greeting starts the handshake again without reopening the window.
        Link.RestartHandshake();
    }
}

bool TForm11::ReadDeviceInfo() {
    PM.Clear();
    const DeviceHeader header = Link.ReadDeviceHeader();
    if (header.timed_out) {
        AddMessage(kCannotReadDevice);
        return false;
    }
    header_ = header;
    Label1.SetCaption(header.has_name ? kApplicationInUnit + header.name : kUnknownApplication);
    Label2.SetCaption(header.has_version ? kVersionLabel + header.version : kUnknownVersion);
    return true;
}

void TForm11::Button1Click() {
    Button1.SetEnabled(false);
    PM.Clear();
    if (Link.BootState != BootState::Active) {
        AddMessage(kBootloaderNotActive);
        return;
    }
    // Loaded afresh and checked against its digest again: the file may have changed since.
    const LoadResult loaded = LoadFirmwareImage();
    if (loaded.damaged) {
        AddMessage(kImageDamaged);
    } else if (!loaded.found) {
        AddMessage(kCannotLocateCode);
    } else {
        AddMessage(kSendingFirmware);
        Gauge1.SetProgress(0);
        Gauge1.SetMaxValue(loaded.length);
        SessionHold hold(kUpdateRunning);
        SessionImage image;
        image.bytes = ProgramFirmware.FirmwareImage;
        image.length = loaded.length;
        WriteTally tally;
        const WriteOutcome outcome =
            Link.WriteFirmware(image.bytes, image.length, [this, &image, &tally](int32_t value) {
                tally.AfterBlock(image, value);
                Gauge1.SetProgress(value);
            });
        if (outcome == WriteOutcome::Failed) {
            AddMessage(kWriteFailed);
        } else {
            Gauge1.SetProgress(Gauge1.MaxValue());
            for (const char* line : kClosingLines) AddMessage(line);
        }
        LogWrite(outcome, image, tally);
    }
    Link.RestartHandshake();
    Button1.SetEnabled(false);
    Timer1.SetEnabled(false);
    Timer2.SetEnabled(false);
}

void TForm11::LogWrite(WriteOutcome outcome, const SessionImage& image, const WriteTally& tally) const {
    RadioRecord record;
    record.port = ComPortName(CommsPortIndex);
    RecordHeader(record, header_);
    record.image_version = ProgramFirmware.ImageVersion();
    record.image_sha256 = Sha256Hex(image.bytes, static_cast<size_t>(image.length));
    record.frames = tally.frames;
    record.bytes = tally.bytes;
    record.seconds = static_cast<double>(GetTickCount64() - header_began_ms_) / 1000.0;
    // The link's host stops a write at its next frame once the program is ending.
    RecordWindowWrite(record, outcome, Application.Terminated(), Link);
    AppendToLog(record);
}
