// The bench window; see bench_window.h.
#include "shop/bench_window.h"

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "core/image_fit.h"
#include "core/printable_text.h"
#include "core/settings_value.h"
#include "core/update_lines.h"
#include "winports/present_ports.h"
#include "winports/wide_text.h"

namespace {

constexpr int kRowsTop = 236;
constexpr int kRowHeight = 26;
constexpr int kClientWidth = 776;
constexpr UINT_PTR kPollTimer = 1;
// Often enough that a gauge moves smoothly; the rows are only read, never waited on.
constexpr UINT kPollMs = 50;
constexpr int kFirstRowId = 1500;
constexpr int kRowIds = 8;
// A day's notes would make the window slow to redraw; the record keeps what matters.
constexpr size_t kNotesKept = 200;

const char kNotOpened[] = "not opened: see the notes above";

const wchar_t kBenchSection[] = L"Bench";
const wchar_t kRecordKey[] = L"Record";
const wchar_t kUntickedKey[] = L"Unticked";  // "COM5 COM7": the ports a technician left out
const wchar_t kRecordFile[] = L"\\Q42 bench record.jsonl";
const wchar_t kBenchRunning[] =
    L"The Q42 bench is writing firmware into radios. Shutting down now could leave a radio unable to start.";

// The height is set once the rows are known (FitHeightToRows).
FormDesign BenchDesign() {
    FormDesign design;
    design.class_name = "TFormBench";
    design.caption = "Q42 Bench";
    design.width = kClientWidth;
    design.height = kRowsTop;
    design.size = FormSize::Client;
    design.position = FormPosition::ScreenCenter;
    design.colour = COLOR_BTNFACE;
    design.dialog_keys = true;
    return design;
}

std::string ComName(unsigned number) { return "COM" + std::to_string(number); }

std::vector<unsigned> PresentPortNumbers() {
    std::vector<unsigned> numbers;
    for (const ListedPort& port : ReadPresentPorts()) {
        if (port.number != 0) numbers.push_back(port.number);
    }
    return numbers;
}

std::string ReadSetting(const std::wstring& settings, const std::wstring& key, const std::string& otherwise) {
    wchar_t value[1024];
    const DWORD capacity = static_cast<DWORD>(std::size(value));
    const DWORD length = GetPrivateProfileStringW(kBenchSection, key.c_str(), L"", value, capacity, settings.c_str());
    // A value cut to fit is not the one stored.
    if (length == 0 || length + 1 >= capacity) return otherwise;
    return Utf8FromSettingsText(Utf8FromWide(value));
}

// The user's documents folder, where a record is looked for first.
std::string DefaultRecordPath() {
    wchar_t folder[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return "";
    return Utf8FromWide(std::wstring(folder) + kRecordFile);
}

// "Image: Q42NAV V2.000, 84 frames, SHA-256 3fa91c02be7d"
std::string ImageLine(const CarriedImage& carried) {
    if (carried.damaged) return kImageDamaged;
    const SessionImage& image = carried.image;
    if (image.length == 0) return kCannotLocateCode;
    std::string name;
    if (!ImageName(image.bytes, image.length, &name)) name = "(no application name)";
    return "Image: " + PrintableText(name) + " " + PrintableText(image.version) + ", " +
           std::to_string(image.FramesToSend()) + " frames, SHA-256 " + image.sha256.substr(0, 12);
}

}  // namespace

TFormBench::TFormBench(std::wstring settings, CarriedImage carried)
    : TForm(BenchDesign()), settings_(std::move(settings)), carried_(std::move(carried)) {}

void TFormBench::CreateControls() {
    unticked_ = ReadSetting(settings_, kUntickedKey, "");
    image_line_.Create(*this, 1401, Bounds{8, 8, 0, 0}, ImageLine(carried_));
    record_caption_.Create(*this, 1409, Bounds{8, 36, 0, 0}, "Record:");
    record_.Create(*this, 1402, Bounds{64, 32, 560, 22}, ReadSetting(settings_, kRecordKey, DefaultRecordPath()));
    choose_record_.Create(*this, 1403, Bounds{632, 31, 136, 25}, "Record file...", false);
    choose_record_.OnClick = [this] { ChooseRecordClick(); };
    skip_current_.Create(*this, 1404, Bounds{8, 64, 300, 20}, "Leave radios already current", false);
    start_.Create(*this, 1405, Bounds{608, 62, 75, 25}, "Start", true);
    start_.OnClick = [this] { StartClick(); };
    stop_.Create(*this, 1406, Bounds{693, 62, 75, 25}, "Stop", false);
    stop_.OnClick = [this] { StopClick(); };
    stop_.SetEnabled(false);
    start_.SetEnabled(carried_.image.length > 0 && !carried_.damaged);
    count_line_.Create(*this, 1407, Bounds{8, 94, 592, 16}, "", LabelStyle{false});
    notes_.Create(*this, 1408, Bounds{8, 116, 760, 92}, true);
    const Bounds headings[] = {{8, 216, 0, 0}, {88, 216, 0, 0}, {216, 216, 0, 0}, {528, 216, 0, 0}, {640, 216, 0, 0}};
    const char* const titles[] = {"Port", "Name", "State", "Progress", "Label"};
    for (size_t i = 0; i < std::size(headings_); ++i) headings_[i].Create(*this, 0, headings[i], titles[i]);
    poll_.Create(*this, kPollTimer, kPollMs);
    poll_.OnTimer = [this] { Poll(); };
    AddRowsForPresentPorts();
    FitHeightToRows();
}

void TFormBench::FormShow() { poll_.SetEnabled(true); }

TFormBench::Row& TFormBench::AddRow(unsigned number) {
    auto row = std::make_unique<Row>();
    row->number = number;
    row->device = ComName(number);
    const int index = static_cast<int>(rows_.size());
    const int top = kRowsTop + index * kRowHeight;
    const int id = kFirstRowId + index * kRowIds;
    const std::wstring key = WideFromUtf8(row->device);
    // Every port is ticked the first time: a ticked port where no radio comes only listens.
    const bool unticked = (" " + unticked_ + " ").find(" " + row->device + " ") != std::string::npos;
    row->tick.Create(*this, id, Bounds{8, top + 2, 76, 20}, row->device, !unticked);
    row->name.Create(*this, id + 1, Bounds{88, top, 120, 22}, ReadSetting(settings_, key, ""));
    row->state.Create(*this, id + 2, Bounds{216, top + 4, 304, 16}, "", LabelStyle{false});
    row->gauge.Create(*this, id + 3, Bounds{528, top + 2, 104, 20});
    row->label.Create(*this, id + 4, Bounds{640, top, 128, 22}, "");
    Row* added = row.get();
    row->label.OnChange = [this, added] {
        if (added->bench >= 0) bench_.SetLabel(static_cast<size_t>(added->bench), added->label.Text());
    };
    rows_.push_back(std::move(row));
    return *added;
}

void TFormBench::AddRowsForPresentPorts() {
    const std::vector<unsigned> present = PresentPortNumbers();
    bool added = false;
    for (const auto& row : rows_) {
        row->present = std::find(present.begin(), present.end(), row->number) != present.end();
        // A row stays while its converter is away, so that its name and label are kept.
        if (!bench_.Running()) row->tick.SetEnabled(row->present);
        if (!row->present && row->bench < 0) row->state.SetCaption("not present");
        if (row->present && row->bench < 0 && row->state.Caption() == "not present") row->state.SetCaption("");
    }
    for (const unsigned number : present) {
        const bool known =
            std::any_of(rows_.begin(), rows_.end(), [number](const auto& row) { return row->number == number; });
        if (known) continue;
        Row& row = AddRow(number);
        // A port that comes while the bench runs joins at the next Start.
        if (bench_.Running()) row.tick.SetEnabled(false);
        added = true;
    }
    if (added) FitHeightToRows();
}

void TFormBench::FitHeightToRows() {
    SetDesignClientHeight(kRowsTop + static_cast<int>(rows_.size()) * kRowHeight + 8);
}

void TFormBench::FormDeviceChange() { AddRowsForPresentPorts(); }

void TFormBench::SaveSettings() {
    // A setting that cannot be kept is no reason to stop a bench: it is only typed again.
    const auto stored = [](const std::string& text) { return WideFromUtf8(SettingsTextFromUtf8(text)); };
    WritePrivateProfileStringW(kBenchSection, kRecordKey, stored(record_.Text()).c_str(), settings_.c_str());
    std::string unticked;
    for (const auto& row : rows_) {
        if (!row->tick.Checked()) unticked += (unticked.empty() ? "" : " ") + row->device;
    }
    WritePrivateProfileStringW(kBenchSection, kUntickedKey, unticked.empty() ? nullptr : stored(unticked).c_str(),
                               settings_.c_str());
    for (const auto& row : rows_) {
        const std::string name = row->name.Text();
        WritePrivateProfileStringW(kBenchSection, WideFromUtf8(row->device).c_str(),
                                   name.empty() ? nullptr : stored(name).c_str(), settings_.c_str());
    }
}

void TFormBench::SetIdleControls(bool idle) {
    start_.SetEnabled(idle && carried_.image.length > 0 && !carried_.damaged);
    stop_.SetEnabled(!idle);
    record_.SetEnabled(idle);
    choose_record_.SetEnabled(idle);
    skip_current_.SetEnabled(idle);
    for (const auto& row : rows_) {
        row->tick.SetEnabled(idle && row->present);
        row->name.SetEnabled(idle);
    }
}

void TFormBench::StartClick() {
    if (bench_.Running()) return;
    SaveSettings();
    std::vector<TickedPort> ticked;
    for (const auto& row : rows_) {
        if (row->present && row->tick.Checked()) ticked.push_back(TickedPort{row->device, row->name.Text()});
    }
    if (ticked.empty()) {
        AddNote("Tick the ports that the radios are on, then Start.");
        return;
    }
    std::string error;
    if (!bench_.Start(ticked, skip_current_.Checked(), carried_.image, record_.Text(), error)) {
        AddNote(error);
        return;
    }
    mapped_ = false;
    for (const auto& row : rows_) {
        row->bench = -1;
        row->state.SetCaption(row->present && row->tick.Checked() ? "opening the port" : "");
        row->gauge.SetProgress(0);
    }
    SetIdleControls(false);
}

void TFormBench::MapRows() {
    // The notes say why a ticked port could not be opened.
    const std::vector<std::string>& devices = bench_.Devices();
    for (const auto& row : rows_) {
        const auto at = std::find(devices.begin(), devices.end(), row->device);
        row->bench = at == devices.end() ? -1 : static_cast<int>(at - devices.begin());
        if (row->bench >= 0) bench_.SetLabel(static_cast<size_t>(row->bench), row->label.Text());
        if (row->bench < 0 && row->present && row->tick.Checked()) row->state.SetCaption(kNotOpened);
    }
    mapped_ = true;
}

void TFormBench::StopClick() {
    if (!bench_.Running()) return;
    bench_.RequestStop();
    if (bench_.Stops() >= 2) stop_.SetEnabled(false);
}

void TFormBench::ChooseRecordClick() {
    wchar_t path[MAX_PATH] = {};
    const std::wstring current = WideFromUtf8(record_.Text());
    current.copy(path, std::size(path) - 1);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = L"Record (*.jsonl)\0*.jsonl\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(std::size(path));
    dialog.lpstrDefExt = L"jsonl";
    // The record is appended to: an existing file is the point, not a danger.
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetSaveFileNameW(&dialog)) record_.SetText(Utf8FromWide(path));
}

