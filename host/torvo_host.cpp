// A stand-in for the chat host: loads MODULES\torvo.jem from the working
// folder as the chat host does, reports one room of visitors to it, and
// prints what the module did to each visitor. It can open the module's rule
// editor, for real use or for a screenshot, and report the room again after.
#include "host/host_parts.h"

#include "host/sample_room.h"
#include "host/visitor_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char USAGE[] =
    "Usage: torvo_host [options]\n"
    "Loads MODULES\\torvo.jem from the working folder, reports a room of visitors to it\n"
    "and prints what it did. At exit the module saves MODULES\\torvo.tdb if the rules\n"
    "were edited or the file is missing.\n"
    "  --visitors FILE     visitors from FILE (UTF-8, \"nickname<TAB>ip\" a line; blank\n"
    "                      lines and lines starting with # are skipped); default: a\n"
    "                      built-in sample room\n"
    "  --present N         the first N visitors are in the room when it is reported\n"
    "                      (event 16); the rest arrive one by one (event 64). Default:\n"
    "                      4 for the sample room, half of the visitors of a file\n"
    "  --recheck ROW       then re-check the visitor of table row ROW (event 8192)\n"
    "  --editor            open the module's rule editor; when it closes, report the\n"
    "                      room again as it was at the start (event 16)\n"
    "  --config FILE       configuration file named to the editor (default:\n"
    "                      torvo_host.ini in the working folder, if any)\n"
    "  --ansi              tell the module the host talks ANSI (character mode 1)\n"
    "  --screenshot FILE   open the editor, save a picture of it (PNG when FILE ends\n"
    "                      in .png, else BMP) and close it\n"
    "  --write-sample-rules FILE   write the sample rule list to FILE and stop\n";


// ---- Main ---------------------------------------------------------------

bool LoadVisitors(const Options& options, std::vector<HostVisitor>& visitors, size_t& present) {
    if (options.visitorFile.empty()) {
        visitors = SampleVisitors();
        present = SAMPLE_PRESENT_VISITORS;
    } else {
        VisitorList list;
        if (!ReadVisitorFile(options.visitorFile, list)) {
            PrintError("cannot read the visitor file " + options.visitorFile);
            return false;
        }
        for (const VisitorFileProblem& problem : list.problems) {
            PrintError(options.visitorFile + ":" + std::to_string(problem.line) + ": " +
                       problem.reason + "; line skipped");
        }
        visitors = std::move(list.visitors);
        present = (visitors.size() + 1) / 2;
    }
    if (options.present >= 0) present = std::min(static_cast<size_t>(options.present), visitors.size());
    return true;
}

std::string RuleFileSummary() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(RULE_FILE, GetFileExInfoStandard, &data)) {
        return std::string(RULE_FILE) + " does not exist";
    }
    const DWORD size = data.nFileSizeLow;
    return std::string(RULE_FILE) + " holds " + std::to_string(size / RULE_SIZE) + " rule(s), " +
           std::to_string(size) + " bytes";
}

int RunHost(const Options& options) {
    std::vector<HostVisitor> visitors;
    size_t present = 0;
    if (!LoadVisitors(options, visitors, present)) return EXIT_NO_FILE;
    if (options.recheckRow > static_cast<long>(visitors.size())) {
        PrintError("--recheck " + std::to_string(options.recheckRow) + ": the room has " +
                   std::to_string(visitors.size()) + " visitor(s)");
        return EXIT_USAGE;
    }

    // The chat host makes these classes available; the editor relies on it.
    PrepareHostClasses();

    HostModule module;
    if (!LoadTorvo(module)) return EXIT_NO_MODULE;
    PrintModuleHeader(module);

    HostRoom room;
    if (!BuildRoom(room, visitors)) {
        PrintError("cannot create the room's visitor list window");
        UnloadModule(module.loaded);
        return EXIT_WINDOWS_FAILED;
    }
    ReportRoom(module, room, present);
    if (options.recheckRow > 0) Recheck(module, room, static_cast<size_t>(options.recheckRow - 1));
    PrintTable("Room: " + std::to_string(present) + " visitor(s) present (event 16), " +
                   std::to_string(visitors.size() - present) + " arriving (event 64)" +
                   (options.recheckRow > 0 && Handles(module, EVENT_ONE_USER)
                        ? ", row " + std::to_string(options.recheckRow) + " re-checked (event 8192)"
                        : ""),
               room);

    int result = EXIT_OK;
    if (options.editor || !options.screenshotFile.empty()) result = UseEditor(module, options, room);

    const std::vector<std::string> changed = HostBytesChanged(room);
    for (const std::string& what : changed) PrintError("the module changed " + what);
    if (!changed.empty() && result == EXIT_OK) result = EXIT_HOST_BYTES_CHANGED;

    // Unloading makes the module save its rule file.
    UnloadModule(module.loaded);
    Print("\nUnloaded the module: " + RuleFileSummary() + "\n");
    DestroyWindow(room.window);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    // Line ends as "\n" alone, whether the output goes to a Windows pipe or
    // through Wine to a Unix terminal.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        PrintError(error);
        std::fwrite(USAGE, 1, sizeof USAGE - 1, stderr);
        return EXIT_USAGE;
    }
    if (options.help) {
        Print(USAGE);
        return EXIT_OK;
    }
    if (!options.sampleRulesFile.empty()) {
        if (!WriteSampleRules(options.sampleRulesFile.c_str())) {
            PrintError("cannot write " + options.sampleRulesFile);
            return EXIT_NO_FILE;
        }
        Print("Wrote " + std::to_string(SampleRules().size()) + " sample rules to " +
              options.sampleRulesFile + "\n");
        return EXIT_OK;
    }
    const int result = RunHost(options);
    std::fflush(stdout);
    return result;
}

