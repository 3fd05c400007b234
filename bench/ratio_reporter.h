// The lens benchmark's console report: Google Benchmark's table, then each ray
// case's CPU time against the thin-lens baseline's, from the same run.
#ifndef BRELVIX_BENCH_RATIO_REPORTER_H
#define BRELVIX_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace brelvix::bench {

inline constexpr const char *kBaselineName = "ThinLens/pointer";
inline constexpr const char *kDirectBaselineName = "ThinLens/direct";
inline constexpr const char *kRayCases[] = {"EvaluateRay/eyeAngle:0", "EvaluateRay/eyeAngle:2deg",
                                            kDirectBaselineName};

/// The console table, followed by each ray case's CPU time against the
/// baseline's: the medians when the run repeats, the single figures otherwise.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!run.error_occurred && (single || median)) {
                cpuNanoseconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto baseline = cpuNanoseconds_.find(kBaselineName);
        if (baseline == cpuNanoseconds_.end()) {
            return;
        }
        std::FILE *out = stdout;
        std::fflush(out);
        std::fprintf(out, "\nCPU time per ray against %s (%.2f ns):\n", kBaselineName,
                     baseline->second);
        for (const char *name : kRayCases) {
            const auto found = cpuNanoseconds_.find(name);
            if (found != cpuNanoseconds_.end()) {
                std::fprintf(out, "  %-28s %8.2f ns   x %.2f\n", name, found->second,
                             found->second / baseline->second);
            }
        }
        std::fflush(out);
    }

  private:
    std::map<std::string, double> cpuNanoseconds_;
};

} // namespace brelvix::bench

#endif
