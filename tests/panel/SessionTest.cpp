// Operator sessions as data: each file in tests/sessions holds what an operator does on the panel
// and what must then be on the wire, on the screen and in the boxes (verbs: tests/sessions/README).
// Every prompt must be expected, and no box or dialog may let the poll step in between an
// operation's pull and its push.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <fstream>
#include <functional>
#include <map>

#include "panel/CNdStepsDlg.h"
#include "panel/PanelTemplate.h"
#include "panel/ReceivedList.h"
#include "support/SimPanel.h"

namespace {

// The panel's controls by name, from tests/sessions/controls.
const std::map<std::string, int>& Ids()
{
    static const std::map<std::string, int> ids = [] {
        std::map<std::string, int> read;
        std::ifstream in(QUILLON_SESSIONS_DIR "/controls");
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] != '#')
                read[line.substr(0, line.find(' '))] = std::stoi(line.substr(line.find(' ')));
        return read;
    }();
    return ids;
}

// clang-format off
const std::map<std::string, int QuillonSimState::*> kSimInts = {
    {"shutterOpen", &QuillonSimState::shutterOpen}, {"mode", &QuillonSimState::mode},
    {"ndSteps", &QuillonSimState::ndSteps},         {"trigger", &QuillonSimState::trigger},
    {"sync", &QuillonSimState::sync},               {"freeRun", &QuillonSimState::freeRunOption},
    {"repeat", &QuillonSimState::repeatCount},      {"running", &QuillonSimState::running},
    {"cycles", &QuillonSimState::cyclesDone},       {"saved", &QuillonSimState::saved}};
// clang-format on

std::vector<std::string> Split(const std::string& text, char by)
{
    std::vector<std::string> out;
    const auto keep = by == ' ' ? Qt::SkipEmptyParts : Qt::KeepEmptyParts;
    for (const QString& part : QString::fromStdString(text).split(by, keep))
        out.push_back(part.trimmed().toStdString());
    return text.empty() ? std::vector<std::string>{} : out;
}

// "01 02 x3": 01 02 three times.
QByteArray Hex(const std::string& text)
{
    QByteArray bytes;
    for (const std::string& b : Split(text, ' '))
        bytes = b[0] == 'x' ? bytes.repeated(std::stoi(b.substr(1)))
                            : bytes + char(std::stoi(b, nullptr, 16));
    return bytes;
}

class Session {
public:
    ~Session() { Finish(); }

