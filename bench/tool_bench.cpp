// Rule-list tool benchmark, native: the tool as operators run it on a long
// address list. Makes a plain list of ranges shaped like a country range
// list (ascending, of every width, a tenth of them blocks nested in earlier
// ranges, as a list merged with its own CIDR form holds), then times each
// verb as its own process and prints its wall time and peak memory beside
// the rule file's size. With --anchor, the path of iprange (installed for
// `make bench`), each verb is set beside iprange's closest operation on the
// same addresses, and the ratio is printed. With --keep FOLDER the lists and
// every output stay there, to compare two builds' outputs. Built by the
// native build, run by `make bench`.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Dotted(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

// A deterministic list: no seed from outside, the same list every run.
// `addressesOnly` gets the same list with its first column alone, as
// address tools read it.
std::string MakeRangeList(uint32_t ranges, std::string* addressesOnly) {
    uint64_t state = 0x2545F4914F6CDD1Dull;
    auto next = [&state](uint32_t bound) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state % bound);
    };
    const char* statuses[] = {"ignore", "ignore", "no-private", "allow-all"};
    std::string text;
    std::vector<std::pair<uint32_t, uint32_t>> made;
    uint32_t address = 0x01000000;
    for (uint32_t i = 0; i < ranges; ++i) {
        if (!made.empty() && next(10) == 0) {
            // A /24 inside an earlier range of 256 or more addresses: hidden.
            const auto& outer = made[next(static_cast<uint32_t>(made.size()))];
            if (outer.second - outer.first >= 255) {
                const uint32_t start = (outer.first + 255) & ~0xFFu;
                if (start + 255 <= outer.second) {
                    text += Dotted(start) + "/24\tignore\n";
                    *addressesOnly += Dotted(start) + "/24\n";
                    continue;
                }
            }
        }
        address += next(2048);
        const uint32_t width = next(5) == 0 ? next(65536) : next(1024);
        text += Dotted(address) + "-" + Dotted(address + width) + "\t" + statuses[next(4)] + "\n";
        *addressesOnly += Dotted(address) + "-" + Dotted(address + width) + "\n";
        made.emplace_back(address, address + width);
        address += width + 1;
    }
    return text;
}

struct Run {
    double seconds;
    long peakKilobytes;
    int status;
};

// Runs `tool` with `arguments`; its standard output goes to `output`
// (/dev/null when empty).
Run RunTool(const std::string& tool, const std::vector<std::string>& arguments,
            const std::string& output = "") {
    std::vector<std::string> all = {tool};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    std::fflush(stdout);  // the child must not print the parent's buffered lines again
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const char* out = output.empty() ? "/dev/null" : output.c_str();
        if (!std::freopen(out, "w", stdout) || !std::freopen("/dev/null", "w", stderr)) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

long FileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size;
}

}  // namespace

