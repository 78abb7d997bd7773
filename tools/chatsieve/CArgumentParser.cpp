#include "CArgumentParser.h"

#include <cstdio>
#include <utility>

namespace chatsieve::tools {

namespace {

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

// '-' alone is standard input, and an empty argument a (missing) name.
bool LooksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

int UsageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "chatsieve %s: %s\n(see 'chatsieve %s --help')\n", command, message.c_str(), command);
    return kExitUsage;
}

CArgumentParser& CArgumentParser::HelpOnlyAsOption() {
    m_helpAnywhere = false;
    return *this;
}

CArgumentParser& CArgumentParser::UnknownOption(std::string message) {
    m_unknownOption = std::move(message);
    return *this;
}

CArgumentParser& CArgumentParser::Flag(std::initializer_list<const char*> names, bool* set) {
    m_options.push_back(KnownOption{{names.begin(), names.end()}, 0, false, {}, [set](const std::string*) {
                                        *set = true;
                                        return std::string();
                                    }});
    return *this;
}

CArgumentParser& CArgumentParser::Option(std::initializer_list<const char*> names, std::string missing, Take take,
                                         Value form) {
    m_options.push_back(KnownOption{{names.begin(), names.end()},
                                    1,
                                    form == Value::kNextOrJoined,
                                    std::move(missing),
                                    [take = std::move(take)](const std::string* values) { return take(values[0]); }});
    return *this;
}

CArgumentParser& CArgumentParser::Option(std::initializer_list<const char*> names, std::string missing,
                                         std::string* value, Value form) {
    return Option(
        names, std::move(missing),
        [value](const std::string& given) {
            *value = given;
            return std::string();
        },
        form);
}

CArgumentParser& CArgumentParser::Pair(const char* name, std::string missing, TakePair take) {
    m_options.push_back(
        KnownOption{{name}, 2, false, std::move(missing), [take = std::move(take)](const std::string* values) {
                        return take(values[0], values[1]);
                    }});
    return *this;
}

CArgumentParser& CArgumentParser::Positional(Take take) {
    m_positional = std::move(take);
    return *this;
}

CArgumentParser& CArgumentParser::Positionals(std::vector<std::string>* all) {
    return Positional([all](const std::string& arg) {
        all->push_back(arg);
        return std::string();
    });
}

// The option `arg` names, with `*joined` set when it carries its value as
// --name=VALUE; null when it names none.
const CArgumentParser::KnownOption* CArgumentParser::Find(const std::string& arg, bool* joined) const {
    *joined = false;
    for (const KnownOption& option : m_options)
        for (const std::string& name : option.names)
            if (arg == name) return &option;
    for (const KnownOption& option : m_options) {
        if (!option.joined) continue;
        for (const std::string& name : option.names) {
            if (name.compare(0, 2, "--") == 0 && arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
                arg[name.size()] == '=') {
                *joined = true;
                return &option;
            }
        }
    }
    return nullptr;
}

bool CArgumentParser::Help(int* status) const {
    std::fputs(m_help, stdout);
    *status = kExitOk;
    return false;
}

bool CArgumentParser::Error(const std::string& message, int* status) const {
    *status = UsageError(m_command, message);
    return false;
}

bool CArgumentParser::Parse(const Arguments& args, int* status) const {
    *status = kExitOk;
    if (m_helpAnywhere)
        for (const std::string& arg : args)
            if (IsHelp(arg)) return Help(status);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) return Help(status);
        bool joined = false;
        const KnownOption* option = Find(arg, &joined);
        std::string fault;
        if (!option && LooksLikeOption(arg)) {
            fault = m_unknownOption.empty() ? "unknown option '" + arg + "'" : m_unknownOption;
        } else if (!option) {
            fault = m_positional ? m_positional(arg) : "unexpected argument '" + arg + "'";
        } else if (joined) {
            const std::string value = arg.substr(arg.find('=') + 1);
            fault = option->take(&value);
        } else if (args.size() - i - 1 < static_cast<std::size_t>(option->values)) {
            fault = option->missing;
        } else {
            fault = option->take(option->values ? &args[i + 1] : nullptr);
            i += static_cast<std::size_t>(option->values);
        }
        if (!fault.empty()) return Error(fault, status);
    }
    return true;
}

}  // namespace chatsieve::tools
