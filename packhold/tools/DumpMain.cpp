// packhold-dump: prints a package's tables back in the TSV form that
// packhold-pack reads. See Usage() and docs/package-format.md.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "PackholdWriter.h"
#include "tools/ToolMain.h"
#include "tools/Tsv.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using packhold::tools::kExitInput;
using packhold::tools::kExitOk;
using packhold::tools::kExitUsage;

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: packhold-dump FILE.res [--key KEY] [-o DIR]\n"
                 "\n"
                 "Prints the tables of the package FILE.res as TSV.\n"
                 "  --key KEY   the key the package was packed with (default \"%s\")\n"
                 "  -o DIR      write table n to DIR/n.tsv (numbers zero-padded to one width, so\n"
                 "              DIR/*.tsv lists them in order); DIR must be empty or absent.\n"
                 "              Then 'packhold-pack -o OUT.res DIR/*.tsv' gives back FILE.res\n"
                 "              byte for byte (add --no-table-set when the dump says so).\n"
                 "  -h, --help  show this text\n"
                 "Without -o, every table goes to standard output after a line '# table N'\n"
                 "(for reading, not for packing again). A package without a table set prints\n"
                 "'# no table set' and writes no file.\n"
                 "\n"
                 "Exit status: 0 dumped; 1 a package that cannot be read, is damaged or has\n"
                 "another key, or an output that cannot be written; 2 wrong usage.\n",
                 packhold::kDefaultKey);
}

int UsageError(const std::string& text) { return packhold::tools::UsageError("packhold-dump", text); }

bool WriteText(std::FILE* file, const std::string& text) {
    return text.empty() || std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

int DumpToDirectory(const packhold::Package& package, const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir(directory);
    if (fs::exists(dir, ec)) {
        if (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec)) {
            std::fprintf(stderr, "%s: not an empty directory\n", directory.c_str());
            return kExitInput;
        }
    } else if (!fs::create_directories(dir, ec) || ec) {
        std::fprintf(stderr, "%s: cannot create the directory\n", directory.c_str());
        return kExitInput;
    }
    if (!package.hasTableSet) {
        std::printf("# no table set\n");
        return kExitOk;
    }
    const std::size_t count = package.tables.size();
    std::size_t width = 1;
    for (std::size_t n = count > 0 ? count - 1 : 0; n >= 10; n /= 10) ++width;
    for (std::size_t t = 0; t < count; ++t) {
        std::string name = std::to_string(t);
        name.insert(0, width - name.size(), '0');
        const std::string path = (dir / (name + ".tsv")).string();
        const std::string text = packhold::FormatTsv(package.tables[t]);
        std::string error;
        if (!packhold::WriteFileAtomically(path, std::vector<unsigned char>(text.begin(), text.end()), &error)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
            return kExitInput;
        }
    }
    return kExitOk;
}

int DumpToStdout(const packhold::Package& package) {
#if defined(_WIN32)
    // Rows end in "\n" exactly as packhold-pack reads them.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    bool ok = true;
    if (!package.hasTableSet) ok = WriteText(stdout, "# no table set\n");
    for (std::size_t t = 0; t < package.tables.size() && ok; ++t) {
        ok = WriteText(stdout, "# table " + std::to_string(t) + "\n") &&
             WriteText(stdout, packhold::FormatTsv(package.tables[t]));
    }
    ok = std::fflush(stdout) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "packhold-dump: cannot write to standard output\n");
        return kExitInput;
    }
    return kExitOk;
}

int Run(int argc, char** argv) {
    std::string input;
    std::string key = packhold::kDefaultKey;
    std::string directory;
    bool haveDirectory = false;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!input.empty()) return UsageError("more than one package given");
            input = arg;
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return kExitOk;
        } else if (arg == "-o" || arg == "--key") {
            if (i + 1 == argc) return UsageError(arg + " needs a value");
            if (arg == "-o") {
                directory = argv[++i];
                haveDirectory = true;
            } else {
                key = argv[++i];
            }
        } else if (arg.rfind("--key=", 0) == 0) {
            key = arg.substr(6);
        } else {
            return UsageError("unknown option " + arg);
        }
    }
    if (input.empty()) return UsageError("no package given");
    if (haveDirectory && directory.empty()) return UsageError("-o needs a directory");

    std::vector<unsigned char> bytes;
    std::string error;
    packhold::Package package;
    if (!packhold::ReadWholeFile(input, &bytes, &error) ||
        !packhold::DecodePackage(bytes.data(), bytes.size(), key, &package, &error)) {
        std::fprintf(stderr, "%s: %s\n", input.c_str(), error.c_str());
        return kExitInput;
    }
    return haveDirectory ? DumpToDirectory(package, directory) : DumpToStdout(package);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "packhold-dump: %s\n", e.what());
        return kExitInput;
    }
}
