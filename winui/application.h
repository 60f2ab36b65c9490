// The application object of the window layer: the title shown on the task bar and on every
// message box, the forms of the program, the message loops and the general error report.
// Everything here runs on the user-interface thread.
#pragma once

#include <windows.h>

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
    // form: closing it ends the program.
    template <class T>
    void CreateForm(T*& reference) {
        auto form = std::make_unique<T>();
        reference = form.get();
        forms_.push_back(std::move(form));
        if (main_form_ == nullptr) main_form_ = reference;
        reference->Create();
    }
    TForm* MainForm() const { return main_form_; }

    // Shows the main form and runs the message loop until it has closed; then destroys
    // the forms, last created first.
    void Run();

    // Waits for one message and handles it. False once WM_QUIT has been retrieved; a modal
    // loop posts it again, so that the loops around it end too.
    bool HandleMessage();
    // Handles every pending message, without waiting; stops at WM_QUIT, which stays queued.
    void ProcessMessages();

    // A modal message box with a single OK button, titled with the application title.
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
    void Dispatch(MSG& msg);
    HWND MessageOwner() const;

    HINSTANCE instance_ = nullptr;
    HWND handle_ = nullptr;  // owner of every form, without size; it carries the task bar button
    std::string title_;
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* main_form_ = nullptr;
};

extern TApplication Application;

// The full path of the running program file.
std::string ProgramFilePath();
