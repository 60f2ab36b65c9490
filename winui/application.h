// The application object of the window layer: the title shown on the task bar and on every
// message box, the forms of the program, the message loops, closing and minimising the
// program as a whole, and the general error report.
// Everything here runs on the user-interface thread.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TForm;

class TApplication {
public:
    void Initialize(HINSTANCE instance);
    HINSTANCE Instance() const { return instance_; }
    HWND Handle() const { return handle_; }

    void SetTitle(const std::string& title);

    // Creates the form hidden and sets reference to it before its FormCreate runs, so that
    // whatever runs inside FormCreate already finds it. The first form created is the main
    // form: closing it ends the program. The reference is cleared when the form is destroyed.
    template <class T>
    void CreateForm(T*& reference) {
        auto form = std::make_unique<T>();
        reference = form.get();
        forms_.push_back(CreatedForm{std::move(form), [&reference] { reference = nullptr; }});
        if (main_form_ == nullptr) main_form_ = reference;
        reference->Create();
    }
    TForm* MainForm() const { return main_form_; }

    // Shows the main form and runs the message loop until the program is terminated; then
    // destroys the forms: the main form first, since the serial port it owns may still
    // notify the others while it closes, then the rest, last created first.
    void Run();

    // Set once a WM_QUIT has been retrieved. Every loop of the program ends on it and none
    // posts the quit again, so the timers keep ticking and a wait for the radio still ends
    // by its bytes or its time-out.
    bool Terminated() const { return terminated_; }
    // Waits for one message and handles it; does nothing once terminated.
    void HandleMessage();
    // Handles every pending message, without waiting; stops at WM_QUIT.
    void ProcessMessages();

    // A request to close the whole program (the task bar button's "Close window", or the
    // system ending the task): an open message box goes at once, the modal forms close
    // innermost first (each once the handler running inside it has returned), then the
    // main form, whose close saves and ends as the user's own close does.
    void CloseProgram();
    // Hides every window of the program behind its task bar button, as minimising the
    // main window does on Windows; the button brings them back with the modal form active.
    void Minimize();
    // What the task bar button does for a minimised program: the windows come back, and the
    // one that was active (the modal form, if one is open) is active again.
    void Restore();

    // Called by a form around its modal loop.
    void ModalStarted(TForm& form);
    void ModalEnded(TForm& form);
    // A modal form or a message box is up: the main form must not go under it.
    bool InsideModalLoop() const { return !modal_forms_.empty() || message_boxes_ > 0; }

    // While a hold is taken (a firmware write, a header read) the PC stays awake and a
    // shut-down or log-off is answered "not now", with the reason shown on the main form.
    void HoldSession(const wchar_t* reason);
    void ReleaseSession();
    bool SessionHeld() const { return session_holds_ > 0; }
    // The session is ending (shut-down or log-off not refused): the main form closes down
    // as its close does, once; Windows then ends the process.
    void EndSession();

    // A modal message box with a single OK button, titled with the application title. Texts
    // are UTF-8: a path in them keeps every character.
    void ShowMessage(const std::string& text);
    // The general error report: the failure's text in a message box; the program carries on.
    void ShowException(const std::string& text);
    // Runs fn, reporting anything that escapes it. Every window procedure goes through here,
    // so that no exception unwinds through Windows.
    template <class Fn>
    void Guard(Fn&& fn) {
        try {
            fn();
        } catch (const std::exception& e) {
            ShowException(e.what());
        } catch (...) {
            ShowException("Unknown failure");
        }
    }

private:
    struct CreatedForm {
        std::unique_ptr<TForm> form;
        std::function<void()> clear_reference;
    };

    void Dispatch(MSG& msg);
    HWND MessageOwner() const;
    void MessageBoxOnce(const std::string& text, UINT type);
    // The next step of a close request, taken whenever a modal loop has ended.
    void ContinueClosing();
    void DestroyForms();

    HINSTANCE instance_ = nullptr;
    HWND handle_ = nullptr;  // owner of every form, without size; it carries the task bar button
    std::string title_;
    std::vector<CreatedForm> forms_;
    TForm* main_form_ = nullptr;
    bool terminated_ = false;
    bool closing_ = false;             // a close request for the program is being carried out
    std::vector<TForm*> modal_forms_;  // outermost first
    int message_boxes_ = 0;
    HWND active_before_minimize_ = nullptr;
    int session_holds_ = 0;
    bool session_ended_ = false;
};

extern TApplication Application;

// Holds the session for as long as it exists, whatever way the work ends.
class SessionHold {
public:
    explicit SessionHold(const wchar_t* reason) { Application.HoldSession(reason); }
    ~SessionHold() { Application.ReleaseSession(); }
    SessionHold(const SessionHold&) = delete;
    SessionHold& operator=(const SessionHold&) = delete;
};

// The full path of the running program file.
std::wstring ProgramFilePath();
