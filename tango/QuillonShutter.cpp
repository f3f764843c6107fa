// quillon-tango: one shutter controller as a TANGO device of class QuillonShutter. The
// attributes and commands are tables over the link's jobs; the link's thread does the rest.
// tango.h stays in this file: its headers put `using namespace std` at global scope.

#include <tango.h>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "protocol/Operations.h"
#include "tango/ShutterJobs.h"
#include "tango/ShutterLink.h"
#include "tool/ToolCommands.h"

// QUILLON_INSTALL_LIBDIR and QUILLON_RELATIVE_LIBDIR come from the build.

namespace {

using quillonctl::Outcome;
using quillonctl::Session;
namespace jobs = shutter_jobs;

constexpr const char* kClassName = "QuillonShutter";
// The longest closed or exposure time the editor takes: five hours.
constexpr const char* kMaxTimeMs = "18000000";

struct AttrRow {
    const char* name;
    Tango::CmdArgType type;
    const char* unit;
    const char* min;
    const char* max;
    std::vector<std::string> labels;  // of an enumeration
    const char* description;
    double (*read)(const ShutterView&);  // NAN: not known yet
    // none: read-only; the view is the device's as the write came
    std::function<Outcome(Session&, double, const ShutterView&)> write;
};

double Known(int value)
{
    return value < 0 ? NAN : value;
}

// An enumeration whose first label means the signal is off (-1 in the panel's fields).
Outcome ChooseSignalJob(Session& s, Signal signal, double value)
{
    return quillonctl::AwaitAnswer(s, signal == Signal::Trigger ? "trigger mode" : "sync mode",
                          ChooseSignal(s.m_host, signal, static_cast<int>(value) - 1));
}

const std::vector<AttrRow>& AttrTable()
{
    static const std::vector<AttrRow> rows = {
        {"Shutter", Tango::DEV_ENUM, "", nullptr, nullptr, {"Open", "Closed"},
         "The shutter's state, as last reported by the controller",
         [](const ShutterView& v) { return Known(v.shutter); },
         [](Session& s, double v, const ShutterView&) {
             return quillonctl::AwaitAnswer(s, "shutter", SetShutterState(s.m_host, int(v)));
         }},
        {"Mode", Tango::DEV_ENUM, "", nullptr, nullptr, {"Fast", "Soft", "NeutralDensity"},
         "Shutter mode; NeutralDensity uses NdSteps",
         [](const ShutterView& v) { return Known(v.mode); },
         [](Session& s, double v, const ShutterView&) {
             const int mode = int(v);
             return quillonctl::AwaitAnswer(s, "mode",
                                   mode == 2 ? SetNdMode(s.m_host, s.m_host.Panel().m_nNdSteps)
                                             : SetPlainMode(s.m_host, mode));
         }},
        {"NdSteps", Tango::DEV_SHORT, "steps", "0", "144", {},
         "Neutral density steps; writing them selects the NeutralDensity mode",
         [](const ShutterView& v) { return double(v.ndSteps); },
         [](Session& s, double v, const ShutterView&) {
             return quillonctl::AwaitAnswer(s, "mode", SetNdMode(s.m_host, int(v)));
         }},
        {"TriggerMode", Tango::DEV_ENUM, "", nullptr, nullptr,
         {"Off", "EnableHigh", "EnableLow", "RisingEdge", "FallingEdge"}, "Trigger input",
         [](const ShutterView& v) { return double(v.trigger + 1); },
         [](Session& s, double v, const ShutterView&) { return ChooseSignalJob(s, Signal::Trigger, v); }},
        {"SyncMode", Tango::DEV_ENUM, "", nullptr, nullptr, {"Off", "HighForOpen", "LowForOpen"},
         "Sync output", [](const ShutterView& v) { return double(v.sync + 1); },
         [](Session& s, double v, const ShutterView&) { return ChooseSignalJob(s, Signal::Sync, v); }},
        {"ClosedTime", Tango::DEV_DOUBLE, "ms", "0", kMaxTimeMs, {},
         "Closed time of a free-run cycle, in steps of 0.1 ms",
         [](const ShutterView& v) { return v.closedMs; },
         [](Session& s, double v, const ShutterView&) { return jobs::UploadTime(s, 0, v); }},
        {"ExposureTime", Tango::DEV_DOUBLE, "ms", "0", kMaxTimeMs, {},
         "Exposure (open) time of a free-run cycle, in steps of 0.1 ms",
         [](const ShutterView& v) { return v.exposureMs; },
         [](Session& s, double v, const ShutterView&) { return jobs::UploadTime(s, 1, v); }},
        {"RepeatCount", Tango::DEV_LONG, "cycles", "0", "65000", {},
         "Cycles of a counted free run; writing one ends Continuous",
         [](const ShutterView& v) { return double(v.repeatCount); },
         [](Session& s, double v, const ShutterView&) { return jobs::Repeat(s, std::to_string(int(v))); }},
        {"Continuous", Tango::DEV_BOOLEAN, "", nullptr, nullptr, {},
         "A free run goes on until Stop; false goes back to RepeatCount",
         [](const ShutterView& v) { return double(v.continuous); },
         [](Session& s, double v, const ShutterView& view) {
             return jobs::Repeat(s, v != 0 ? "65535" : std::to_string(view.repeatCount));
         }},
        {"FreeRunOption", Tango::DEV_ENUM, "", nullptr, nullptr,
         {"None", "OnPowerUp", "OnTriggerPulse", "Go"},
         "Free-run start; OnTriggerPulse and Go start a counted run now",
         [](const ShutterView& v) { return double(v.freeRun + 1); },
         [](Session& s, double v, const ShutterView&) -> Outcome {
             if (v < 1)
                 return quillonctl::Usage("the controller has no frame that clears the option");
             return jobs::FreeRun(s, int(v) - 1);
         }},
        {"CyclesLeft", Tango::DEV_LONG, "cycles", nullptr, nullptr, {},
         "Cycles left of the counted run; 0 when it has ended, -1 while continuous",
         [](const ShutterView& v) { return double(v.cyclesLeft); }, {}},
        {"CycleTime", Tango::DEV_DOUBLE, "ms", nullptr, nullptr, {},
         "Closed and exposure time with both transitions",
         [](const ShutterView& v) { return v.cycleMs; }, {}},
        {"Identity", Tango::DEV_STRING, "", nullptr, nullptr, {},
         "Serial number and firmware version the controller reports", nullptr, {}},
        {"BytesReceived", Tango::DEV_LONG, "bytes", nullptr, nullptr, {},
         "Bytes received from the controller and listed",
         [](const ShutterView& v) { return double(v.bytesReceived); }, {}},
    };
    return rows;
}

struct CmdRow {
    const char* name;
    Outcome (*run)(Session&);
};

Outcome Plain(Session& s, const char* what, uint8_t code)
{
    return quillonctl::AwaitAnswer(s, what, SendPlain(s.m_host, SingleByteFrame(code)));
}

const std::vector<CmdRow>& CmdTable()
{
    static const std::vector<CmdRow> rows = {
        {"Open", [](Session& s) { return quillonctl::AwaitAnswer(s, "shutter", SetShutterState(s.m_host, 0)); }},
        {"Close", [](Session& s) { return quillonctl::AwaitAnswer(s, "shutter", SetShutterState(s.m_host, 1)); }},
        {"Refresh", quillonctl::FetchStatus},
        {"Apply", [](Session& s) { return quillonctl::AwaitTransfer(s, StartTransfer(s.m_host)); }},
        {"Go", [](Session& s) { return jobs::FreeRun(s, 2); }},
        {"Trigger", [](Session& s) { return jobs::FreeRun(s, 1); }},
        {"Stop", [](Session& s) { return Plain(s, "stop", cmd::kStop); }},
        {"Reset", [](Session& s) { return quillonctl::AwaitReset(s, "reset", ResetController(s.m_host)); }},
        {"RestoreDefaults",
         [](Session& s) {
             return quillonctl::AwaitReset(s, "restore defaults", RestoreDefaults(s.m_host));
         }},
        {"SaveToController",
         [](Session& s) {
             return quillonctl::AwaitAnswer(s, "save", SendPlain(s.m_host, SettingsFrame(cmd::kSaveConfig)));
         }},
        {"PowerOn", [](Session& s) { return Plain(s, "poweron", cmd::kPowerOn); }},
        {"PowerOff", [](Session& s) { return Plain(s, "poweroff", cmd::kPowerOff); }},
        {"Online", [](Session& s) { return Plain(s, "online", cmd::kOnline); }},
    };
    return rows;
}

ToolPlaces Places()
{
    return InstalledPlaces(QUILLON_RELATIVE_LIBDIR, QUILLON_INSTALL_LIBDIR);
}

[[noreturn]] void Throw(const quillonctl::Failure& failure, const char* origin)
{
    const std::string reason = failure.status == kExitUsage     ? "Quillon_Refused"
                               : failure.status == kExitTimeOut ? "Quillon_Timeout"
                               : failure.status == kExitNoDevice ? "Quillon_LinkLost"
                                                                 : "Quillon_Failed";
    Tango::Except::throw_exception(reason, failure.message, origin);
}

Tango::DevState StateOf(const ShutterView& v)
{
    if (!v.ready)
        return v.opening ? Tango::INIT : Tango::FAULT;
    if (v.running)
        return Tango::RUNNING;
    return v.shutter == 0 ? Tango::OPEN : v.shutter == 1 ? Tango::CLOSE : Tango::ON;
}

class QuillonShutter : public Tango::Device_5Impl {
public:
    QuillonShutter(Tango::DeviceClass* cl, const std::string& name)
        : Tango::Device_5Impl(cl, name.c_str()), m_slots(AttrTable().size())
    {
        m_pusher = std::thread([this] { PushEvents(); });
        init_device();
    }
    ~QuillonShutter() override
    {
        delete_device();
        {
            const std::lock_guard lock(m_eventMutex);
            m_stopPushing = true;
        }
        m_eventWake.notify_all();
        m_pusher.join();
    }

