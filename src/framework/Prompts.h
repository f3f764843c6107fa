#pragma once
// Every modal prompt of the program goes through this interface, so tests answer from a script
// instead of blocking on a real box.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class MbIcon { None, Information, Exclamation, Stop, Question };
enum class MbButtons { Ok, OkCancel };
enum class MbResult { Ok, Cancel };

class Prompts {
public:
    virtual ~Prompts() = default;
    virtual MbResult MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                                MbButtons buttons) = 0;
    // filter in the "Name (*.x)|*.x|All Files (*.*)|*.*||" form; nothing when cancelled.
    virtual std::optional<std::string> OpenFileName(const std::string& filter,
                                                    const std::string& defaultExt) = 0;
    virtual std::optional<std::string> SaveFileName(const std::string& filter,
                                                    const std::string& defaultExt) = 0;
};

// Records every prompt and answers from queues: message boxes with OK when the queue is empty,
// file dialogs with "cancelled".
class ScriptedPrompts : public Prompts {
public:
    enum class Kind { Message, OpenFile, SaveFile };
    struct Record {
        Kind kind;
        std::string text;  // message text, or the filter for file dialogs
        std::string caption;
        MbIcon icon = MbIcon::None;
        MbButtons buttons = MbButtons::Ok;
        std::string defaultExt;
    };

    MbResult MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                        MbButtons buttons) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;

    std::vector<std::string> MessageTexts() const;
    void Clear() { records.clear(); }

    std::vector<Record> records;
    std::deque<MbResult> answers;
    std::deque<std::optional<std::string>> fileAnswers;
    // Runs while a prompt is "open", after it was recorded: a test can let time pass there.
    std::function<void(const Record&)> whileOpen;

private:
    std::optional<std::string> FileAnswer(Kind kind, const std::string& filter,
                                          const std::string& defaultExt);
};

// For unattended runs (--screenshot): every message goes to standard error and is answered with
// OK, every file dialog as cancelled, so nothing waits for an operator who is not there.
class UnattendedPrompts : public Prompts {
public:
    MbResult MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                        MbButtons buttons) override;
    std::optional<std::string> OpenFileName(const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<std::string> SaveFileName(const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
};
