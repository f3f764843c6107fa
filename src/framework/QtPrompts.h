#pragma once
#include "framework/Prompts.h"

class QWidget;

// The real boxes and file dialogs, parented to the panel.
class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    MbResult MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                        MbButtons buttons) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;

    // "Name (*.x)|*.x|All Files (*.*)|*.*||" to Qt's "Name (*.x);;All Files (*)".
    static std::string ToQtFilter(const std::string& filter);

private:
    QWidget* m_parent;
};
