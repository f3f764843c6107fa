#pragma once
// The application profile: an INI file with the same sections and keys the program has always
// used, kept in the user's configuration folder. Every read looks at the file and every write
// replaces it whole before returning, so the file on disk is always what the program last wrote
// (and nothing waits to be written when the program is killed).

#include <optional>
#include <string>

// The profile's file name: a demonstration against the simulator never touches the real profile.
std::string ProfileFileName(bool simulate);

class Profile {
public:
    explicit Profile(std::string path);

    // $XDG_CONFIG_HOME/<fileName>, or ~/.config/<fileName> when the variable is unset or empty.
    static std::string DefaultPath(const std::string& fileName);

    int GetProfileInt(const std::string& section, const std::string& key, int defaultValue) const;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const;
    // False when the file could not be written whole; the file then stays as it was.
    bool WriteProfileInt(const std::string& section, const std::string& key, int value);
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value);

    // The message for the operator (the file and the system's reason) after a failed write,
    // handed out once for a run of failures: the next comes only after a write has succeeded.
    std::optional<std::string> TakeFailure();

    bool Exists() const;
    const std::string& Path() const { return m_path; }

private:
    // The stored text, or nothing when the key is absent.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;

    std::string m_path;
    std::optional<std::string> m_failure;
    bool m_failureTaken = false;
};