    void init_device() override
    {
        set_change_event("State", true, false);
        set_change_event("Shutter", true, false);
        set_change_event("CyclesLeft", true, false);
        ShutterSettings settings;
        if (Tango::Util::instance()->_UseDb) {
            Tango::DbData data{Tango::DbDatum("Driver"), Tango::DbDatum("OpenBy"),
                               Tango::DbDatum("Device")};
            get_db_device()->get_property(data);
            if (!data[0].is_empty())
                data[0] >> settings.driver;
            if (!data[1].is_empty())
                data[1] >> settings.openBy;
            if (!data[2].is_empty()) {
                data[2] >> settings.device;
                settings.deviceSet = true;
            }
        }
        m_link = std::make_unique<ShutterLink>(
            settings, Places(), [this](const ShutterView& before, const ShutterView& after) {
                Queue(before, after);
            });
    }

    void delete_device() override { m_link.reset(); }

    Tango::DevState dev_state() override
    {
        const Tango::DevState state = StateOf(m_link->View());
        set_state(state);
        return state;
    }

    Tango::ConstDevString dev_status() override
    {
        const ShutterView v = m_link->View();
        switch (StateOf(v)) {
            case Tango::INIT:
                m_status = "The controller's link is being opened";
                break;
            case Tango::FAULT:
                m_status = "The controller's link is down: " + v.fault;
                break;
            case Tango::RUNNING:
                m_status = v.continuous ? "A continuous free run is in progress"
                                        : "A free run is in progress, " +
                                              std::to_string(v.cyclesLeft) + " cycle(s) left";
                break;
            default:
                m_status = "The controller is ready: " + v.identity;
        }
        return m_status.c_str();
    }