    void Step(const std::string& verb, std::string rest)
    {
        for (std::size_t at; (at = rest.find("$DIR")) != std::string::npos;)
            rest.replace(at, 4, m_files.path().toStdString());
        for (std::size_t at; (at = rest.find("\\n")) != std::string::npos;)
            rest.replace(at, 2, "\n");
        const std::vector<std::string> words = Split(rest, ' ');
        const std::string first = words.empty() ? "" : words[0];
        const int n = std::atoi((words.size() > 1 ? words.back() : first).c_str());
        const std::size_t space = rest.find(' ');
        const std::string tail = space == std::string::npos ? "" : rest.substr(space + 1);
        if (verb == "start" || verb == "restart")
            return Start(first == "sim", verb == "restart");
        if (verb == "profile")
            return void(m_profile.emplace_back(first, tail));
        ASSERT_TRUE(h) << "start first";
        CShutterPanelDlg& p = *h->panel;
        const int id = Ids().count(first) ? Ids().at(first) : -1;
        QWidget* w = first == "-"       ? QApplication::focusWidget()
                     : first == "PANEL" ? &p
                     : id != -1         ? p.GetDlgItem(id)
                                        : nullptr;
        auto* slider = qobject_cast<QSlider*>(w);
        auto* combo = qobject_cast<QComboBox*>(w);
        const auto check = [&](bool enabled) {
            for (const std::string& name : words)
                EXPECT_EQ(enabled ? p.IsDlgItemEnabled(Ids().at(name))
                                  : p.IsDlgButtonChecked(Ids().at(name)),
                          verb == "on" || verb == "enabled")
                    << name;
        };
        const std::map<std::string, std::function<void()>> verbs = {
            {"click", [&] { h->Click(id); }},
            {"type", [&] { h->TypeText(id, tail); }},
            {"keys", [&] { QTest::keyClicks(w, QString::fromStdString(tail)); }},
            {"key", [&] { QTest::keyClick(w, Qt::Key(QKeySequence(tail.c_str())[0].key())); }},
            {"focus", [&] { w->setFocus(); }},
            {"set", [&] { p.SetDlgItemText(id, tail); }},
            {"disable", [&] { p.EnableDlgItem(id, false); }},
            {"close", [&] { p.close(); }},
            {"drag",
             [&] {
                 slider->setSliderDown(true);
                 slider->setSliderPosition(n);
                 slider->setSliderDown(false);
                 QTest::mouseRelease(slider, Qt::LeftButton);
             }},
            {"groove",
             [&] {
                 const int x = tail == "right" ? slider->width() - 2 : 1;
                 QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
             }},
            {"choose",
             [&] {
                 for (int i = 0; i < 4 && combo->currentIndex() != n; ++i)
                     QTest::keyClick(combo, combo->currentIndex() < n ? Qt::Key_Down : Qt::Key_Up);
             }},
            {"act",  // through assistive technology, by each action a radio offers
             [&] {
                 QAccessibleActionInterface* a =
                     QAccessible::queryAccessibleInterface(w)->actionInterface();
                 for (const QString& action :
                      {a->toggleAction(), a->pressAction(), a->toggleAction()}) {
                     ASSERT_TRUE(a->actionNames().contains(action));
                     a->doAction(action);
                 }
             }},
            {"steps", [&] { m_steps = Split(rest, '|'); }},
            {"answer",
             [&] {
                 for (const std::string& a : words)
                     h->prompts.answers.push_back(a == "ok" ? MbResult::Ok : MbResult::Cancel);
             }},
            {"file",
             [&] {
                 h->prompts.fileAnswers.push_back(first == "-" ? std::nullopt
                                                               : std::optional(Path(first)));
             }},
            {"notready", [&] { h->MakeLinkNotReady(); }},
            {"tick", [&] { h->Tick(); }},
            {"ticks", [&] { h->TickUntilQuiet(); }},
            {"advance", [&] { QuillonSim_Advance(n); }},
            {"inject",
             [&] { QuillonSim_Inject(0, (const uint8_t*)Hex(rest).data(), Hex(rest).size()); }},
            {"pulse", [&] { QuillonSim_TriggerPulse(0); }},
            {"silent", [&] { QuillonSim_SetSilent(0, n); }},
            {"sim", [&] { Sim(true, words); }},
            {"simhas", [&] { Sim(false, words); }},
            {"write", [&] { ASSERT_EQ(File(first, QIODevice::WriteOnly, Hex(tail)), Hex(tail)); }},
            {"bytes",
             [&] { EXPECT_EQ(File(first, QIODevice::ReadOnly).toHex(' '), Hex(tail).toHex(' ')); }},
            {"mkdir", [&] { ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path(first)))); }},
            {"wire", [&] { EXPECT_EQ(SimWrites(), Split(rest, '|')); }},
            {"log", [&] { EXPECT_EQ(SimCallLog(), rest); }},
            {"text", [&] { EXPECT_EQ(p.GetDlgItemText(id), tail); }},
            {"on", [&] { check(false); }},
            {"off", [&] { check(false); }},
            {"enabled", [&] { check(true); }},
            {"disabled", [&] { check(true); }},
            {"pos", [&] { EXPECT_EQ(slider ? slider->value() : combo->currentIndex(), n); }},
            {"focused", [&] { EXPECT_EQ(QApplication::focusWidget(), w); }},
            {"lines", [&] { EXPECT_EQ(p.m_listReceived->GetCount(), n); }},
            {"list", [&] { EXPECT_EQ(p.m_listReceived->GetText(std::stoi(first)), tail); }},
            {"box", [&] { Box(false, rest); }},
            {"dialog", [&] { Box(true, rest); }},
            {"saved",
             [&] { EXPECT_EQ(h->profile->GetProfileString("MyTiveloAp", first, "-"), tail); }},
            {"exited", [&] { EXPECT_EQ(h->exitCodes, std::vector<int>(words.size(), 0)); }},
            {"announced", [&] { ExpectAnnouncedAsShown(); }},
        };
        ASSERT_TRUE(verbs.count(verb)) << "unknown verb";
        verbs.at(verb)();
    }

