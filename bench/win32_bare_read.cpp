// The yardstick of the Windows burst row: a bare overlapped ReadFile loop
// on the board under Wine, with the system's default input buffers or
// with BUFFERS of them.
//
//   win32_bare_read COUNT READY_FILE [BUFFERS]
//
// Creates READY_FILE (a Unix path) once the board is open, counts the
// COUNT numbered reports of a burst, and ends 3 s after the last one.
#include <windows.h>

extern "C" {
#include <hidsdi.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hid_platform.h"
#include "win32_counter.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: win32_bare_read COUNT READY_FILE [BUFFERS]\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const unsigned long buffers = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0;
    std::u16string path;
    for (const hid::DeviceInfo& d : hid::SystemPlatform()->Enumerate()) {
        std::u16string id = d.hardwareId;
        for (auto& c : id)
            if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
        if (id.find(u"VID_04D8&PID_003F") != std::u16string::npos) {
            path = d.path;
            break;
        }
    }
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (path.empty() || file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "win32_bare_read: no board\n");
        return 1;
    }
    if (buffers && !HidD_SetNumInputBuffers(file, buffers))
        std::fprintf(stderr, "win32_bare_read: %lu buffers refused\n", buffers);
    ULONG kept = 0;
    HidD_GetNumInputBuffers(file, &kept);
    DWORD length = 65;
    PHIDP_PREPARSED_DATA data = nullptr;
    if (HidD_GetPreparsedData(file, &data)) {
        HIDP_CAPS caps{};
        if (HidP_GetCaps(data, &caps) == HIDP_STATUS_SUCCESS) length = caps.InputReportByteLength;
        HidD_FreePreparsedData(data);
    }

    bench::CBurstCounter counter(count);
    std::vector<char> buffer(length + 1);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bench::Touch(argv[2]);
    const double cpu0 = bench::ProcessCpuMs();
    const double start = bench::NowMs();
    while (counter.Received() < count) {
        OVERLAPPED ov{};
        ov.hEvent = event;
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), length, nullptr, &ov) &&
            GetLastError() != ERROR_IO_PENDING)
            break;
        const double now = bench::NowMs();
        const double idle = counter.Received() ? now - counter.LastMs() : now - start;
        const double limit = counter.Received() ? 3000 : 60000;
        if (WaitForSingleObject(event, DWORD(limit > idle ? limit - idle : 0)) != WAIT_OBJECT_0) {
            CancelIoEx(file, &ov);
            GetOverlappedResult(file, &ov, &got, TRUE);
            break;
        }
        if (!GetOverlappedResult(file, &ov, &got, TRUE)) break;
        if (got > 1) {
            buffer[got] = 0;
            counter.Count(buffer.data() + 1, std::strlen(buffer.data() + 1));
        }
    }
    const std::string extra = ",\"buffers\":" + std::to_string(kept);
    counter.Report(buffers ? "bare-buffers" : "bare", bench::ProcessCpuMs() - cpu0, extra);
    CloseHandle(event);
    CloseHandle(file);
    return 0;
}
