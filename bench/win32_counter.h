// What a Windows reader of a burst got: each numbered report ("<seq> ..."
// from burst.c) counted once, on the Windows clock, with the process's
// CPU time; one "BENCH {json}" line at the end. For the bench programs
// that run under Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

inline double ProcessCpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    auto ms = [](const FILETIME& f) {
        return double((std::uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

// "Z:/tmp/ready" for "/tmp/ready": Wine's drive of the whole file system.
inline void Touch(const char* unixPath)
{
    const std::string path = std::string("Z:") + unixPath;
    if (FILE* f = std::fopen(path.c_str(), "w")) {
        std::fputs("ready\n", f);
        std::fclose(f);
    }
}

class CBurstCounter {
public:
    explicit CBurstCounter(int count) : m_seen(std::size_t(count) + 1, false), m_count(count) {}

    // One report's text; the number it starts with is its sequence number.
    template <typename Char>
    void Count(const Char* text, std::size_t length)
    {
        long long seq = -1;
        for (std::size_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
            seq = (seq < 0 ? 0 : seq * 10) + (text[i] - '0');
        const double now = NowMs();
        if (seq <= 0 || seq > m_count) {
            ++m_unnumbered;
            return;
        }
        if (m_seen[std::size_t(seq)]) {
            ++m_duplicates;
            return;
        }
        m_seen[std::size_t(seq)] = true;
        if (seq <= m_last) ++m_outOfOrder;
        m_last = seq;
        if (m_received++ == 0) m_firstMs = now;
        m_lastMs = now;
    }

    int Received() const { return m_received; }
    double LastMs() const { return m_lastMs; }

    void Report(const char* mode, double cpuMs, const std::string& extra = "") const
    {
        const double span = m_lastMs - m_firstMs;
        const double rate = span > 0 ? (m_received - 1) * 1000.0 / span : 0;
        std::printf("BENCH {\"mode\":\"%s\",\"sent\":%d,\"received\":%d,\"lost\":%d,"
                    "\"duplicates\":%d,\"out_of_order\":%d,\"unnumbered\":%d,\"rate\":%.1f,"
                    "\"cpu_ms\":%.1f%s}\n",
                    mode, m_count, m_received, m_count - m_received, m_duplicates, m_outOfOrder,
                    m_unnumbered, rate, cpuMs, extra.c_str());
        std::fflush(stdout);
    }

private:
    std::vector<bool> m_seen;
    int m_count;
    int m_received = 0;
    int m_duplicates = 0;
    int m_outOfOrder = 0;
    int m_unnumbered = 0;
    long long m_last = 0;
    double m_firstMs = 0;
    double m_lastMs = 0;
};

}  // namespace bench
