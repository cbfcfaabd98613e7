// Rule-list tool benchmark, native: the tool as operators run it on long
// address lists, each verb as its own process, its wall time and its peak
// memory beside the larger of the files it reads and writes. The lists:
//   - with --countries FILE (a country range file of lines "FIRST,LAST,CC",
//     addresses as numbers: Debian's tor-geoipdb, installed for `make
//     bench`), its ranges as a plain list, and the same addresses written
//     country by country as CIDR blocks;
//   - a generated list of ranges of mixed statuses, shaped like a country
//     range list (ascending, of every width, a tenth of them blocks nested
//     in earlier ranges, as a list merged with its own CIDR form holds),
//     where little joins.
// With --anchor, the path of iprange, each verb is set beside iprange's
// closest operation on the same addresses, and the ratio is printed. Each
// figure is the median of --runs runs (3). With
// --keep FOLDER the lists and every output stay there, to compare two
// builds' outputs. Built by the native build, run by `make bench`.
#include "lists/address_set.h"

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {


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
                    text += DottedAddress(start) + "/24\tignore\n";
                    *addressesOnly += DottedAddress(start) + "/24\n";
                    continue;
                }
            }
        }
        address += next(2048);
        const uint32_t width = next(5) == 0 ? next(65536) : next(1024);
        text += DottedAddress(address) + "-" + DottedAddress(address + width) + "\t" + statuses[next(4)] + "\n";
        *addressesOnly += DottedAddress(address) + "-" + DottedAddress(address + width) + "\n";
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

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file) std::fclose(file);
    return written;
}

struct CountryRange {
    uint32_t low;
    uint32_t high;
    std::string country;
};

std::vector<CountryRange> ReadCountryRanges(const std::string& path) {
    std::vector<CountryRange> ranges;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return ranges;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        unsigned long low = 0, high = 0;
        char country[8] = {};
        if (line[0] == '#' || std::sscanf(line, "%lu,%lu,%7[^,\n]", &low, &high, country) != 3) continue;
        ranges.push_back({static_cast<uint32_t>(low), static_cast<uint32_t>(high), country});
    }
    std::fclose(file);
    return ranges;
}

// The ranges one a line; and the same addresses country by country (in the
// order of their codes), each range as its CIDR blocks, under a comment
// naming the country, as per-country block lists are published.
std::string RangesText(const std::vector<CountryRange>& ranges) {
    std::string text;
    for (const CountryRange& range : ranges) text += DottedAddress(range.low) + "-" + DottedAddress(range.high) + "\n";
    return text;
}

std::string PerCountryBlocks(std::vector<CountryRange> ranges, size_t* blocks) {
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const CountryRange& a, const CountryRange& b) { return a.country < b.country; });
    std::string text;
    for (size_t i = 0; i < ranges.size(); ++i) {
        if (i == 0 || ranges[i].country != ranges[i - 1].country) text += "# " + ranges[i].country + "\n";
        for (const auto& [start, length] : CidrBlocks(ranges[i].low, ranges[i].high)) {
            text += DottedAddress(start) + "/" + std::to_string(length) + "\n";
            ++*blocks;
        }
    }
    return text;
}

struct Step {
    const char* title;
    std::vector<std::string> arguments;
    std::string input;   // the file it reads
    std::string output;  // the file it writes, if any
    bool anchorMerges;   // iprange prints the merge as ranges (else as blocks)
    // Set beside iprange plus a copy of the rule file it writes, flushed
    // as the tool flushes it: iprange writes no file of that size.
    bool anchorCopiesOutput;
};