    void Read(std::size_t index, Tango::Attribute& att)
    {
        const AttrRow& row = AttrTable()[index];
        const ShutterView v = m_link->View();
        Slot& slot = m_slots[index];
        if (!v.ready)
            Throw({kExitNoDevice, "no-device",
                   v.opening ? "the controller's link is being opened"
                             : "the controller's link is down: " + v.fault},
                  row.name);
        if (row.type == Tango::DEV_STRING) {
            slot.text = v.identity;
            slot.str = const_cast<char*>(slot.text.c_str());
            att.set_value(&slot.str);
            return;
        }
        const double value = row.read(v);
        if (std::isnan(value)) {
            att.set_quality(Tango::ATTR_INVALID);
            return;
        }
        switch (row.type) {
            case Tango::DEV_DOUBLE:
                att.set_value(&(slot.d = value));
                break;
            case Tango::DEV_LONG:
                att.set_value(&(slot.l = Tango::DevLong(value)));
                break;
            case Tango::DEV_BOOLEAN:
                att.set_value(&(slot.b = value != 0));
                break;
            default:
                att.set_value(&(slot.s = Tango::DevShort(value)));
        }
    }

    void Write(std::size_t index, Tango::WAttribute& att)
    {
        const AttrRow& row = AttrTable()[index];
        double value = 0;
        switch (row.type) {
            case Tango::DEV_DOUBLE: {
                Tango::DevDouble d;
                att.get_write_value(d);
                value = d;
                break;
            }
            case Tango::DEV_LONG: {
                Tango::DevLong l;
                att.get_write_value(l);
                value = l;
                break;
            }
            case Tango::DEV_BOOLEAN: {
                Tango::DevBoolean b;
                att.get_write_value(b);
                value = b;
                break;
            }
            default: {
                Tango::DevShort s;
                att.get_write_value(s);
                value = s;
                if (!row.labels.empty() && (s < 0 || std::size_t(s) >= row.labels.size()))
                    Tango::Except::throw_exception("API_WAttrOutsideLimit",
                                                   "no such choice: " + std::to_string(s),
                                                   row.name);
            }
        }
        if (!std::isfinite(value))
            Tango::Except::throw_exception("API_WAttrOutsideLimit", "not a number", row.name);
        Run([&row, value, view = m_link->View()](Session& s) { return row.write(s, value, view); },
            row.name);
    }