void TFormBench::AddNote(const std::string& text) { AddNotes({text}); }

void TFormBench::AddNotes(const std::vector<std::string>& texts) {
    kept_notes_.insert(kept_notes_.end(), texts.begin(), texts.end());
    if (kept_notes_.size() > kNotesKept) {
        kept_notes_.erase(kept_notes_.begin(), kept_notes_.end() - static_cast<std::ptrdiff_t>(kNotesKept));
    }
    notes_.SetLines(kept_notes_);
    notes_.ScrollToEnd();
}

void TFormBench::TakeNews() {
    std::vector<std::string> notes = bench_.TakeStartNotes();
    if (!mapped_ && bench_.Opened()) MapRows();
    BenchRows* rows = bench_.Rows();
    if (rows != nullptr) {
        BenchNews news = rows->Take();
        for (const auto& [bench, view] : news.rows) {
            for (const auto& row : rows_) {
                if (row->bench != static_cast<int>(bench)) continue;
                row->state.SetCaption(view.state);
                row->gauge.SetProgress(view.percent);
            }
        }
        notes.insert(notes.end(), news.notes.begin(), news.notes.end());
        if (news.count_changed) count_line_.SetCaption(news.count_line);
    }
    // One redraw of the notes for all that came since the last look.
    if (!notes.empty()) AddNotes(notes);
    for (const size_t used : bench_.TakeUsedLabels()) {
        for (const auto& row : rows_) {
            if (row->bench == static_cast<int>(used)) row->label.SetText("");
        }
    }
}

