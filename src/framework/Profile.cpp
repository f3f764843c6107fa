#include "framework/Profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <optional>

#include "timing/IntegerReading.h"

namespace {
QString KeyOf(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + "/" + QString::fromStdString(key);
}

// The text after "key=" in the section, blanks around it trimmed, as the file holds it; the last
// such line wins, as with Qt's reader.
std::optional<QString> RawValue(const std::string& path, const std::string& section,
                                const std::string& key)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    const QString header = "[" + QString::fromStdString(section) + "]";
    const QString name = QString::fromStdString(key);
    std::optional<QString> value;
    bool inSection = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('[')) {
            inSection = line == header;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inSection && eq > 0 && line.left(eq).trimmed() == name)
            value = line.mid(eq + 1).trimmed();
    }
    return value;
}
}  // namespace

Profile::Profile(std::string path)
    : m_path(std::move(path)),
      m_settings(std::make_unique<QSettings>(QString::fromStdString(m_path), QSettings::IniFormat))
{
}

Profile::~Profile() = default;

std::string Profile::DefaultPath(const std::string& fileName)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return (base + "/" + QString::fromStdString(fileName)).toStdString();
}

std::optional<std::string> Profile::Value(const std::string& section, const std::string& key) const
{
    const QVariant v = m_settings->value(KeyOf(section, key));
    if (!v.isValid())
        return std::nullopt;
    if (v.typeId() == QMetaType::QStringList) {
        // Qt reads an unquoted comma in a hand-edited value as a list separator, dropping the
        // blanks around it; the value is the line's text.
        if (const std::optional<QString> raw = RawValue(m_path, section, key))
            return raw->toStdString();
        return v.toStringList().join(", ").toStdString();
    }
    return v.toString().toStdString();
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
    QDir().mkpath(QFileInfo(QString::fromStdString(m_path)).absolutePath());
    m_settings->setValue(KeyOf(section, key), QString::fromStdString(value));
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool Profile::Exists() const
{
    return QFileInfo::exists(QString::fromStdString(m_path));
}
