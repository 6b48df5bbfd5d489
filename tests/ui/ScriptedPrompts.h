// The windows' questions answered by a script, and every call recorded, so
// that a test sees what the user would have seen without a modal loop.
#pragma once

#include "Prompts.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TScriptedPrompts : public TPrompts
{
public:
    struct TCall
    {
        std::string Kind;      // "Message", "Confirm", "InputBox", "BrowseFolder", "OpenUrl"
        std::string Text;      // the message, question, prompt or address
        std::string Caption{}; // the input box's caption
        bool operator==(const TCall&) const = default;
    };

    void Message(const std::string& Text, TKind) override { Calls.push_back({"Message", Text}); }
    bool Confirm(const std::string& Text) override
    {
        Calls.push_back({"Confirm", Text});
        return Take(ConfirmAnswers, false);
    }
    std::optional<std::string> InputBox(const std::string& Caption, const std::string& Prompt,
                                        const std::string&) override
    {
        Calls.push_back({"InputBox", Prompt, Caption});
        return Take(InputAnswers, {});
    }
    std::optional<std::string> BrowseFolder(const std::string& Text) override
    {
        Calls.push_back({"BrowseFolder", Text});
        return Take(FolderAnswers, {});
    }
    void OpenUrl(const std::string& Url) override
    {
        Calls.push_back({"OpenUrl", Url});
        if (Opener)
            Opener(Url);
    }

    std::vector<std::string> Texts(const std::string& Kind) const
    {
        std::vector<std::string> Result;
        for (const TCall& Call : Calls)
            if (Call.Kind == Kind)
                Result.push_back(Call.Text);
        return Result;
    }
    void Reset() { *this = TScriptedPrompts(); }

    std::vector<TCall> Calls;
    // Answers given in order; once used up, Confirm says No and the others cancel.
    std::deque<bool> ConfirmAnswers;
    std::deque<std::optional<std::string>> InputAnswers, FolderAnswers;
    // When set, OpenUrl also hands the address on to it, as the program's
    // prompts hand it to the desktop's opener.
    std::function<void(const std::string&)> Opener;

private:
    template <class T> static T Take(std::deque<T>& Answers, T Otherwise)
    {
        if (!Answers.empty()) {
            Otherwise = std::move(Answers.front());
            Answers.pop_front();
        }
        return Otherwise;
    }
};

// The one script the test program's application reports its errors to.
TScriptedPrompts& TestPrompts();
