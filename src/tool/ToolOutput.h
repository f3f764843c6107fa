#pragma once
// What the tool prints: one human line, or with --json one JSON object per line (schema
// version kJsonSchema), for every result and error.

#include <iosfwd>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "protocol/PanelState.h"
#include "timing/TimeRecord.h"

inline constexpr int kJsonSchema = 1;

// A field's value: a word or text, a whole number, or a time in milliseconds (0.1 ms steps).
struct Millis {
    double ms;
};
using FieldValue = std::variant<std::string, long long, Millis>;
using Fields = std::vector<std::pair<std::string, FieldValue>>;

class ToolOutput {
public:
    ToolOutput(std::ostream& out, std::ostream& err, bool json)
        : m_out(out), m_err(err), m_json(json)
    {
    }
    bool Json() const { return m_json; }
    // The shell: every answer and error on one line of standard output.
    void SetOneLine(bool on) { m_oneLine = on; }
    // A result: "type" names it; humans get "name: value" lines, one per field.
    void Result(const std::string& type, const Fields& fields);
    // Errors go to standard error, and to standard output as a JSON line with --json.
    void Error(const std::string& errorClass, const std::string& message);
    // A long wait's progress: one line on standard error, redrawn in place, and only when that
    // is a terminal (a script's log gets none of it).
    void SetProgressTerminal(bool on) { m_progressTerminal = on; }
    void Progress(const std::string& text);
    void EndProgress();

private:
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_json;
    bool m_oneLine = false;
    bool m_progressTerminal = false;
    std::string m_progress;  // the line shown, if any
};

std::string JsonQuote(const std::string& text);
// "0:00:01.5003": hours, minutes, seconds, and the milliseconds with their tenth.
std::string FormatMillis(double ms);

Millis RecordMillis(const TimeRecord& record);
// Every setting the status reply gives, decoded into the panel's fields.
Fields StatusFields(const PanelState& panel);
