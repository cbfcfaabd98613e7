// torvo-rules: the rule list of torvo.jem for operators, from the command
// line. It reads and writes rule files with the module's own rule-file code.
// This file holds the usage, the reading of the command line and the table
// of verbs; the verbs are in verbs_reading.cpp and verbs_writing.cpp.
//   show FILE            the rules as a table
//   export FILE          the rules as tab-separated text, or as CIDR blocks
//   import TEXT -o FILE  a rule file from such a text or a plain list
//   check FILE           rules that cannot work as meant, or hide others
//   merge A B -o C       A's rules, then those of B not already in A
//   optimize FILE -o OUT the same list with address rules joined
//   why FILE NICK IP     which rules pick one visitor, and why others do not
//   prune FILE -o OUT    the same list without expired or old rules
// Exit status: 0 done, 1 something reported (findings, bad lines), 2 bad
// usage, a file that cannot be read or written, or one that is no rule file.
#include "lists/plain_list.h"
#include "lists/rule_words.h"
#include "rules/file_access.h"
#include "tool/console_output.h"
#include "tool/tool_verbs.h"
#include "version.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr char USAGE[] =
    "torvo-rules " TORVO_VERSION_TEXT ": the rule list of the Torvo module (MODULES\\torvo.tdb)\n"
    "\n"
    "  torvo-rules show FILE [--lang ru|en]   the rules as a table (in Russian without --lang)\n"
    "  torvo-rules export FILE [-o TEXT] [--cidr [--plain]]\n"
    "                                         the rules as tab-separated text; with --cidr\n"
    "                                         the address rules as A/n blocks with status and\n"
    "                                         colours, with --plain the blocks alone\n"
    "  torvo-rules import TEXT -o FILE [--skip-bad] [--optimize] [--allow-empty]\n"
    "                         [--expires WHEN] [--note TEXT]\n"
    "                                         a rule file from an exported text or a plain\n"
    "                                         list (nicknames, 10.0.*, 10.0.0.1,\n"
    "                                         10.0.0.1-10.0.0.9, 198.51.100.0/24); a plain\n"
    "                                         line's rule gets the time added, the expiry\n"
    "                                         (WHEN: 90s, 30m, 12h, 7d from now, or a UTC\n"
    "                                         2027-01-31 or 2027-01-31T18:00[:SS][Z]) and\n"
    "                                         the note (at most 80 UTF-16 units)\n"
    "  torvo-rules check FILE                 rules that never pick anyone, duplicates,\n"
    "                                         rules hidden by earlier ones, overlaps\n"
    "  torvo-rules merge A B -o C [--allow-empty]\n"
    "                                         A's rules, then B's rules not already in A\n"
    "  torvo-rules optimize FILE -o OUT [--allow-empty]\n"
    "                                         address rules joined and dropped where every\n"
    "                                         visitor still gets the same\n"
    "  torvo-rules why FILE NICK IP           which rules pick this visitor and which nearly\n"
    "                                         do (NICK or IP \"-\": the visitor has none)\n"
    "  torvo-rules prune FILE -o OUT [--expired] [--added-before DATE] [--allow-empty]\n"
    "                                         the list without the rules expired by now, or\n"
    "                                         added before DATE (rules with no time added\n"
    "                                         stay)\n"
    "\n"
    "TEXT \"-\" is standard input or output; export without -o writes to standard\n"
    "output. Rules are numbered from 1, in list order.\n"
    "A plain list's line: ENTRY [TAB STATUS [TAB NICK-COLOUR [TAB TEXT-COLOUR]]];\n";

