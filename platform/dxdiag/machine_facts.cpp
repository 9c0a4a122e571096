#include "platform/dxdiag/machine_facts.h"

#include <sys/utsname.h>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace dxdiag {
namespace {

std::string ReadTextFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// "key<sep>value" with the key compared after trimming.
bool SplitKeyValue(std::string_view line, char separator, std::string_view& key, std::string_view& value) {
    const auto at = line.find(separator);
    if (at == std::string_view::npos) return false;
    key = Trim(line.substr(0, at));
    value = Trim(line.substr(at + 1));
    return true;
}

std::uint64_t LeadingNumber(std::string_view text) {
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string FirstLineOf(const char* path) {
    const std::string text = ReadTextFile(path);
    return std::string(Trim(text.substr(0, text.find('\n'))));
}

}  // namespace

std::string ParseOsReleaseName(std::string_view osRelease) {
    for (const auto line : Lines(osRelease)) {
        std::string_view key, value;
        if (!SplitKeyValue(line, '=', key, value) || key != "PRETTY_NAME") continue;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

std::string ParseProcessor(std::string_view cpuinfo, std::string_view fallbackModel) {
    std::string model, fallback;
    unsigned count = 0;
    for (const auto line : Lines(cpuinfo)) {
        std::string_view key, value;
        if (!SplitKeyValue(line, ':', key, value)) continue;
        if (key == "processor") ++count;
        else if (key == "model name" && model.empty()) model = value;
        else if ((key == "Hardware" || key == "Processor") && fallback.empty()) fallback = value;
    }
    if (model.empty()) model = fallback;
    if (count == 0) return model;
    if (model.empty()) model = fallbackModel;
    return model + " (" + std::to_string(count) + (count == 1 ? " CPU)" : " CPUs)");
}

MemoryFigures ParseMemInfo(std::string_view meminfo) {
    MemoryFigures figures;
    for (const auto line : Lines(meminfo)) {
        std::string_view key, value;
        if (!SplitKeyValue(line, ':', key, value)) continue;
        const std::uint64_t bytes = LeadingNumber(value) * 1024;
        if (key == "MemTotal") figures.total = bytes;
        else if (key == "SwapTotal") figures.swapTotal = bytes;
        else if (key == "SwapFree") figures.swapFree = bytes;
    }
    return figures;
}

KernelNumbers ParseKernelRelease(std::string_view release) {
    std::uint32_t parts[3] = {0, 0, 0};
    const char* at = release.data();
    const char* const end = release.data() + release.size();
    for (auto& part : parts) {
        const auto result = std::from_chars(at, end, part);
        if (result.ec != std::errc{}) break;
        at = result.ptr;
        if (at == end || *at != '.') break;
        ++at;
    }
    return {parts[0], parts[1], parts[2]};
}

MachineFacts ReadMachineFacts() {
    MachineFacts facts;
    utsname names{};
    const bool haveNames = uname(&names) == 0;
    if (haveNames) {
        facts.kernelRelease = names.release;
        facts.kernelVersion = names.version;
        facts.machineName = names.nodename;
        const KernelNumbers numbers = ParseKernelRelease(names.release);
        facts.osMajor = numbers.major;
        facts.osMinor = numbers.minor;
        facts.osBuild = numbers.build;
    }
    facts.osName = ParseOsReleaseName(ReadTextFile("/etc/os-release"));
    if (facts.osName.empty()) facts.osName = ParseOsReleaseName(ReadTextFile("/usr/lib/os-release"));
    if (facts.osName.empty() && haveNames) facts.osName = std::string(names.sysname) + " " + names.release;

    const std::string machineType = haveNames ? names.machine : "Unknown processor";
    facts.processor = ParseProcessor(ReadTextFile("/proc/cpuinfo"), machineType);
    if (facts.processor.empty()) facts.processor = machineType;

    const MemoryFigures memory = ParseMemInfo(ReadTextFile("/proc/meminfo"));
    facts.physicalMemory = memory.total;
    facts.swapTotal = memory.swapTotal;
    facts.swapFree = memory.swapFree;

    facts.systemManufacturer = FirstLineOf("/sys/class/dmi/id/sys_vendor");
    facts.systemModel = FirstLineOf("/sys/class/dmi/id/product_name");
    facts.bios = FirstLineOf("/sys/class/dmi/id/bios_version");

#if defined(__x86_64__) || defined(__i386__)
    for (unsigned n = 0; n < facts.extendedCpuFunctions.size(); ++n) {
        auto& words = facts.extendedCpuFunctions[n];
        // __get_cpuid refuses leaves above the highest one the processor offers.
        __get_cpuid(0x80000009u + n, &words[0], &words[1], &words[2], &words[3]);
    }
#endif

    const char* language = std::getenv("LANG");
    facts.language = language && *language ? language : "C";
    return facts;
}

}  // namespace dxdiag
