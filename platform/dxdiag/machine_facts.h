#pragma once
// What the Linux system tells about this machine, for the DxDiag provider's default report.
// Reading never fails: a fact the system does not give stays empty or 0.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace dxdiag {

struct MachineFacts {
    std::string osName;         // os-release PRETTY_NAME, else "<sysname> <release>"
    std::string kernelRelease;  // uname release, e.g. "6.8.0-45-generic"
    std::string kernelVersion;  // uname version, e.g. "#45-Ubuntu SMP ..."
    std::uint32_t osMajor = 0;  // leading numbers of the kernel release
    std::uint32_t osMinor = 0;
    std::uint32_t osBuild = 0;
    std::string machineName;  // host name
    std::string processor;    // "<model name> (<n> CPUs)"
    std::string systemManufacturer;  // DMI, where readable
    std::string systemModel;
    std::string bios;
    std::string language;  // LANG, else "C"
    std::uint64_t physicalMemory = 0;  // bytes
    std::uint64_t swapTotal = 0;       // bytes
    std::uint64_t swapFree = 0;        // bytes
    // CPUID leaves 0x80000009 to 0x80000018: eax, ebx, ecx, edx (0 where not offered or
    // not an x86 processor).
    std::array<std::array<std::uint32_t, 4>, 16> extendedCpuFunctions{};
};

MachineFacts ReadMachineFacts();

// Parsers over the files' text, exposed so they can be checked with fixed input.
// PRETTY_NAME of an os-release file, quotes removed; empty when absent.
std::string ParseOsReleaseName(std::string_view osRelease);
// "<model name> (<n> CPUs)" from /proc/cpuinfo; the model falls back to "Hardware" or
// "Processor" lines (older ARM kernels), then to `fallbackModel` (the machine type);
// empty when no processor is listed.
std::string ParseProcessor(std::string_view cpuinfo, std::string_view fallbackModel = "Unknown processor");

struct MemoryFigures {
    std::uint64_t total = 0;      // bytes
    std::uint64_t swapTotal = 0;  // bytes
    std::uint64_t swapFree = 0;   // bytes
};
// MemTotal, SwapTotal and SwapFree of /proc/meminfo (given in kB there).
MemoryFigures ParseMemInfo(std::string_view meminfo);

struct KernelNumbers {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};
// "6.8.0-45-generic" -> 6, 8, 0; missing parts are 0.
KernelNumbers ParseKernelRelease(std::string_view release);

}  // namespace dxdiag
