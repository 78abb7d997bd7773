// packhold-pack: packs TSV tables into a package. See Usage() and
// docs/package-format.md.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "PackholdWriter.h"
#include "tools/ToolMain.h"
#include "tools/Tsv.h"

namespace {

using packhold::tools::kExitInput;
using packhold::tools::kExitOk;
using packhold::tools::kExitUsage;

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: packhold-pack -o OUT.res [--key KEY] [--no-table-set] [TABLE.tsv ...]\n"
                 "\n"
                 "Packs the TSV tables, in the order given, into the package OUT.res.\n"
                 "  -o OUT.res       the package to write (replaced only when packing succeeds)\n"
                 "  --key KEY        the key the package opens with (default \"%s\")\n"
                 "  --no-table-set   write a package without a table set (no tables allowed)\n"
                 "  -h, --help       show this text\n"
                 "\n"
                 "Each TSV file: a first line naming the columns as name:type (type int, int[],\n"
                 "str or bytes), then one row a line, fields separated by tabs. An empty field is\n"
                 "no cell; \"\" is an empty str, bytes or int[]; int[] is comma-separated; str\n"
                 "takes the escapes \\t \\n \\\\ \\xHH; bytes are hex pairs. Errors are reported as\n"
                 "FILE:LINE:COLUMN: message.\n"
                 "\n"
                 "Exit status: 0 packed; 1 bad input or a file that cannot be read or written\n"
                 "(nothing is written); 2 wrong usage.\n",
                 packhold::kDefaultKey);
}

int UsageError(const std::string& text) { return packhold::tools::UsageError("packhold-pack", text); }

int Run(int argc, char** argv) {
    std::string output;
    std::string key = packhold::kDefaultKey;
    bool noTableSet = false;
    bool optionsDone = false;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            inputs.push_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return kExitOk;
        } else if (arg == "-o" || arg == "--key") {
            if (i + 1 == argc) return UsageError(arg + " needs a value");
            (arg == "-o" ? output : key) = argv[++i];
        } else if (arg.rfind("--key=", 0) == 0) {
            key = arg.substr(6);
        } else if (arg == "--no-table-set") {
            noTableSet = true;
        } else {
            return UsageError("unknown option " + arg);
        }
    }
    if (output.empty()) return UsageError("no output given (-o OUT.res)");
    if (noTableSet && !inputs.empty()) return UsageError("--no-table-set takes no tables");

    packhold::CPackageWriter writer(key);
    writer.SetTableSet(!noTableSet);
    bool failed = false;
    std::string error;
    for (const std::string& input : inputs) {
        std::vector<unsigned char> bytes;
        if (!packhold::ReadWholeFile(input, &bytes, &error)) {
            std::fprintf(stderr, "%s: %s\n", input.c_str(), error.c_str());
            failed = true;
            continue;
        }
        packhold::Table table;
        packhold::TsvError tsvError;
        if (!packhold::ParseTsv(std::string(bytes.begin(), bytes.end()), &table, &tsvError)) {
            const std::string place =
                input + ":" + std::to_string(tsvError.line) + ":" + std::to_string(tsvError.column);
            std::fprintf(stderr, "%s: %s\n", place.c_str(), tsvError.message.c_str());
            failed = true;
            continue;
        }
        // Every file is read even after a failure, so that one run reports
        // the first error of each file.
        if (failed) continue;
        const int index = writer.AddTable(table.columns, &error);
        if (index < 0) {
            std::fprintf(stderr, "%s: %s\n", input.c_str(), error.c_str());
            failed = true;
            continue;
        }
        for (std::size_t r = 0; r < table.rows.size() && !failed; ++r) {
            if (!writer.AddRow(index, std::move(table.rows[r]), &error)) {
                const std::string place = input + ":" + std::to_string(r + 2);
                std::fprintf(stderr, "%s: %s\n", place.c_str(), error.c_str());
                failed = true;
            }
        }
    }
    if (failed) return kExitInput;
    if (!writer.WriteToFile(output, &error)) {
        std::fprintf(stderr, "%s: %s\n", output.c_str(), error.c_str());
        return kExitInput;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "packhold-pack: %s\n", e.what());
        return kExitInput;
    }
}