// The defaults of a plain list's columns, from the constants import uses.
constexpr char USAGE_AFTER_DEFAULTS[] =
    "show, export, check, merge, optimize and why refuse a FILE that is no rule file\n"
    "(a part record at its end, records mostly of values no rule list holds, a text\n"
    "list); --force reads its whole records all the same.\n"
    "\"--\" ends the options: what follows is taken as file names and values.\n"
    "An output is never one of the inputs, and an empty list is not written over a\n"
    "file that holds rules unless --allow-empty is given.\n"
    "Times are UTC; TORVO_NOW (seconds since 1970) stands for the clock when set.\n"
    "Exit status: 0 done, 1 findings or bad lines reported, 2 bad usage, a file\n"
    "that cannot be read or written, or one that is no rule file.\n";

std::string UsageText() {
    return std::string(USAGE) + "left out: status " + StatusKeyword(PLAIN_DEFAULT_STATUS) +
           ", nickname colour " + ColourText(PLAIN_DEFAULT_NICK_COLOR) + ", message colour " +
           ColourText(PLAIN_DEFAULT_TEXT_COLOR) + ".\n" + USAGE_AFTER_DEFAULTS;
}

enum Option : unsigned { OPTION_OUTPUT = 1, OPTION_LANG = 2, OPTION_SKIP_BAD = 4, OPTION_OPTIMIZE = 8,
                         OPTION_ALLOW_EMPTY = 16, OPTION_CIDR = 32, OPTION_PLAIN = 64, OPTION_FORCE = 128,
                         OPTION_EXPIRES = 256, OPTION_NOTE = 512, OPTION_EXPIRED = 1024,
                         OPTION_ADDED_BEFORE = 2048 };

struct Verb {
    const char* name;
    size_t operands;
    const char* operandsText;  // for the complaint about a wrong count
    bool writesRuleFile;       // needs -o naming a file
    unsigned options;
    int (*run)(const Arguments&);
};

const Verb VERBS[] = {
    {"show", 1, "1 file", false, OPTION_LANG | OPTION_FORCE, Show},
    {"export", 1, "1 file", false, OPTION_OUTPUT | OPTION_CIDR | OPTION_PLAIN | OPTION_FORCE, Export},
    {"import", 1, "1 file", true,
     OPTION_OUTPUT | OPTION_SKIP_BAD | OPTION_OPTIMIZE | OPTION_ALLOW_EMPTY | OPTION_EXPIRES | OPTION_NOTE, Import},
    {"check", 1, "1 file", false, OPTION_FORCE, Check},
    {"merge", 2, "2 files", true, OPTION_OUTPUT | OPTION_ALLOW_EMPTY | OPTION_FORCE, Merge},
    {"optimize", 1, "1 file", true, OPTION_OUTPUT | OPTION_ALLOW_EMPTY | OPTION_FORCE, Optimize},
    {"why", 3, "3 arguments: FILE NICK IP", false, OPTION_FORCE, Why},
    {"prune", 1, "1 file", true,
     OPTION_OUTPUT | OPTION_EXPIRED | OPTION_ADDED_BEFORE | OPTION_ALLOW_EMPTY | OPTION_FORCE, Prune},
};

// The options that only switch something on.
struct Flag {
    const char* name;
    unsigned option;
    bool Arguments::*field;
};
const Flag FLAGS[] = {
    {"--skip-bad", OPTION_SKIP_BAD, &Arguments::skipBad},
    {"--optimize", OPTION_OPTIMIZE, &Arguments::optimize},
    {"--allow-empty", OPTION_ALLOW_EMPTY, &Arguments::allowEmpty},
    {"--cidr", OPTION_CIDR, &Arguments::cidr},
    {"--plain", OPTION_PLAIN, &Arguments::plain},
    {"--force", OPTION_FORCE, &Arguments::force},
    {"--expired", OPTION_EXPIRED, &Arguments::expired},
};

// The field a flag sets, when `argument` is one the verb takes; else null.
bool Arguments::*FlagOf(const std::string& argument, unsigned verbOptions) {
    for (const Flag& flag : FLAGS) {
        if (argument == flag.name && (verbOptions & flag.option)) return flag.field;
    }
    return nullptr;
}

