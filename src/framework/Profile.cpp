#include "framework/Profile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "timing/IntegerReading.h"

namespace {
QString KeyOf(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + "/" + QString::fromStdString(key);
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

int Profile::GetProfileInt(const std::string& section, const std::string& key,
                           int defaultValue) const
{
    QVariant v = m_settings->value(KeyOf(section, key));
    if (!v.isValid())
        return defaultValue;
    // Read as the old profile functions did: leading digits, anything else gives 0.
    return ReadInteger(v.toString().toStdString());
}

std::string Profile::GetProfileString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const
{
    QVariant v = m_settings->value(KeyOf(section, key));
    if (!v.isValid())
        return defaultValue;
    return v.toString().toStdString();
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
