// Every question the windows put to the user, and the desktop's opener,
// behind one small interface: the program answers through Qt's dialogs, the
// tests through a script of their own that also counts the calls.
#pragma once

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <optional>
#include <string>

class QWidget;

class TPrompts
{
public:
    enum class TKind { Information, Warning, Error };

    virtual ~TPrompts() = default;

    // A box with its text and one OK button, captioned with the program's name.
    virtual void Message(const std::string& Text, TKind Kind = TKind::Information) = 0;
    // A Yes / No question; true for Yes.
    virtual bool Confirm(const std::string& Text) = 0;
    // A one-line answer typed by the user, or nothing when they cancel. The
    // caption names what the answer is for, so the box shows it whole.
    virtual std::optional<std::string> InputBox(const std::string& Caption, const std::string& Prompt,
                                                const std::string& Default) = 0;
    // A folder chosen by the user, or nothing when they cancel. Text tells
    // them what to choose.
    virtual std::optional<std::string> BrowseFolder(const std::string& Text) = 0;
    // A web address or a file handed to the desktop's opener. Returns at
    // once; when the opener cannot open it, the reason is shown in an error
    // box whenever it is known.
    virtual void OpenUrl(const std::string& Url) = 0;
};

// The desktop's opener (OpenUrl of LogWriter.h), whose verdict takes up to
// two seconds, waited for away from the window's thread. A failure reaches
// OnFailure, with its reason in French, on the thread that made this object.
class TDesktopOpener
{
public:
    explicit TDesktopOpener(std::function<void(const std::string& Reason)> OnFailure);
    // Waits for the verdicts still due; a failure among them is not reported.
    ~TDesktopOpener();
    TDesktopOpener(const TDesktopOpener&) = delete;
    TDesktopOpener& operator=(const TDesktopOpener&) = delete;

    // Starts the opener on Url and returns at once.
    void Open(const std::string& Url);

private:
    std::function<void(const std::string& Reason)> FOnFailure;
    QObject FReceiver;    // the failures are queued to it; gone with it when not yet run
    QThreadPool FWaiters; // the threads that wait for the verdicts, owned here
};

// The program's answers: Qt's dialogs over the active window, xdg-open.
class TQtPrompts : public TPrompts
{
public:
    TQtPrompts();

    void Message(const std::string& Text, TKind Kind) override;
    bool Confirm(const std::string& Text) override;
    std::optional<std::string> InputBox(const std::string& Caption, const std::string& Prompt,
                                        const std::string& Default) override;
    std::optional<std::string> BrowseFolder(const std::string& Text) override;
    void OpenUrl(const std::string& Url) override;

private:
    TDesktopOpener FOpener;
};
