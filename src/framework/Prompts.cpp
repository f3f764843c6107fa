#include "framework/Prompts.h"

#include <cstdio>

MbResult ScriptedPrompts::MessageBox(const std::string& text, const std::string& caption,
                                     MbIcon icon, MbButtons buttons)
{
    records.push_back({Kind::Message, text, caption, icon, buttons, {}});
    if (whileOpen) {
        const Record open = records.back();  // the callback may prompt again
        whileOpen(open);
    }
    if (answers.empty())
        return MbResult::Ok;
    MbResult r = answers.front();
    answers.pop_front();
    return r;
}

std::optional<std::string> ScriptedPrompts::FileAnswer(Kind kind, const std::string& filter,
                                                       const std::string& defaultExt)
{
    records.push_back({kind, filter, {}, MbIcon::None, MbButtons::Ok, defaultExt});
    if (whileOpen) {
        const Record open = records.back();  // the callback may prompt again
        whileOpen(open);
    }
    if (fileAnswers.empty())
        return std::nullopt;
    auto r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

std::optional<std::string> ScriptedPrompts::OpenFileName(const std::string& filter,
                                                         const std::string& defaultExt)
{
    return FileAnswer(Kind::OpenFile, filter, defaultExt);
}

std::optional<std::string> ScriptedPrompts::SaveFileName(const std::string& filter,
                                                         const std::string& defaultExt)
{
    return FileAnswer(Kind::SaveFile, filter, defaultExt);
}

std::vector<std::string> ScriptedPrompts::MessageTexts() const
{
    std::vector<std::string> out;
    for (const auto& r : records)
        if (r.kind == Kind::Message)
            out.push_back(r.text);
    return out;
}

MbResult UnattendedPrompts::MessageBox(const std::string& text, const std::string& caption, MbIcon,
                                       MbButtons)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return MbResult::Ok;
}
