// catchline-cli: the program's headless tool.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/cli/commands.h"
#include "util/dialogs.h"
#include "util/text.h"

namespace {

struct Command {
    const char* Name;
    int (*Run)(const std::vector<std::string>& args);
    const char* Usage;
};

// The command table. Each command lives in its own file of tools/cli.
const Command kCommands[] = {
    // COMMANDS (one line each)
    {"dump", CmdDump,
     "dump FILE [--values [--max-heart N]] [--header]  print a session (or its header) as JSON;\n"
     "  --values adds the value texts, the 500 m splits and the time in the heart-rate zones"},
    {"save", CmdSave, "save IN OUT                         open IN and save it as OUT (its own kind)"},
    {"convert", CmdConvert, "convert IN OUT                      export IN as a training (.stg) or user (.ini) file"},
    {"export", CmdExport,
     "export IN OUT.fit|OUT.tcx|OUT.csv   IN as a FIT, TCX or RowingData CSV file (--grid IN OUT.csv: the stroke data "
     "grid)"},
    {"replay", CmdReplay,
     "replay [FILE|DEMO] [--json] [--weight KG]  play a raw data file through the stroke computation"},
    {"row", CmdRow,
     "row [--source DEMO|PORT|ADDRESS|capture:FILE] [--type N] [--heart SOURCE] [--max-heart N] [--user FILE] [--limit "
     "strokes:N|energy:KJ|distance:M|time:S] [--intervals COUNT:BY:WORK:REST] [--out FILE.stg] [--fast]  row a session "
     "without a window"},
    {"recover", CmdRecover,
     "recover [--list] [--out FILE.stg] [JOURNAL]  save an unsaved recording from its journal (the latest by default), "
     "or list the journals"},
    {"simulate", CmdSimulate,
     "simulate vt|vt3|od|ot [--file FILE] [--speed X] [--wait-open]  play a device on a pseudo-terminal;\n"
     "  simulate ftms|hrm --out FILE [--file FILE] [--weight KG]  write a capture of the recording"},
    {"capture", CmdCapture,
     "capture ADDRESS --out FILE [--device rower|strap] [--seconds N]  record a Bluetooth device's notifications"},
};

void PrintUsage(FILE* out)
{
    std::fprintf(out, "Usage: catchline-cli COMMAND [ARGS]\n\nCommands:\n");
    for (const auto& c : kCommands) std::fprintf(out, "  %s\n", c.Usage);
}

}  // namespace

int main(int argc, char** argv)
{
    InitLocaleFromEnvironment();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    for (const auto& c : kCommands) {
        if (args[0] == c.Name) {
            std::vector<std::string> rest(args.begin() + 1, args.end());
            return c.Run(rest);
        }
    }
    std::fprintf(stderr, "catchline-cli: unknown command \"%s\"\n\n", args[0].c_str());
    PrintUsage(stderr);
    return 2;
}
