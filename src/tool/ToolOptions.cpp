#include "tool/ToolOptions.h"

namespace quillonctl {

const char* ClassOf(int status)
{
    switch (status) {
        case kExitUsage:
            return "usage";
        case kExitNoDevice:
            return "no-device";
        case kExitTimeOut:
            return "time-out";
        case kExitDriver:
            return "driver";
        case kExitFileRefused:
            return "file-refused";
        default:
            return "failed";
    }
}

Failure Usage(const std::string& message)
{
    return {kExitUsage, ClassOf(kExitUsage), message};
}

std::optional<std::string> ParseOptions(const std::vector<std::string>& args, ToolOptions& opts)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            opts.words.push_back(arg);
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        const std::string name = arg.substr(2);
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        const auto flag = [&](bool& target) -> std::optional<std::string> {
            if (inlineValue)
                return "Option '" + name + "' takes no value.";
            target = true;
            return std::nullopt;
        };
        std::optional<std::string> problem;
        if (name == "help" || name == "version" || name == "simulate" || name == "json" ||
            name == "wait") {
            problem = flag(name == "help"      ? opts.help
                           : name == "version" ? opts.version
                           : name == "json"    ? opts.json
                           : name == "wait"    ? opts.wait
                                               : opts.simulate);
        } else if (name == "driver" || name == "by" || name == "device" || name == "timeout" ||
                   name == "until") {
            const std::optional<std::string> v = value();
            if (!v)
                return "Missing value after '--" + name + "'.";
            if (name == "driver") {
                opts.driver = *v;
            } else if (name == "until") {
                if (*v != "run-end")
                    return "--until takes run-end, not '" + *v + "'.";
                opts.untilRunEnd = true;
            } else if (name == "device") {
                opts.device = *v;
                opts.deviceSet = true;
            } else if (name == "by") {
                const char* methods[] = {"description", "serial", "number"};
                opts.openBy = -1;
                for (int m = 0; m < 3; ++m)
                    if (*v == methods[m])
                        opts.openBy = m;
                if (opts.openBy < 0)
                    return "--by takes description, serial or number, not '" + *v + "'.";
            } else {
                const bool digits = !v->empty() && v->size() <= 7 &&
                                    v->find_first_not_of("0123456789") == std::string::npos;
                if (!digits || std::stoi(*v) == 0)
                    return "--timeout takes a number of milliseconds from 1 to 9999999, not '" +
                           *v + "'.";
                opts.timeoutMs = std::stoi(*v);
            }
        } else {
            return "Unknown option '" + name + "'.";
        }
        if (problem)
            return problem;
    }
    return std::nullopt;
}

std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : line + ' ') {
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

}  // namespace quillonctl
