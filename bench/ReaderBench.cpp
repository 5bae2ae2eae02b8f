// Reader throughput against two yardsticks: reading the same bytes without
// parsing them, and RapidJSON parsing the same tags (a JSON object of id/value
// strings) into a DOM. Generates a 1,000,000-tag UTF-16 file at start.
#include "BenchJson.h"
#include "platform/Bstr.h"
#include "platform/FileHandle.h"
#include "reader/ConfigReader.h"
#include "reader/FileBuffer.h"

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kTags = 1000000;

// ---- The generated data ----------------------------------------------------------

// A deterministic file of kTags assignments with values of 10 to 40
// characters (every 8th with escapes), a comment every 100,000 tags and one
// CAN_IGNORE section; and the same tags as JSON text.
class CBenchData {
public:
    CBenchData() {
        char folder[] = "/tmp/quorvex-bench-XXXXXX";
        if (!mkdtemp(folder)) throw std::runtime_error("cannot make a temporary folder");
        m_folder = folder;
        m_path = m_folder + "/tags.cfg";
        Generate();
    }
    ~CBenchData() {
        std::remove(m_path.c_str());
        rmdir(m_folder.c_str());
    }

    WString WidePath() const { return WString(m_path.begin(), m_path.end()); }
    const std::string& Json() const { return m_json; }
    std::size_t FileBytes() const { return m_fileBytes; }

private:
    void Generate() {
        std::u16string text = u"\uFEFF1.4.2\r\n";
        m_json = "{";
        std::uint32_t seed = 12345;
        const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
        static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -+.,:";
        for (int i = 0; i < kTags; ++i) {
            if (i % 100000 == 0) text += u"; block " + Ascii(std::to_string(i / 100000)) + u"\r\n";
            if (i == kTags / 2) {
                text += u"!EXTENSION CAN_IGNORE\r\n";
                for (int k = 0; k < 100; ++k) text += u"future setting " + Ascii(std::to_string(k)) + u" = on\r\n";
                text += u"!END\r\n";
            }
            char id[32];
            std::snprintf(id, sizeof id, "1.%X.%X.%X", i >> 16, (i >> 8) & 0xFF, i & 0xFF);
            std::string fileValue, jsonValue;
            const unsigned length = 10 + next() % 31;
            for (unsigned k = 0; k < length; ++k) {
                if (i % 8 == 0 && k % 9 == 4) {
                    static const char* const escapes[][2] = {{"\\\\", "\\\\"}, {"\\\"", "\\\""}, {"\\t", "\\t"}, {"\\n", "\\n"}};
                    const auto& e = escapes[next() % 4];
                    fileValue += e[0];
                    jsonValue += e[1];
                } else {
                    const char c = alphabet[next() % (sizeof alphabet - 1)];
                    fileValue += c;
                    jsonValue += c;
                }
            }
            text += Ascii(id) + u"=\"" + Ascii(fileValue) + u"\"\r\n";
            m_json += (i ? ",\"" : "\"") + std::string(id) + "\":\"" + jsonValue + "\"";
        }
        m_json += "}";
        WriteUtf16(text);
    }

    static std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