private:
    // Writes the bytes, or reads what is there; returns the file's bytes.
    QByteArray File(const std::string& name, QIODevice::OpenMode mode, const QByteArray& bytes = {})
    {
        QFile f(QString::fromStdString(Path(name)));
        return !f.open(mode)                    ? "(cannot open)"
               : bytes.isEmpty()                ? f.readAll()
               : f.write(bytes) == bytes.size() ? bytes
                                                : "";
    }
    std::string Path(const std::string& name)
    {
        return name[0] == '/' ? name : m_files.filePath(QString::fromStdString(name)).toStdString();
    }

    // restart: a new panel on the profile the last one left.
    void Start(bool sim, bool restart)
    {
        const QByteArray kept = restart ? File(h->profile->Path(), QIODevice::ReadOnly) : "";
        Finish();
        h = std::make_unique<SimPanel>(sim);
        if (restart)
            File(h->profile->Path(), QIODevice::WriteOnly, kept);
        for (const auto& [key, value] : std::exchange(m_profile, {}))
            h->profile->WriteProfileString("MyTiveloAp", key, value);
        // The steps dialog as an operator runs it: each entry typed and OK, then Cancel.
        h->options.runDialog = [this](CDialog& dlg) {
            dlg.Create();
            EXPECT_EQ(dlg.windowTitle(), "Neutral Density Shutter");
            ExpectNoPoll();
            for (const std::string& entry : std::exchange(m_steps, {})) {
                dlg.Item<QLineEdit>(IDC_ND_STEPS)->setText(QString::fromStdString(entry));
                QTest::mouseClick(dlg.Item<QPushButton>(IDOK), Qt::LeftButton);
                if (dlg.result() == QDialog::Accepted)
                    return true;
            }
            QTest::mouseClick(dlg.Item<QPushButton>(IDCANCEL), Qt::LeftButton);
            return false;
        };
        h->prompts.whileOpen = [this](const ScriptedPrompts::Record&) { ExpectNoPoll(); };
        sim ? h->StartReady() : void(h->Start());
        h->prompts.Clear();  // no driver: the start-up boxes
        m_boxes = 0;
        h->panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(h->panel.get()));
    }
    void ExpectNoPoll()
    {
        const std::string before = SimCallLog();
        h->Tick();
        EXPECT_EQ(SimCallLog(), before) << "a tick polled while a box was open";
    }
    void Finish()
    {
        for (std::size_t i = m_boxes; h && i < h->prompts.records.size(); ++i)
            ADD_FAILURE() << "unexpected prompt: " << h->prompts.records[i].text;
        h.reset();
    }

    // box CAPTION ICON BUTTONS TEXT, or dialog open|save EXT FILTER; a TEXT ending in "..." is a
    // beginning that must be followed by something (the system's reason).
    void Box(bool dialog, const std::string& expected)
    {
        ASSERT_LT(m_boxes, h->prompts.records.size()) << "no prompt";
        const ScriptedPrompts::Record& r = h->prompts.records[m_boxes++];
        const char* icons[] = {"none", "info", "warn", "stop", "question"};
        const std::string got =
            (dialog ? (r.kind == ScriptedPrompts::Kind::SaveFile ? "save " : "open ") + r.defaultExt
                    : r.caption + " " + icons[int(r.icon)] +
                          (r.buttons == MbButtons::Ok ? " ok" : " okcancel")) +
            " " + r.text;
        const std::size_t cut = expected.ends_with("...") ? expected.size() - 3 : got.size();
        EXPECT_EQ(got.substr(0, cut) + (got.size() > cut ? "..." : ""), expected);
    }

    void Sim(bool set, const std::vector<std::string>& items)
    {
        QuillonSimState s{};
        ASSERT_EQ(QuillonSim_GetState(0, &s), 0);
        for (const std::string& item : items) {
            const std::string key = item.substr(0, item.find('='));
            int* target = key == "closed"     ? s.closedTime
                          : key == "exposure" ? s.exposureTime
                                              : &(s.*kSimInts.at(key));
            for (const std::string& value : Split(item.substr(key.size() + 1), ',')) {
                EXPECT_TRUE(set || *target == std::stoi(value)) << item << " is " << *target;
                *target++ = std::stoi(value);
            }
        }
        EXPECT_TRUE(!set || QuillonSim_SetState(0, &s) == 0);
    }

    // What assistive technology hears matches the screen: each control keeps its role and is
    // named by what it shows, an entry by its label with its text as value; a radio or check box
    // announces whether it is checked.
    void ExpectAnnouncedAsShown()
    {
        for (const ControlTemplate& c : PanelTemplate().controls) {
            QWidget* w = h->panel->GetDlgItem(c.id);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            if (c.id == IDC_STATIC || !a)
                continue;
            const QString shown =
                QString::fromStdString(h->panel->GetDlgItemText(c.id)).remove('&');
            const bool labelled = !c.accessibleName.empty();
            const bool valued = c.kind != ControlKind::Trackbar && c.kind != ControlKind::ListBox;
            const bool radio = c.kind == ControlKind::RadioButton;
            const bool box = radio || c.kind == ControlKind::CheckBox;
            EXPECT_EQ(std::tuple(w->objectName(), a->text(QAccessible::Name),
                                 labelled && valued ? a->text(QAccessible::Value) : shown,
                                 box ? a->role() : QAccessible::NoRole, box && a->state().checked),
                      std::tuple(QString("ctl%1").arg(c.id),
                                 labelled ? QString::fromStdString(c.accessibleName) : shown, shown,
                                 radio ? QAccessible::RadioButton
                                 : box ? QAccessible::CheckBox
                                       : QAccessible::NoRole,
                                 box && h->panel->IsDlgButtonChecked(c.id)))
                << c.id;
        }
    }

    std::unique_ptr<SimPanel> h;
    std::vector<std::pair<std::string, std::string>> m_profile;
    std::vector<std::string> m_steps;
    std::size_t m_boxes = 0;
    QTemporaryDir m_files;
};

std::vector<std::string> SessionFiles()
{
    std::vector<std::string> names;
    for (const QString& name : QDir(QUILLON_SESSIONS_DIR).entryList({"*.txt"}, QDir::Files))
        names.push_back(name.chopped(4).toStdString());
    return names;
}

class SessionTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SessionTest, RunsAsWritten)
{
    EnsureQtApp();
    const std::string path = std::string(QUILLON_SESSIONS_DIR) + "/" + GetParam() + ".txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    Session session;
    int number = 0;
    for (std::string line; std::getline(in, line) && !HasFatalFailure();) {
        SCOPED_TRACE(path + ":" + std::to_string(++number) + ": " + line);
        const std::size_t space = std::min(line.find(' '), line.size());
        if (!line.empty() && line[0] != '#')
            session.Step(line.substr(0, space), line.substr(std::min(space + 1, line.size())));
    }
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionTest, ::testing::ValuesIn(SessionFiles()),
                         [](const auto& info) { return info.param; });

}  // namespace