    void Execute(const CmdRow& row)
    {
        Run([&row](Session& s) { return row.run(s); }, row.name);
    }

private:
    struct Slot {
        Tango::DevShort s = 0;
        Tango::DevLong l = 0;
        Tango::DevDouble d = 0;
        Tango::DevBoolean b = false;
        std::string text;
        Tango::DevString str = nullptr;
    };
    struct Event {
        Tango::DevState state;
        Tango::DevShort shutter;
        Tango::DevLong cyclesLeft;
        bool stateChanged, shutterChanged, leftChanged;
    };

    void Run(const ShutterLink::Job& job, const char* origin)
    {
        if (auto failure = m_link->Run(job))
            Throw(*failure, origin);
    }

    // On the link's thread: the pusher takes the device's lock, which a waiting request holds.
    void Queue(const ShutterView& before, const ShutterView& after)
    {
        const Event e{StateOf(after),
                      Tango::DevShort(after.shutter),
                      after.cyclesLeft,
                      StateOf(before) != StateOf(after),
                      before.shutter != after.shutter && after.shutter >= 0,
                      before.cyclesLeft != after.cyclesLeft};
        {
            const std::lock_guard lock(m_eventMutex);
            m_events.push_back(e);
        }
        m_eventWake.notify_one();
    }

    void PushEvents()
    {
        omni_thread::ensure_self self;
        std::unique_lock lock(m_eventMutex);
        for (;;) {
            m_eventWake.wait(lock, [this] { return m_stopPushing || !m_events.empty(); });
            // The device is going: what is left would wait for the monitor its teardown holds.
            if (m_stopPushing)
                return;
            Event e = m_events.front();
            lock.unlock();
            const bool done = Push(e);
            lock.lock();
            if (done)
                m_events.pop_front();
        }
    }

    // False when the device's monitor stayed busy past TANGO's time-out, as clients' requests
    // can keep it: the event is tried again rather than lost.
    bool Push(Event& e)
    {
        try {
            Tango::AutoTangoMonitor monitor(this);
            if (e.stateChanged) {
                // TANGO sends the device's own state, whatever value is given.
                set_state(e.state);
                push_change_event("State", &e.state);
            }
            if (e.shutterChanged)
                push_change_event("Shutter", &e.shutter);
            if (e.leftChanged)
                push_change_event("CyclesLeft", &e.cyclesLeft);
        } catch (const Tango::DevFailed& failed) {
            if (std::string(failed.errors[0].reason) == Tango::API_CommandTimedOut)
                return false;
            Tango::Except::print_exception(failed);
        }
        return true;
    }