int main(int argc, char** argv) {
    std::string tool;
    std::string anchor;
    uint32_t ranges = 400000;
    std::string keep;  // --keep FOLDER: the lists and outputs stay there
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--tool") == 0) tool = argv[i + 1];
        else if (std::strcmp(argv[i], "--anchor") == 0) anchor = argv[i + 1];
        else if (std::strcmp(argv[i], "--ranges") == 0) ranges = static_cast<uint32_t>(std::atol(argv[i + 1]));
        else if (std::strcmp(argv[i], "--keep") == 0) keep = argv[i + 1];
    }
    if (tool.empty() || ranges == 0) {
        std::fprintf(stderr, "usage: tool_bench --tool PATH [--anchor IPRANGE] [--ranges N] [--keep FOLDER]\n");
        return 2;
    }
    char folder[] = "/tmp/torvo-tool-bench.XXXXXX";
    if (keep.empty() && !mkdtemp(folder)) return 2;
    const std::string base = keep.empty() ? std::string(folder) : keep;
    const std::string list = base + "/ranges.txt", rules = base + "/ranges.tdb";
    const std::string addressList = base + "/addresses.txt";
    {
        std::string addresses;
        const std::string text = MakeRangeList(ranges, &addresses);
        const std::pair<const std::string*, const std::string*> files[] = {{&list, &text},
                                                                          {&addressList, &addresses}};
        for (const auto& [path, bytes] : files) {
            std::FILE* file = std::fopen(path->c_str(), "wb");
            if (!file || std::fwrite(bytes->data(), 1, bytes->size(), file) != bytes->size()) return 2;
            std::fclose(file);
        }
    }
    std::printf("rule-list tool (native, optimised build): %u generated ranges\n", ranges);
    if (!anchor.empty()) {
        std::printf("anchor: %s on the same addresses (first column alone); its closest operation\n"
                    "after each verb, and the tool's time as a multiple of it\n", anchor.c_str());
    }
    // iprange's closest operations: reading and merging the addresses, as
    // ranges or as blocks. Import is set beside that plus a plain copy of
    // the rule file it writes, flushed to the disk as the tool flushes it.
    const std::vector<std::string> anchorRanges = {"--print-ranges", addressList};
    const std::vector<std::string> anchorBlocks = {addressList};
    struct Step {
        const char* title;
        std::vector<std::string> arguments;
        const std::vector<std::string>* anchorArguments;
        bool anchorCopiesRuleFile;
        // A rule file the verb writes whose copy iprange's merge is also set
        // beside: its merge writes no file of that size.
        std::string writtenRuleFile;
    };
    const Step steps[] = {
        {"import", {"import", list, "-o", rules}, &anchorRanges, true, {}},
        {"check (with containment)", {"check", rules}, &anchorRanges, false, {}},
        {"optimize", {"optimize", rules, "-o", base + "/optimized.tdb"}, &anchorRanges, false,
         base + "/optimized.tdb"},
        {"export", {"export", rules, "-o", base + "/exported.txt"}, &anchorRanges, false, {}},
        {"export --cidr", {"export", rules, "--cidr", "-o", base + "/blocks.txt"}, &anchorBlocks, false, {}},
        {"import of the export", {"import", base + "/exported.txt", "-o", base + "/again.tdb"}, &anchorRanges, true, {}},
        {"import --optimize", {"import", "--optimize", list, "-o", base + "/both.tdb"}, &anchorRanges, true, {}},
    };
    int failed = 0;
    for (const Step& step : steps) {
        const Run run = RunTool(tool, step.arguments);
        const double fileMegabytes = static_cast<double>(FileBytes(rules)) / (1 << 20);
        const double peakMegabytes = static_cast<double>(run.peakKilobytes) / 1024;
        std::printf("  %-26s %6.2f s   peak %6.0f MB = %.2f x the rule file (%.0f MB)%s\n", step.title,
                    run.seconds, peakMegabytes, fileMegabytes > 0 ? peakMegabytes / fileMegabytes : 0.0,
                    fileMegabytes, run.status == 0 || run.status == 1 ? "" : "   FAILED");
        if (!anchor.empty()) {
            Run reference = RunTool(anchor, *step.anchorArguments, base + "/anchor.txt");
            if (step.anchorCopiesRuleFile) {
                const Run copy = RunTool("/bin/dd", {"if=" + rules, "of=" + base + "/copy.tdb", "bs=1M",
                                                     "conv=fsync", "status=none"});
                reference.seconds += copy.seconds;
            }
            std::printf("  %-26s %6.2f s   peak %6.1f MB   tool = %.1f x%s\n", "  iprange", reference.seconds,
                        static_cast<double>(reference.peakKilobytes) / 1024,
                        reference.seconds > 0 ? run.seconds / reference.seconds : 0.0,
                        step.anchorCopiesRuleFile ? " (with a copy of the rule file)" : "");
            if (!step.writtenRuleFile.empty()) {
                const Run copy = RunTool("/bin/dd", {"if=" + step.writtenRuleFile, "of=" + base + "/copy.tdb",
                                                     "bs=1M", "conv=fsync", "status=none"});
                const double both = reference.seconds + copy.seconds;
                std::printf("  %-26s %6.2f s                    tool = %.1f x (iprange and a copy of the "
                            "rule file it writes)\n", "  iprange + copy", both,
                            both > 0 ? run.seconds / both : 0.0);
            }
        }
        if (run.status != 0 && run.status != 1) failed = 1;
    }
    std::printf("  rules after optimize: %ld of %ld\n", FileBytes(base + "/optimized.tdb") / 460,
                FileBytes(rules) / 460);
    const std::string remove = "rm -rf '" + base + "'";
    if (keep.empty() && std::system(remove.c_str()) != 0) failed = 1;
    return failed;
}
