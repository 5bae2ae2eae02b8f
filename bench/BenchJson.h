// Machine-readable benchmark results: one object per program run,
// {"target": ..., "rows": [{"name", "tags", "median_ms", "peak_mb"?, "tags_per_s"}]}.
#pragma once
#include <string>
#include <vector>

class CBenchReport {
public:
    explicit CBenchReport(std::string target);

    // peakMb below 0 means not measured: the row then has no "peak_mb".
    void Add(std::string name, long long tags, double medianMs, double peakMb = -1);
    // Writes the report to path; false when the file cannot be written.
    bool WriteJson(const std::string& path) const;

private:
    std::string ToJson() const;

    struct CRow {
        std::string name;
        long long tags;
        double medianMs;
        double peakMb;
    };
    std::string m_target;
    std::vector<CRow> m_rows;
};
