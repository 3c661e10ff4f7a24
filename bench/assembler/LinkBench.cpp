// Linking speed: 100 modules, each with a code segment of about 200 bytes
// that calls the next module's public routine, an INPAGE table, a data
// segment and a bit, assembled once to object files (not timed). The cases
// time reading the 100 object files from memory and linking them (what
// m51ld does apart from the disk), and the link alone. Target: 100 modules
// linked in at most 100 ms.

#include "assembler/Assembler.h"
#include "assembler/Linker.h"
#include "assembler/ObjectFile.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kModules = 100;

std::string ModuleSource(int i)
{
    const std::string n = std::to_string(i), next = std::to_string((i + 1) % kModules);
    std::string s = "NAME M" + n + "\nPUBLIC Work" + n + ", Count" + n + "\nEXTRN CODE (Work" + next + ")\n" +
                    "EXTRN DATA (Count" + next + ")\n"
                    "?PR?M" + n + " SEGMENT CODE\n?CO?M" + n + " SEGMENT CODE INPAGE\n?DT?M" + n + " SEGMENT DATA\n"
                    "?BI?M" + n + " SEGMENT BIT\n"
                    "  RSEG ?BI?M" + n + "\nFlag" + n + ": DBIT 1\n"
                    "  RSEG ?DT?M" + n + "\nCount" + n + ": DS 1\n"
                    "  RSEG ?PR?M" + n + "\nWork" + n + ":\n";
    for (int k = 0; k < 30; ++k)
        s += "  MOV A,Count" + next + "\n  ADD A,#" + std::to_string(k) + "\n  MOV DPTR,#Table" + n +
             "\n  JNB Flag" + n + ",Skip" + n + "_" + std::to_string(k) + "\n  LCALL Work" + next + "\nSkip" + n + "_" +
             std::to_string(k) + ": NOP\n";
    s += "  RET\n  RSEG ?CO?M" + n + "\nTable" + n + ": DB 1, 2, 3, 4, 5, 6, 7, 8\n  END\n";
    return s;
}

const std::vector<std::string>& ObjectFiles()
{
    static const std::vector<std::string> files = [] {
        std::vector<std::string> out;
        for (int i = 0; i < kModules; ++i) {
            m51asm::AssembleOptions o;
            o.module = true;
            o.fileName = "m" + std::to_string(i) + ".a51";
            o.listing = false;
            const m51asm::AssembleResult r = m51asm::Assemble(ModuleSource(i), o);
            if (!r.errors.empty() || !r.object) {
                std::fprintf(stderr, "module %d: %s\n", i, r.errors.empty() ? "no object" : r.errors[0].message.c_str());
                std::abort();
            }
            out.push_back(m51asm::WriteObject(*r.object));
        }
        return out;
    }();
    return files;
}

std::vector<m51asm::ObjectModule> ReadAll()
{
    std::vector<m51asm::ObjectModule> modules(ObjectFiles().size());
    std::string error;
    for (std::size_t i = 0; i < modules.size(); ++i)
        if (!m51asm::ReadObject(ObjectFiles()[i], modules[i], error))
            std::abort();
    return modules;
}

void Check(const m51asm::LinkResult& r)
{
    if (!r.program.errors.empty()) {
        std::fprintf(stderr, "link: %s\n", r.program.errors[0].message.c_str());
        std::abort();
    }
}

void BM_ReadAndLink100Modules(benchmark::State& state)
{
    ObjectFiles();
    for (auto _ : state) {
        const m51asm::LinkResult r = m51asm::Link(ReadAll());
        Check(r);
        benchmark::DoNotOptimize(r.program.hex.data());
    }
    state.counters["modules"] = kModules;
}
BENCHMARK(BM_ReadAndLink100Modules)->Unit(benchmark::kMillisecond);

void BM_Link100Modules(benchmark::State& state)
{
    const std::vector<m51asm::ObjectModule> modules = ReadAll();
    for (auto _ : state) {
        const m51asm::LinkResult r = m51asm::Link(modules);
        Check(r);
        benchmark::DoNotOptimize(r.program.hex.data());
    }
    state.counters["modules"] = kModules;
}
BENCHMARK(BM_Link100Modules)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