// TORVO_NOW when set, so that tests know the time; else the clock, once.
bool TimeOfThisRun(int64_t* now) {
    const char* forced = std::getenv("TORVO_NOW");
    if (!forced) {
        *now = static_cast<int64_t>(std::time(nullptr));
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(forced, &end, 10);
    if (errno != 0 || end == forced || *end != '\0') return false;
    *now = static_cast<int64_t>(value);
    return true;
}

}  // namespace

int UsageError(const std::string& message) {
    WriteError("torvo-rules: " + message + "\n\n" + UsageText());
    return EXIT_CANNOT;
}

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Tables of a long list are mapped on their own and go back to the
    // system when freed; glibc would otherwise raise this bound as they are
    // freed and keep later ones in its heap, where freed memory stays held.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    PrepareOutput();
    EndCleanlyWhenAViewIsCutShort(
        "torvo-rules: another program cut short a rule file while it was read; nothing was written "
        "(run the command again)\n",
        EXIT_CANNOT);
    if (argc < 2) return UsageError("no verb given");
    const std::string verbName = argv[1];
    if (verbName == "--help" || verbName == "-h" || verbName == "help") {
        WriteOut(UsageText());
        return EXIT_DONE;
    }
    if (verbName == "--version") {
        WriteOut("torvo-rules " TORVO_VERSION_TEXT "\n");
        return EXIT_DONE;
    }
    const Verb* verb = nullptr;
    for (const Verb& candidate : VERBS) {
        if (verbName == candidate.name) verb = &candidate;
    }
    if (!verb) return UsageError("unknown verb \"" + verbName + "\"");

    Arguments arguments;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto allowed = [&](unsigned option) { return (verb->options & option) != 0; };
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            arguments.files.push_back(argument);
            arguments.filesUtf8.push_back(Utf8Argument(argv, i));
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-o" && allowed(OPTION_OUTPUT)) {
            if (i + 1 >= argc || arguments.haveOutput) return UsageError("-o needs one file name");
            arguments.output = argv[++i];
            arguments.haveOutput = true;
        } else if (argument == "--lang" && allowed(OPTION_LANG)) {
            if (i + 1 >= argc) return UsageError("--lang needs a value: ru or en");
            const std::string language = argv[++i];
            if (language != "ru" && language != "en") return UsageError("--lang is ru or en");
            arguments.language = language == "en" ? Language::English : Language::Russian;
        } else if (bool Arguments::*const flag = FlagOf(argument, verb->options)) {
            arguments.*flag = true;
        } else if ((argument == "--expires" && allowed(OPTION_EXPIRES)) ||
                   (argument == "--note" && allowed(OPTION_NOTE)) ||
                   (argument == "--added-before" && allowed(OPTION_ADDED_BEFORE))) {
            const bool expires = argument == "--expires", note = argument == "--note";
            bool& given = expires ? arguments.haveExpires : note ? arguments.haveNote : arguments.haveAddedBefore;
            if (i + 1 >= argc || given) return UsageError(argument + " needs one value");
            ++i;
            (expires ? arguments.expires : note ? arguments.note : arguments.addedBefore) =
                note ? Utf8Argument(argv, i) : argv[i];
            given = true;
        } else if (argument == "-o") {
            return UsageError(verbName + " takes no -o");
        } else {
            return UsageError("unknown option \"" + argument + "\" for " + verbName);
        }
    }
    if (arguments.plain && !arguments.cidr) return UsageError("--plain goes with --cidr");
    if (arguments.files.size() != verb->operands) {
        return UsageError(verbName + " takes " + verb->operandsText);
    }
    if (verb->writesRuleFile && (!arguments.haveOutput || arguments.output == "-")) {
        return UsageError(verbName + " needs -o and the rule file to write");
    }
    if (!TimeOfThisRun(&arguments.now)) {
        return UsageError("TORVO_NOW is a whole number of seconds since 1970, not \"" +
                          std::string(std::getenv("TORVO_NOW")) + "\"");
    }
    return verb->run(arguments);
}
