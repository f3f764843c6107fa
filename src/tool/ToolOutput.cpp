#include "tool/ToolOutput.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <ostream>

#include "protocol/DecoderState.h"
#include "timing/IntegerReading.h"

std::string JsonQuote(const std::string& text)
{
    std::string quoted = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

std::string FormatMillis(double ms)
{
    const long long tenths = std::llround(ms * 10);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%04lld", tenths / 36000000,
                  tenths / 600000 % 60, tenths / 10000 % 60, tenths % 10000);
    return text;
}

namespace {

std::string JsonValue(const FieldValue& value)
{
    if (const auto* text = std::get_if<std::string>(&value))
        return JsonQuote(*text);
    if (const auto* number = std::get_if<long long>(&value))
        return std::to_string(*number);
    char text[48];
    std::snprintf(text, sizeof text, "%.1f", std::get<Millis>(value).ms);
    return text;
}

std::string HumanValue(const FieldValue& value)
{
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    if (const auto* number = std::get_if<long long>(&value))
        return std::to_string(*number);
    return FormatMillis(std::get<Millis>(value).ms);
}

}  // namespace

void ToolOutput::Result(const std::string& type, const Fields& fields)
{
    EndProgress();
    if (m_json) {
        m_out << "{\"schema\":" << kJsonSchema << ",\"type\":" << JsonQuote(type);
        for (const auto& [name, value] : fields)
            m_out << ',' << JsonQuote(name) << ':' << JsonValue(value);
        m_out << "}\n";
    } else if (m_oneLine && type != "event") {
        m_out << type;
        for (const auto& [name, value] : fields) m_out << ' ' << name << '=' << HumanValue(value);
        m_out << '\n';
    } else if (type == "event" && !fields.empty()) {
        // An event is one line: what happened, then its details.
        m_out << HumanValue(fields.front().second);
        for (auto at = fields.begin() + 1; at != fields.end(); ++at)
            m_out << ' ' << at->first << '=' << HumanValue(at->second);
        m_out << '\n';
    } else if (fields.empty()) {
        m_out << type << '\n';
    } else {
        for (const auto& [name, value] : fields) m_out << name << ": " << HumanValue(value) << '\n';
    }
    m_out.flush();
}

void ToolOutput::Error(const std::string& errorClass, const std::string& message)
{
    EndProgress();
    if (m_oneLine && !m_json) {
        std::string line = message;
        for (char& c : line)
            if (c == '\n')
                c = ' ';
        m_out << "error class=" << errorClass << " message=" << line << std::endl;
        return;
    }
    m_err << "quillonctl: " << message << std::endl;
    if (m_json) {
        m_out << "{\"schema\":" << kJsonSchema
              << ",\"type\":\"error\",\"class\":" << JsonQuote(errorClass)
              << ",\"message\":" << JsonQuote(message) << "}" << std::endl;
    }
}

void ToolOutput::Progress(const std::string& text)
{
    if (!m_progressTerminal || text == m_progress)
        return;
    m_progress = text;
    m_err << '\r' << text << "\x1b[K" << std::flush;
}

void ToolOutput::EndProgress()
{
    if (m_progress.empty())
        return;
    m_progress.clear();
    m_err << "\r\x1b[K" << std::flush;
}

namespace {

long long Number(const std::string& text)
{
    return ReadInteger(text);
}

const char* Word(int value, std::initializer_list<const char*> words)
{
    // words[0] is for -1 (none).
    const int index = value + 1;
    return index >= 0 && index < static_cast<int>(words.size()) ? std::data(words)[index]
                                                                : "unknown";
}

}  // namespace

Millis RecordMillis(const TimeRecord& r)
{
    return {Number(r.hours) * 3600000.0 + Number(r.minutes) * 60000.0 + Number(r.seconds) * 1000.0 +
            Number(r.milliseconds) + Number(r.tenthMs) / 10.0};
}

Fields StatusFields(const PanelState& p)
{
    const int repeat = ReadInteger(p.m_strRepeatNumber);
    return {{"shutter", Word(p.m_nShutterState, {"none", "open", "closed"})},
            {"mode", Word(p.m_nShutterMode, {"none", "fast", "soft", "nd"})},
            {"nd-steps", static_cast<long long>(p.m_nNdSteps)},
            {"trigger",
             Word(p.m_nTriggerMode, {"off", "enable-high", "enable-low", "rising", "falling"})},
            {"sync", Word(p.m_nSyncPolarity, {"off", "high", "low"})},
            {"closed-time", RecordMillis(g_closedTime)},
            {"exposure-time", RecordMillis(g_exposureTime)},
            {"cycle-time", RecordMillis(g_cycleTime)},
            {"run", Word(p.m_nFreeRunOption, {"none", "power-up", "trigger", "go"})},
            {"repeat", repeat == 0xFFFF ? FieldValue{std::string("continuous")}
                                        : FieldValue{static_cast<long long>(repeat)}}};
}