void TFormBench::Poll() {
    if (!bench_.Running()) return;
    TakeNews();
    const bool writing = bench_.Writes() > 0;
    if (writing && !hold_) hold_.emplace(kBenchRunning);
    if (!writing && hold_) {
        hold_.reset();
        // Every ticked port is idle again: the technician may be at another bench.
        MessageBeep(MB_OK);
    }
    if (bench_.TakeEnd()) Ended();
}

void TFormBench::Ended() {
    TakeNews();
    hold_.reset();
    // No port could be opened: the notes say why.
    if (!mapped_) {
        for (const auto& row : rows_) {
            if (row->present && row->tick.Checked()) row->state.SetCaption(kNotOpened);
        }
    }
    for (const auto& row : rows_) row->bench = -1;
    SetIdleControls(true);
    if (close_when_over_) Close();
}

void TFormBench::SessionEnds() {
    // Windows waits 5 s for the program; a frame takes 1.1 s at the link's rate.
    constexpr DWORD kFramesEndMs = 3000;
    bench_.StopNowAndWait(kFramesEndMs);
    SaveSettings();
}

void TFormBench::FormCloseQuery(bool& can_close) {
    if (bench_.Running()) {
        // As Stop's first press: the writes end whole, and the window closes after them.
        can_close = false;
        close_when_over_ = true;
        if (bench_.Stops() == 0) bench_.RequestStop();
        AddNote("The window closes once the writes under way have ended.");
        return;
    }
    poll_.SetEnabled(false);
    SaveSettings();
}
