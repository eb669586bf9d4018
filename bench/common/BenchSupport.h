#pragma once

// Timing and reporting shared by the benchmarks. Each program prints, besides its own notes,
// one line per table row: "row", then tab-separated fields (key, what, figure, unit, baseline,
// baseline figure, ratio, goal, verdict). scripts/bench.sh collects those lines into the table.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace NsBench {

// Windows' high-resolution counter, which is what the programs would use on Windows too.
class CStopwatch {
public:
    CStopwatch() { Restart(); }

    void Restart() { ::QueryPerformanceCounter(&m_start); }

    double Milliseconds() const
    {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) / Frequency();
    }

private:
    static double Frequency()
    {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart);
    }

    LARGE_INTEGER m_start;
};

// The middle sample (the upper one of an even count); 0 for no samples.
inline double Median(std::vector<double> samples)
{
    if (samples.empty())
        return 0.0;
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

// How a row's figure is judged. Ratios are always figure / baseline figure.
enum class Goal {
    Report, // no goal: the figures are reported
    RatioAtMost, // a cost: ratio <= limit
    RatioAtLeast, // a rate: ratio >= limit
    FigureAtLeast, // an absolute rate: figure >= limit
};

struct SRow {
    std::string key; // stable across runs, so that runs can be compared
    std::string what;
    double figure = 0.0;
    std::string unit;
    std::string baseline; // "-" for none
    double baselineFigure = 0.0;
    Goal goal = Goal::Report;
    double limit = 0.0;
};

// Four significant digits, without an exponent for figures the table shows (rates run to
// tens of thousands).
inline std::string FigureText(double figure)
{
    char text[32];
    std::snprintf(text, sizeof text, figure >= 1000.0 || figure <= -1000.0 ? "%.0f" : "%.4g", figure);
    return text;
}

inline std::string GoalText(const SRow& row)
{
    char text[32];
    switch (row.goal) {
    case Goal::Report: return "report";
    case Goal::RatioAtMost: std::snprintf(text, sizeof text, "<= %.2gx", row.limit); break;
    case Goal::RatioAtLeast: std::snprintf(text, sizeof text, ">= %.2gx", row.limit); break;
    case Goal::FigureAtLeast: std::snprintf(text, sizeof text, ">= %.0f", row.limit); break;
    }
    return text;
}

inline void PrintRow(const SRow& row)
{
    const bool hasBaseline = row.baseline != "-" && row.baselineFigure > 0.0;
    const double ratio = hasBaseline ? row.figure / row.baselineFigure : 0.0;
    const char* verdict = "-";
    switch (row.goal) {
    case Goal::Report: break;
    case Goal::RatioAtMost: verdict = hasBaseline && ratio <= row.limit ? "met" : "MISSED"; break;
    case Goal::RatioAtLeast: verdict = hasBaseline && ratio >= row.limit ? "met" : "MISSED"; break;
    case Goal::FigureAtLeast: verdict = row.figure >= row.limit ? "met" : "MISSED"; break;
    }
    char ratioText[32] = "-";
    if (hasBaseline)
        std::snprintf(ratioText, sizeof ratioText, "%.2f", ratio);
    std::printf("row\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", row.key.c_str(), row.what.c_str(),
                FigureText(row.figure).c_str(), row.unit.c_str(), row.baseline.c_str(),
                hasBaseline ? FigureText(row.baselineFigure).c_str() : "-", ratioText, GoalText(row).c_str(), verdict);
    std::fflush(stdout);
}

// A benchmark that cannot measure stops with what failed; main reports it and exits non-zero.
struct SFailure {
    const char* what;
};

inline void Require(bool condition, const char* what)
{
    if (!condition)
        throw SFailure{what};
}

// The folder of the running program, where every built program lands.
inline std::wstring BinFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

} // namespace NsBench
