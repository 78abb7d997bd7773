// CArgumentParser: reads one command's arguments. A command names its flags,
// its options with values and what to do with each positional; options may
// stand anywhere among the positionals, and an argument of '-' alone is a
// positional (standard input). Every fault is a usage error naming the
// option, in the form UsageError gives, and leaves the exit status 2.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_CARGUMENTPARSER_H
#define CHATSIEVE_TOOLS_CHATSIEVE_CARGUMENTPARSER_H

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Commands.h"

namespace chatsieve::tools {

// "chatsieve CMD: message" and a pointer to the command's help on standard
// error; returns kExitUsage.
int UsageError(const char* command, const std::string& message);

class CArgumentParser {
public:
    // Takes an option's value or a positional; returns "" when it is taken,
    // or the usage error to give.
    using Take = std::function<std::string(const std::string& value)>;
    using TakePair = std::function<std::string(const std::string& first, const std::string& second)>;

    // Where an option's value may be written.
    enum class Value {
        kNextArgument,  // --name VALUE
        kNextOrJoined,  // also --name=VALUE (long names only: "-o=x" is an unknown option)
    };

    // `help` is printed, and parsing stops, when --help or -h is given.
    CArgumentParser(const char* command, const char* help) : m_command(command), m_help(help) {}

    // By default --help anywhere, even where a value is due, gives the help.
    // With this, it does so only where an option could stand, so that
    // "--root --help" names a folder.
    CArgumentParser& HelpOnlyAsOption();
    // What to say of an argument that looks like an option and is none
    // (default: "unknown option 'ARG'").
    CArgumentParser& UnknownOption(std::string message);

    CArgumentParser& Flag(std::initializer_list<const char*> names, bool* set);
    // `missing` is the usage error when no value follows the name.
    CArgumentParser& Option(std::initializer_list<const char*> names, std::string missing, Take take,
                            Value form = Value::kNextArgument);
    CArgumentParser& Option(std::initializer_list<const char*> names, std::string missing, std::string* value,
                            Value form = Value::kNextArgument);
    // An option followed by two values.
    CArgumentParser& Pair(const char* name, std::string missing, TakePair take);
    // Each positional in order, as it comes among the options.
    CArgumentParser& Positional(Take take);
    CArgumentParser& Positionals(std::vector<std::string>* all);

    // False when the command is to stop, with `*status` its exit status: 0
    // after the help, 2 after a usage error.
    bool Parse(const Arguments& args, int* status) const;

private:
    struct KnownOption {
        std::vector<std::string> names;
        int values = 0;  // 0 for a flag
        bool joined = false;
        std::string missing;
        std::function<std::string(const std::string*)> take;  // the `values` arguments
    };

    const KnownOption* Find(const std::string& arg, bool* joined) const;
    bool Help(int* status) const;
    bool Error(const std::string& message, int* status) const;

    const char* m_command;
    const char* m_help;
    bool m_helpAnywhere = true;
    std::string m_unknownOption;
    std::vector<KnownOption> m_options;
    Take m_positional;
};

}  // namespace chatsieve::tools

#endif
