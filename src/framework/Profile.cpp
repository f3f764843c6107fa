#include "framework/Profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <string_view>
#include <vector>

#include "framework/SaveFile.h"
#include "timing/IntegerReading.h"

// The file is read and written here rather than through QSettings: its writer reports success
// after a write that failed (the file then cut short or empty), and its cache can hide a change
// made within the same millisecond. The text stays in the format QSettings reads and writes.
namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Section and key names as they appear in the file.
std::string EscapedName(std::string_view name)
{
    std::string out;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '/')
            out += '\\';
        else if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                 c == '_' || c == '-' || c == '.')
            out += ch;
        else
            out += {'%', kHexUpper[c >> 4], kHexUpper[c & 15]};
    }
    return out;
}

std::string EncodedValue(const std::string& text)
{
    // A leading '@' marks a typed value, so a text that starts with one doubles it.
    const std::string s = text.starts_with('@') ? "@" + text : text;
    std::string out;
    bool needsQuotes = false;
    bool hexNext = false;  // after \x.. a hex digit would be read as part of the escape
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        needsQuotes |= c == ';' || c == ',' || c == '=';
        if (hexNext && HexValue(ch) >= 0) {
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
            continue;
        }
        hexNext = false;
        static constexpr std::string_view kPlain = "\a\b\f\n\r\t\v\"\\", kCode = "abfnrtv\"\\";
        if (const auto at = kPlain.find(ch); at != std::string_view::npos && c != 0) {
            out += {'\\', kCode[at]};
        } else if (c <= 0x1F) {
            out += "\\x";
            if (c >= 16)
                out += kHex[c >> 4];
            out += kHex[c & 15];
            hexNext = true;
        } else {
            out += ch;
        }
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' ')))
        out = '"' + out + '"';
    return out;
}

// The text after "=": quotes, escapes and a comment after ';' as QSettings reads them, except
// that an unquoted comma is part of the text (a hand-edited value reads as it was typed).
std::string DecodedValue(std::string_view v)
{
    static constexpr std::string_view kCode = "abfnrtv\"?'\\", kPlain = "\a\b\f\n\r\t\v\"?'\\";
    std::string out;
    std::size_t keep = 0;  // trailing blanks past this are outside quotes and dropped
    bool quoted = false;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < v.size() && IsBlank(v[i])) ++i;
    };
    skipBlanks();
    while (i < v.size()) {
        const char c = v[i++];
        if (c == ';' && !quoted)
            break;
        if (c == '"') {
            quoted = !quoted;
            keep = out.size();
            if (!quoted)
                skipBlanks();
        } else if (c == '\\' && i < v.size()) {
            const char e = v[i++];
            if (const auto at = kCode.find(e); at != std::string_view::npos) {
                out += kPlain[at];
            } else if (e == 'x' || (e >= '0' && e <= '7')) {
                const int base = e == 'x' ? 16 : 8;
                unsigned code = e == 'x' ? 0 : unsigned(e - '0');
                for (int d; i < v.size() && (d = HexValue(v[i])) >= 0 && d < base; ++i)
                    code = (code * base + unsigned(d)) & 0xFFFF;
                AppendUtf8(out, code);
            }  // any other escaped character is dropped
            keep = out.size();
        } else {
            out += c;
            if (quoted)
                keep = out.size();
        }
    }
    while (out.size() > keep && IsBlank(out.back())) out.pop_back();
    if (out.starts_with("@@"))
        out.erase(0, 1);
    return out;
}

struct Line {
    enum class Kind { Other, Section, Key } kind = Kind::Other;
    std::string_view name;  // the section or key as written
    std::string_view value;
};

Line Parse(std::string_view raw)
{
    const std::string_view text = Trim(raw);
    if (text.empty() || text.front() == ';' || text.front() == '#')
        return {};
    if (text.front() == '[') {
        const std::size_t end = text.rfind(']');
        return {Line::Kind::Section,
                Trim(text.substr(1, end == std::string_view::npos ? end : end - 1)),
                {}};
    }
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return {};
    return {Line::Kind::Key, Trim(text.substr(0, eq)), text.substr(eq + 1)};
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

std::optional<std::string> ReadWhole(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes.toStdString();
}

}  // namespace

