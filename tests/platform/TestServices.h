// Services a test answers itself in place of a person and the desktop:
// message boxes, sounds, the folder, file and colour dialogs, opening with
// the desktop, starting programs, the program folder and the main window's
// exit wait. Installed while the object lives; the services installed before
// it are installed again when it goes.
//
// What the test has not given an answer for goes to the services installed
// before, so that objects nest: a fixture's program folder stays while one
// test answers message boxes of its own. An empty answer (or "" for the
// folder) goes back to the services before.
#pragma once

#include "platform/commdlg.h"
#include "platform/services.h"
#include "platform/shell.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

class TestServices {
public:
    using MessageBoxAnswer = std::function<int(HWND owner, const CString& text, const CString& caption, UINT type)>;
    using SoundAnswer = std::function<void(const char* file)>;
    using FolderAnswer = std::function<CString(const CString& title)>;
    // Gets the filter and flags the dialog was made with; returns the chosen
    // path or "" for a cancelled dialog.
    using FileAnswer = std::function<CString(const CString& filter, DWORD flags)>;
    // Gets the colour shown first, may change it; returns IDOK or IDCANCEL.
    using ColorAnswer = std::function<int(COLORREF& color)>;
    // Returns whether the handler started.
    using OpenAnswer = std::function<bool(const CString& verb, const CString& file, const CString& params,
                                          const CString& dir, int show)>;
    using StartAnswer = std::function<UINT(const CString& commandLine, UINT show)>;

    TestServices() : answers_(std::make_shared<Answers>(lumui::GetServices()))
    {
        before_ = lumui::InstallServices(answers_);
    }
    ~TestServices() { lumui::InstallServices(before_); }
    TestServices(const TestServices&) = delete;
    TestServices& operator=(const TestServices&) = delete;

    void SetMessageBox(MessageBoxAnswer answer) { answers_->Set(answers_->messageBox, std::move(answer)); }
    // Sounds asked for are handed to `answer` and count as played.
    void SetSound(SoundAnswer answer) { answers_->Set(answers_->sound, std::move(answer)); }
    void SetFolderDialog(FolderAnswer answer) { answers_->Set(answers_->folder, std::move(answer)); }
    void SetFileDialog(FileAnswer answer) { answers_->Set(answers_->file, std::move(answer)); }
    void SetColorDialog(ColorAnswer answer) { answers_->Set(answers_->color, std::move(answer)); }
    void SetShellExecute(OpenAnswer answer) { answers_->Set(answers_->open, std::move(answer)); }
    void SetStartProgram(StartAnswer answer) { answers_->Set(answers_->start, std::move(answer)); }
    // The program folder; a '/' is added when it does not end in one.
    void SetProgramFolder(std::string folder)
    {
        if (!folder.empty() && folder.back() != '/') folder += '/';
        answers_->Set(answers_->programFolder, std::move(folder));
    }
    void SetExitWaitMs(DWORD ms) { answers_->Set(answers_->exitWaitMs, std::optional<DWORD>(ms)); }

private:
    // The installed object. Answers are copied out under the lock and run
    // outside it, as callers on several threads may ask at once.
    struct Answers : lumui::Services {
        explicit Answers(std::shared_ptr<lumui::Services> before) : before(std::move(before)) {}

        template <class T>
        void Set(T& slot, T value)
        {
            std::lock_guard<std::mutex> guard(lock);
            slot = std::move(value);
        }
        template <class T>
        T Get(const T& slot)
        {
            std::lock_guard<std::mutex> guard(lock);
            return slot;
        }

        int ShowMessageBox(HWND owner, const CString& text, const CString& caption, UINT type) override
        {
            if (auto answer = Get(messageBox)) return answer(owner, text, caption, type);
            return before->ShowMessageBox(owner, text, caption, type);
        }
        BOOL PlaySoundFile(const char* file) override
        {
            if (auto answer = Get(sound)) {
                answer(file);
                return TRUE;
            }
            return before->PlaySoundFile(file);
        }
        CString ChooseFolder(HWND owner, const CString& title) override
        {
            if (auto answer = Get(folder)) return answer(title);
            return before->ChooseFolder(owner, title);
        }
        CString ChooseFile(const CFileDialog& dialog) override
        {
            if (auto answer = Get(file)) return answer(dialog.m_strFilter, dialog.m_dwFlags);
            return before->ChooseFile(dialog);
        }
        int ChooseColor(HWND owner, COLORREF& value) override
        {
            if (auto answer = Get(color)) return answer(value);
            return before->ChooseColor(owner, value);
        }
        int OpenWithDesktop(const CString& verb, const CString& path, const CString& params, const CString& dir,
                            int show) override
        {
            if (auto answer = Get(open)) return answer(verb, path, params, dir, show) ? 42 : SE_ERR_NOASSOC;
            return before->OpenWithDesktop(verb, path, params, dir, show);
        }
        UINT StartProgram(const CString& commandLine, UINT show) override
        {
            if (auto answer = Get(start)) return answer(commandLine, show);
            return before->StartProgram(commandLine, show);
        }
        CString ProgramFolder() override
        {
            const std::string folder = Get(programFolder);
            return folder.empty() ? before->ProgramFolder() : CString(folder);
        }
        DWORD ExitWaitMs() override
        {
            const std::optional<DWORD> ms = Get(exitWaitMs);
            return ms ? *ms : before->ExitWaitMs();
        }

        const std::shared_ptr<lumui::Services> before;
        std::mutex lock;
        MessageBoxAnswer messageBox;
        SoundAnswer sound;
        FolderAnswer folder;
        FileAnswer file;
        ColorAnswer color;
        OpenAnswer open;
        StartAnswer start;
        std::string programFolder;
        std::optional<DWORD> exitWaitMs;
    };

    std::shared_ptr<Answers> answers_;
    std::shared_ptr<lumui::Services> before_;
};
