#pragma once
// The application profile: an INI file with the same sections and keys the program has always
// used, kept in the user's configuration folder.

#include <memory>
#include <optional>
#include <string>

class QSettings;

class Profile {
public:
    explicit Profile(std::string path);
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // $XDG_CONFIG_HOME/<fileName>, or ~/.config/<fileName> when the variable is unset or empty.
    static std::string DefaultPath(const std::string& fileName);

    int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) const;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const;
    bool WriteProfileInt(const std::string& section, const std::string& key, int value);
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value);

    bool Exists() const;
    const std::string& Path() const { return m_path; }

private:
    // The stored text, or nothing when the key is absent.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;

    std::string m_path;
    std::unique_ptr<QSettings> m_settings;
};