std::string ProfileFileName(bool simulate)
{
    return simulate ? "quillon-utility-simulator.ini" : "quillon-utility.ini";
}

Profile::Profile(std::string path) : m_path(std::move(path)) {}

std::string Profile::DefaultPath(const std::string& fileName)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return (base + "/" + QString::fromStdString(fileName)).toStdString();
}

std::optional<std::string> Profile::Value(const std::string& section, const std::string& key) const
{
    const std::optional<std::string> text = ReadWhole(m_path);
    if (!text)
        return std::nullopt;
    const std::string sectionName = EscapedName(section), keyName = EscapedName(key);
    std::optional<std::string> value;
    bool inSection = false;
    for (const std::string_view raw : SplitLines(*text)) {
        const Line line = Parse(raw);
        if (line.kind == Line::Kind::Section)
            inSection = line.name == sectionName;
        else if (inSection && line.kind == Line::Kind::Key && line.name == keyName)
            value = DecodedValue(line.value);  // the last one wins, as with QSettings
    }
    return value;
}

int Profile::GetProfileInt(const std::string& section, const std::string& key,
                           int defaultValue) const
{
    const std::optional<std::string> v = Value(section, key);
    // Read as the old profile functions did: leading digits, anything else gives 0.
    return v ? ReadInteger(*v) : defaultValue;
}

std::string Profile::GetProfileString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const
{
    return Value(section, key).value_or(defaultValue);
}

bool Profile::WriteProfileInt(const std::string& section, const std::string& key, int value)
{
    return WriteProfileString(section, key, std::to_string(value));
}

bool Profile::WriteProfileString(const std::string& section, const std::string& key,
                                 const std::string& value)
{
    const QString path = QString::fromStdString(m_path);
    const std::optional<std::string> old = ReadWhole(m_path);
    std::optional<std::string> failure;
    if (!old && QFileInfo::exists(path)) {
        failure = "The file cannot be read.";
    } else {
        // The one line changes; every other line, comments included, stays as it was.
        const std::string sectionName = EscapedName(section), keyName = EscapedName(key);
        const std::string entry = keyName + "=" + EncodedValue(value);
        const std::string oldText = old.value_or("");
        std::vector<std::string_view> lines = SplitLines(oldText);
        std::optional<std::size_t> keyLine, sectionEnd;
        bool inSection = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line line = Parse(lines[i]);
            if (line.kind == Line::Kind::Section)
                inSection = line.name == sectionName;
            if (inSection && !Trim(lines[i]).empty())
                sectionEnd = i;
            if (inSection && line.kind == Line::Kind::Key && line.name == keyName)
                keyLine = i;
        }
        const std::string header = "[" + sectionName + "]";
        if (keyLine) {
            lines[*keyLine] = entry;
        } else if (sectionEnd) {
            lines.insert(lines.begin() + std::ptrdiff_t(*sectionEnd) + 1, entry);
        } else {
            if (!lines.empty() && !Trim(lines.back()).empty())
                lines.emplace_back();
            lines.insert(lines.end(), {header, entry});
        }
        std::string text;
        for (const std::string_view line : lines) (text += line) += '\n';
        QDir().mkpath(QFileInfo(path).absolutePath());
        failure = SaveFileWhole(m_path, text);
    }
    if (!failure) {
        m_failure.reset();
        m_failureTaken = false;
        return true;
    }
    m_failure = "Cannot save the settings to " + m_path + ".\n" + *failure;
    return false;
}

std::optional<std::string> Profile::TakeFailure()
{
    if (!m_failure || m_failureTaken)
        return std::nullopt;
    m_failureTaken = true;
    return m_failure;
}

bool Profile::Exists() const
{
    return QFileInfo::exists(QString::fromStdString(m_path));
}