// The median of `runs` runs, by time; its peak memory with it.
Run MedianRun(int runs, const std::string& program, const std::vector<std::string>& arguments,
              const std::string& output = "") {
    std::vector<Run> all;
    for (int i = 0; i < runs; ++i) all.push_back(RunTool(program, arguments, output));
    std::sort(all.begin(), all.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

// A flushed copy of `file`, as the tool flushes the rule files it writes.
double CopySeconds(int runs, const std::string& file, const std::string& base) {
    return MedianRun(runs, "/bin/dd", {"if=" + file, "of=" + base + "/copy.tdb", "bs=1M", "conv=fsync", "status=none"})
        .seconds;
}

// Runs each step and, with an anchor, iprange's closest operation on
// `addresses`, each `runs` times; false when a step failed.
bool RunSteps(int runs, const std::string& tool, const std::string& anchor, const std::string& addresses,
              const std::string& base, const std::vector<Step>& steps) {
    bool good = true;
    for (const Step& step : steps) {
        const Run run = MedianRun(runs, tool, step.arguments);
        const double largest = static_cast<double>(std::max(FileBytes(step.input), FileBytes(step.output))) /
                               (1 << 20);
        const double peak = static_cast<double>(run.peakKilobytes) / 1024;
        std::printf("  %-26s %6.2f s   peak %6.1f MB = %.2f x the larger file (%.1f MB)%s\n", step.title,
                    run.seconds, peak, largest > 0 ? peak / largest : 0.0, largest,
                    run.status == 0 || run.status == 1 ? "" : "   FAILED");
        if (run.status != 0 && run.status != 1) good = false;
        if (anchor.empty()) continue;
        const std::vector<std::string> merge = step.anchorMerges
                                                   ? std::vector<std::string>{"--print-ranges", addresses}
                                                   : std::vector<std::string>{addresses};
        Run reference = MedianRun(runs, anchor, merge, base + "/anchor.txt");
        if (step.anchorCopiesOutput) reference.seconds += CopySeconds(runs, step.output, base);
        std::printf("  %-26s %6.2f s   peak %6.1f MB   tool = %.1f x%s\n", "  iprange", reference.seconds,
                    static_cast<double>(reference.peakKilobytes) / 1024,
                    reference.seconds > 0 ? run.seconds / reference.seconds : 0.0,
                    step.anchorCopiesOutput ? " (with a copy of the rule file written)" : "");
        // A rule file as long as its input is mostly the copying of it.
        if (!step.anchorCopiesOutput && step.output.size() > 4 &&
            step.output.compare(step.output.size() - 4, 4, ".tdb") == 0 && FileBytes(step.output) > (64 << 20)) {
            const double both = reference.seconds + CopySeconds(runs, step.output, base);
            std::printf("  %-26s %6.2f s                    tool = %.1f x (with a copy of the rule file written)\n",
                        "  iprange + copy", both, both > 0 ? run.seconds / both : 0.0);
        }
    }
    return good;
}

// Every verb on a plain list of address ranges and the rule file it makes.
std::vector<Step> VerbSteps(const std::string& base, const std::string& list) {
    const std::string rules = base + "/ranges.tdb";
    return {
        {"import", {"import", list, "-o", rules}, list, rules, true, true},
        {"check (with containment)", {"check", rules}, rules, "", true, false},
        {"optimize", {"optimize", rules, "-o", base + "/optimized.tdb"}, rules, base + "/optimized.tdb", true,
         false},
        {"export", {"export", rules, "-o", base + "/exported.txt"}, rules, base + "/exported.txt", true, false},
        {"export --cidr", {"export", rules, "--cidr", "-o", base + "/blocks.txt"}, rules, base + "/blocks.txt",
         false, false},
        {"why", {"why", rules, "Guest", "203.0.113.9"}, rules, "", true, false},
        {"import of the export", {"import", base + "/exported.txt", "-o", base + "/again.tdb"},
         base + "/exported.txt", base + "/again.tdb", true, true},
        {"import --optimize", {"import", "--optimize", list, "-o", base + "/both.tdb"}, list, base + "/both.tdb",
         true, true},
    };
}

}  // namespace

int main(int argc, char** argv) {
    std::string tool;
    std::string anchor;
    std::string countries;
    uint32_t ranges = 400000;
    int runs = 3;
    std::string keep;  // --keep FOLDER: the lists and outputs stay there
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--tool") == 0) tool = argv[i + 1];
        else if (std::strcmp(argv[i], "--anchor") == 0) anchor = argv[i + 1];
        else if (std::strcmp(argv[i], "--countries") == 0) countries = argv[i + 1];
        else if (std::strcmp(argv[i], "--ranges") == 0) ranges = static_cast<uint32_t>(std::atol(argv[i + 1]));
        else if (std::strcmp(argv[i], "--keep") == 0) keep = argv[i + 1];
        else if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (tool.empty() || ranges == 0) {
        std::fprintf(stderr, "usage: tool_bench --tool PATH [--anchor IPRANGE] [--countries FILE] [--ranges N] "
                             "[--runs N] [--keep FOLDER]\n");
        return 2;
    }
    char folder[] = "/tmp/torvo-tool-bench.XXXXXX";
    if (keep.empty() && !mkdtemp(folder)) return 2;
    const std::string base = keep.empty() ? std::string(folder) : keep;
    std::printf("rule-list tool (native, optimised build), each verb as its own process, the median of %d runs\n",
                runs);
    if (!anchor.empty()) {
        std::printf("anchor: %s on the same addresses; its closest operation after each verb, and the\n"
                    "tool's time as a multiple of it\n", anchor.c_str());
    }
    // The lists are written and let go before any step: a forked child
    // counts the parent's pages in its peak until it runs the tool.
    const std::string countryList = base + "/countries.txt", perCountry = base + "/per-country.txt";
    size_t countryRanges = 0, blocks = 0;
    if (!countries.empty()) {
        const std::vector<CountryRange> read = ReadCountryRanges(countries);
        countryRanges = read.size();
        if (read.empty()) std::printf("\n%s: no country ranges there; those lists are left out\n", countries.c_str());
        if (!read.empty() && (!WriteFile(countryList, RangesText(read)) ||
                              !WriteFile(perCountry, PerCountryBlocks(read, &blocks)))) {
            return 2;
        }
    }
    const std::string list = base + "/generated.txt", addressList = base + "/generated-addresses.txt";
    {
        std::string addresses;
        if (!WriteFile(list, MakeRangeList(ranges, &addresses)) || !WriteFile(addressList, addresses)) return 2;
    }
    bool good = true;
    if (countryRanges > 0) {
        std::printf("\n%s: %zu ranges\n", countries.c_str(), countryRanges);
        good &= RunSteps(runs, tool, anchor, countryList, base, VerbSteps(base, countryList));
        std::printf("  rules after optimize: %ld of %ld\n", FileBytes(base + "/optimized.tdb") / 460,
                    FileBytes(base + "/ranges.tdb") / 460);
        std::printf("\nthe same addresses per country: %zu CIDR blocks\n", blocks);
        const std::string rules = base + "/per-country.tdb";
        good &= RunSteps(runs, tool, anchor, perCountry, base,
                         {{"import --optimize", {"import", "--optimize", perCountry, "-o", rules}, perCountry, rules,
                           true, true}});
        std::printf("  rules after import --optimize: %ld\n", FileBytes(rules) / 460);
    }
    std::printf("\n%u generated ranges of mixed statuses\n", ranges);
    good &= RunSteps(runs, tool, anchor, addressList, base, VerbSteps(base, list));
    std::printf("  rules after optimize: %ld of %ld\n", FileBytes(base + "/optimized.tdb") / 460,
                FileBytes(base + "/ranges.tdb") / 460);
    const std::string remove = "rm -rf '" + base + "'";
    if (keep.empty() && std::system(remove.c_str()) != 0) good = false;
    return good ? 0 : 1;
}