    void WriteUtf16(const std::u16string& text) {
        std::string bytes;
        bytes.reserve(text.size() * 2);
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        std::FILE* f = std::fopen(m_path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
            throw std::runtime_error("cannot write the benchmark file");
        m_fileBytes = bytes.size();
    }

    std::string m_folder;
    std::string m_path;
    std::string m_json;
    std::size_t m_fileBytes = 0;
};

CBenchData* g_data = nullptr;

CFileHandle OpenBenchFile() {
    CFileHandle file(CreateFileW(g_data->WidePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) throw std::runtime_error("cannot open the benchmark file");
    return file;
}

// ---- Benchmarks ------------------------------------------------------------------

// The floor: open, size, one buffer, one read, as the reader's Init does.
void ReadBytes(benchmark::State& state) {
    for (auto _ : state) {
        CFileHandle file = OpenBenchFile();
        const DWORD size = GetFileSize(file.Get(), nullptr);
        const CFileBuffer::Ptr buffer = CFileBuffer::Allocate(size + 2);
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer.get(), size, &read, nullptr) || read != size) state.SkipWithError("read");
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(state.iterations() * g_data->FileBytes());
}

// Init plus Scan to the end, every string freed as a consumer would.
void Reader(benchmark::State& state) {
    for (auto _ : state) {
        CFileHandle file = OpenBenchFile();
        CConfigReader reader(file.Get());
        if (FAILED(reader.Init())) state.SkipWithError("Init");
        int tags = 0;
        for (;;) {
            BSTR name = nullptr, value = nullptr;
            const WCHAR token = reader.Scan(&name, &value);
            if (token == CConfigReader::TOKEN_END_OF_FILE) break;
            tags += token == CConfigReader::TOKEN_TAG_VALUE;
            SysFreeString(name);
            SysFreeString(value);
        }
        if (tags != kTags) state.SkipWithError("wrong tag count");
    }
    state.SetItemsProcessed(state.iterations() * kTags);
    state.SetBytesProcessed(state.iterations() * g_data->FileBytes());
}

// What Scan's contract costs by itself: a BSTR for every identifier and
// value, of the lengths the reader gives, allocated and freed.
void BstrPairs(benchmark::State& state) {
    std::vector<UINT> lengths;
    {
        CFileHandle file = OpenBenchFile();
        CConfigReader reader(file.Get());
        if (FAILED(reader.Init())) state.SkipWithError("Init");
        for (BSTR name = nullptr, value = nullptr; reader.Scan(&name, &value) != CConfigReader::TOKEN_END_OF_FILE;) {
            lengths.push_back(SysStringLen(name));
            lengths.push_back(SysStringLen(value));
            SysFreeString(name);
            SysFreeString(value);
        }
    }
    static const WCHAR text[256] = {};
    for (auto _ : state) {
        for (size_t i = 0; i + 1 < lengths.size(); i += 2) {
            BSTR name = SysAllocStringLen(text, lengths[i]);
            BSTR value = SysAllocStringLen(text, lengths[i + 1]);
            benchmark::DoNotOptimize(name);
            benchmark::DoNotOptimize(value);
            SysFreeString(name);
            SysFreeString(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * kTags);
}

// The same tags as one JSON object, parsed from memory into a DOM.
void RapidJsonDom(benchmark::State& state) {
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(g_data->Json().c_str(), g_data->Json().size());
        if (document.HasParseError() || document.MemberCount() != kTags) state.SkipWithError("JSON");
        benchmark::DoNotOptimize(document);
    }
    state.SetItemsProcessed(state.iterations() * kTags);
    state.SetBytesProcessed(state.iterations() * g_data->Json().size());
}

// Five repetitions each: the summary takes the median, steadier on a shared machine.
BENCHMARK(ReadBytes)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(Reader)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BstrPairs)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(RapidJsonDom)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// ---- Report ------------------------------------------------------------------------

// Prints as usual and keeps each repetition's wall and CPU time per pass
// (seconds); the summary and the JSON rows use their medians.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            Samples& samples = m_samples[run.run_name.function_name];
            samples.wall.push_back(run.real_accumulated_time / run.iterations);
            samples.cpu.push_back(run.cpu_accumulated_time / run.iterations);
        }
    }

    void PrintSummary(std::size_t fileBytes) const {
        if (m_samples.size() != 4) {
            std::printf("\nsummary: a benchmark failed, no ratios\n");
            return;
        }
        std::printf("\nfile: %d tags, %.1f MB UTF-16; medians of %zu repetitions\n", kTags, fileBytes / 1e6,
                    m_samples.at("Reader").wall.size());
        PrintFigures("wall clock", &Samples::wall, fileBytes);
        PrintFigures("CPU time", &Samples::cpu, fileBytes);
    }

    // Rows of wall-clock medians under stable names.
    void AddRows(CBenchReport& report) const {
        static const char* const names[][2] = {
            {"Reader", "reader"}, {"ReadBytes", "read_bytes"}, {"BstrPairs", "bstr_pairs"},
            {"RapidJsonDom", "rapidjson_dom"}};
        for (const auto& name : names) {
            const auto found = m_samples.find(name[0]);
            if (found != m_samples.end()) report.Add(name[1], kTags, Median(found->second.wall) * 1e3);
        }
    }

private:
    struct Samples {
        std::vector<double> wall;
        std::vector<double> cpu;
    };

    static double Median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }

    void PrintFigures(const char* clock, std::vector<double> Samples::*which, std::size_t fileBytes) const {
        const double read = Median(m_samples.at("ReadBytes").*which);
        const double reader = Median(m_samples.at("Reader").*which);
        const double json = Median(m_samples.at("RapidJsonDom").*which);
        const double strings = Median(m_samples.at("BstrPairs").*which);
        const double mb = fileBytes / 1e6;
        std::printf("-- %s\n", clock);
        std::printf("reader (Init + Scan to the end): %6.1f ms, %.2f M tags/s, %.1f MB/s\n", reader * 1e3,
                    kTags / reader / 1e6, mb / reader);
        std::printf("reading the bytes alone:         %6.1f ms, %.1f MB/s\n", read * 1e3, mb / read);
        std::printf("RapidJSON DOM of the same tags:  %6.1f ms, %.2f M tags/s\n", json * 1e3, kTags / json / 1e6);
        std::printf("reader / RapidJSON tags/s: %.2f (goal >= 1)\n", json / reader);
        std::printf("reader time / read time:   %.2f (goal <= 4)\n", reader / read);
        std::printf("of which Scan's BSTRs:     %.2f (%.1f ms to allocate and free them alone)\n", strings / read,
                    strings * 1e3);
    }

    std::map<std::string, Samples> m_samples;
};

}  // namespace

// reader_bench [benchmark options] [--json FILE]
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string jsonPath;
    if (argc == 3 && std::strcmp(argv[1], "--json") == 0) {
        jsonPath = argv[2];
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: reader_bench [benchmark options] [--json FILE]\n");
        return 2;
    }
    try {
        CBenchData data;
        g_data = &data;
        CRatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.PrintSummary(data.FileBytes());
        CBenchReport report("reader_bench");
        reporter.AddRows(report);
        if (!jsonPath.empty() && !report.WriteJson(jsonPath)) throw std::runtime_error("cannot write " + jsonPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "reader_bench: %s\n", e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
