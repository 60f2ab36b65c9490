// The bench window: a service shop's many radios at once, each port a row with its tick box,
// its bench name, its state in the board's words, its write's gauge and a label field for a
// scanner; Start, Stop, the count line and the bench's notes. The bench itself runs on a
// thread of its own (window_bench.h); this window reads its rows on a timer.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/update_session.h"
#include "shop/window_bench.h"
#include "winui/application.h"
#include "winui/controls.h"
#include "winui/form.h"
#include "winui/gauge.h"
#include "winui/timer.h"

// The image the program carries, as the main window loaded it.
struct CarriedImage {
    SessionImage image;  // bytes and length, version and SHA-256; length 0 when there is none
    bool damaged = false;
};

class TFormBench : public TForm {
public:
    // settings: the settings file, whose "Bench" section keeps the names and the record's path.
    TFormBench(std::wstring settings, CarriedImage carried);
    // Windows ends the program after this: the writes stop at their next frame and their
    // lines are recorded, in the seconds Windows gives.
    void SessionEnds();

protected:
    void CreateControls() override;
    void FormShow() override;
    void FormCloseQuery(bool& can_close) override;
    void FormDeviceChange() override;

private:
    struct Row {
        unsigned number = 0;  // COM<number>
        std::string device;
        TCheckBox tick;
        TEdit name;
        TLabel state;
        TGauge gauge;
        TEdit label;
        bool present = true;
        int bench = -1;  // its place among the bench's ports while it runs, else -1
    };

    void AddRowsForPresentPorts();
    Row& AddRow(unsigned number);
    void FitHeightToRows();
    void StartClick();
    void StopClick();
    void ChooseRecordClick();
    void Poll();
    void TakeNews();
    void Ended();
    void SaveSettings();
    void SetIdleControls(bool idle);
    void AddNote(const std::string& text);
    void AddNotes(const std::vector<std::string>& texts);
    // The bench's ports are open: each row learns its place among them.
    void MapRows();

    std::wstring settings_;
    std::string unticked_;  // as the settings kept it when the window opened
    CarriedImage carried_;
    TLabel image_line_;
    TLabel record_caption_;
    TEdit record_;
    TButton choose_record_;
    TCheckBox skip_current_;
    TButton start_;
    TButton stop_;
    TLabel count_line_;
    TMemo notes_;
    std::vector<std::string> kept_notes_;  // the newest, as many as the notes show
    TLabel headings_[5];
    TTimer poll_;
    std::vector<std::unique_ptr<Row>> rows_;
    WindowBench bench_;
    std::optional<SessionHold> hold_;
    bool close_when_over_ = false;
    bool mapped_ = false;  // the rows know their places among the bench's ports
};