    std::unique_ptr<ShutterLink> m_link;
    std::vector<Slot> m_slots;
    std::string m_status;
    std::mutex m_eventMutex;
    std::condition_variable m_eventWake;
    std::deque<Event> m_events;
    bool m_stopPushing = false;
    std::thread m_pusher;
};

class TableAttr : public Tango::Attr {
public:
    explicit TableAttr(std::size_t index)
        : Tango::Attr(AttrTable()[index].name, AttrTable()[index].type,
                      AttrTable()[index].write ? Tango::READ_WRITE : Tango::READ),
          m_index(index)
    {
        const AttrRow& row = AttrTable()[index];
        Tango::UserDefaultAttrProp props;
        props.set_description(row.description);
        if (*row.unit)
            props.set_unit(row.unit);
        if (row.min)
            props.set_min_value(row.min);
        if (row.max)
            props.set_max_value(row.max);
        if (row.type == Tango::DEV_DOUBLE)
            props.set_format("%.1f");
        if (!row.labels.empty()) {
            std::vector<std::string> labels = row.labels;
            props.set_enum_labels(labels);
        }
        set_default_properties(props);
    }
    void read(Tango::DeviceImpl* dev, Tango::Attribute& att) override
    {
        static_cast<QuillonShutter*>(dev)->Read(m_index, att);
    }
    void write(Tango::DeviceImpl* dev, Tango::WAttribute& att) override
    {
        static_cast<QuillonShutter*>(dev)->Write(m_index, att);
    }

private:
    std::size_t m_index;
};

class TableCmd : public Tango::Command {
public:
    explicit TableCmd(const CmdRow& row)
        : Tango::Command(row.name, Tango::DEV_VOID, Tango::DEV_VOID), m_row(row)
    {
    }
    CORBA::Any* execute(Tango::DeviceImpl* dev, const CORBA::Any&) override
    {
        static_cast<QuillonShutter*>(dev)->Execute(m_row);
        return insert();
    }

private:
    const CmdRow& m_row;
};

class QuillonShutterClass : public Tango::DeviceClass {
public:
    static QuillonShutterClass* Instance()
    {
        static std::string name = kClassName;
        static auto* instance = new QuillonShutterClass(name);
        return instance;
    }

protected:
    explicit QuillonShutterClass(std::string& name) : Tango::DeviceClass(name) {}

    void attribute_factory(std::vector<Tango::Attr*>& list) override
    {
        for (std::size_t i = 0; i < AttrTable().size(); ++i) list.push_back(new TableAttr(i));
    }
    void command_factory() override
    {
        for (const CmdRow& row : CmdTable()) command_list.push_back(new TableCmd(row));
    }
    void device_factory(const Tango::DevVarStringArray* names) override
    {
        for (CORBA::ULong i = 0; i < names->length(); ++i) {
            auto* dev = new QuillonShutter(this, std::string((*names)[i]));
            device_list.push_back(dev);
            if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
                export_device(dev);
            else
                export_device(dev, dev->get_name().c_str());
        }
    }
};

}  // namespace

void Tango::DServer::class_factory()
{
    add_class(QuillonShutterClass::Instance());
}

int main(int argc, char* argv[])
{
    // TANGO names the server after argv[0]: the executable is quillon-tango, the server
    // QuillonTango, as a database registers it.
    std::string serverName = "QuillonTango";
    argv[0] = serverName.data();
    try {
        Tango::Util* util = Tango::Util::init(argc, argv);
        util->server_init(false);
        util->server_run();
    } catch (const std::bad_alloc&) {
        std::cerr << "quillon-tango: out of memory\n";
        return 1;
    } catch (const CORBA::Exception& e) {
        Tango::Except::print_exception(e);
        return 1;
    }
    Tango::Util::instance()->server_cleanup();
    return 0;
}
