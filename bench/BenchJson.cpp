#include "BenchJson.h"

#include <cstdio>
#include <fstream>
#include <utility>

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

}  // namespace

CBenchReport::CBenchReport(std::string target) : m_target(std::move(target)) {}

void CBenchReport::Add(std::string name, long long tags, double medianMs, double peakMb) {
    m_rows.push_back({std::move(name), tags, medianMs, peakMb});
}

std::string CBenchReport::ToJson() const {
    std::string json = "{\"target\": " + Quoted(m_target) + ", \"rows\": [";
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const CRow& row = m_rows[i];
        json += i ? ",\n  {" : "\n  {";
        json += "\"name\": " + Quoted(row.name) + ", \"tags\": " + std::to_string(row.tags) +
                ", \"median_ms\": " + Number(row.medianMs);
        if (row.peakMb >= 0) json += ", \"peak_mb\": " + Number(row.peakMb);
        // A zero time (too fast to measure) gives no rate rather than infinity.
        const double perSecond = row.medianMs > 0 ? static_cast<double>(row.tags) * 1000.0 / row.medianMs : 0;
        json += ", \"tags_per_s\": " + Number(perSecond) + "}";
    }
    return json + "\n]}\n";
}

bool CBenchReport::WriteJson(const std::string& path) const {
    std::ofstream file(path, std::ios::binary);
    file << ToJson();
    file.close();
    return !file.fail();
}
