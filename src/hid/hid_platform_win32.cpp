// The platform on Windows: SetupAPI for the list of HID interfaces, hid.dll
// (loaded at run time) for the report lengths, overlapped file I/O for the
// reports.
//
// Threads: as hid_platform.h says. What crosses threads is a read handle's
// wake: InterruptRead signals it from any thread, the Read it ends clears
// it.
#include <windows.h>
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <vector>

#include "hid_platform.h"
#include "wake.h"

namespace hid {

namespace {

// A write that the device has not taken by then is abandoned: a board that
// stopped reading never holds its writer for long (hidraw gives up after
// about 5 s too).
constexpr DWORD kWriteTimeoutMs = 5000;

using GetHidGuidFn = void(__stdcall*)(GUID*);
using GetPreparsedDataFn = BOOLEAN(__stdcall*)(HANDLE, PHIDP_PREPARSED_DATA*);
using FreePreparsedDataFn = BOOLEAN(__stdcall*)(PHIDP_PREPARSED_DATA);
using GetCapsFn = NTSTATUS(__stdcall*)(PHIDP_PREPARSED_DATA, PHIDP_CAPS);

// hid.dll's entry points; any of them may be null when the library or the
// entry point is missing, and a null one is never called.
class HidLibrary {
public:
    HidLibrary()
    {
        // From the system directory only, never from beside the program.
        wchar_t dir[MAX_PATH];
        UINT n = GetSystemDirectoryW(dir, MAX_PATH);
        if (n == 0 || n >= MAX_PATH - 10) return;
        std::wstring path(dir, n);
        path += L"\\hid.dll";
        m_module = LoadLibraryW(path.c_str());
        if (!m_module) return;
        m_pfnGetHidGuid = Lookup<GetHidGuidFn>("HidD_GetHidGuid");
        m_pfnGetPreparsedData = Lookup<GetPreparsedDataFn>("HidD_GetPreparsedData");
        m_pfnFreePreparsedData = Lookup<FreePreparsedDataFn>("HidD_FreePreparsedData");
        m_pfnGetCaps = Lookup<GetCapsFn>("HidP_GetCaps");
    }
    ~HidLibrary()
    {
        if (m_module) FreeLibrary(m_module);
    }
    HidLibrary(const HidLibrary&) = delete;
    HidLibrary& operator=(const HidLibrary&) = delete;

    bool GetHidGuid(GUID& guid) const
    {
        if (!m_pfnGetHidGuid) return false;
        m_pfnGetHidGuid(&guid);
        return true;
    }

    // Input and output report lengths from the device's capabilities.
    bool GetCaps(HANDLE file, ReportLengths& lengths) const
    {
        if (!m_pfnGetPreparsedData || !m_pfnFreePreparsedData || !m_pfnGetCaps) return false;
        PHIDP_PREPARSED_DATA data = nullptr;
        if (!m_pfnGetPreparsedData(file, &data) || !data) return false;
        HIDP_CAPS caps{};
        const bool ok = m_pfnGetCaps(data, &caps) == HIDP_STATUS_SUCCESS;
        m_pfnFreePreparsedData(data);
        if (!ok) return false;
        lengths.input = caps.InputReportByteLength;
        lengths.output = caps.OutputReportByteLength;
        return true;
    }

    bool CanGetCaps() const
    {
        return m_pfnGetPreparsedData && m_pfnFreePreparsedData && m_pfnGetCaps;
    }

private:
    template <typename Fn>
    Fn Lookup(const char* name)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }

    HMODULE m_module = nullptr;
    GetHidGuidFn m_pfnGetHidGuid = nullptr;
    GetPreparsedDataFn m_pfnGetPreparsedData = nullptr;
    FreePreparsedDataFn m_pfnFreePreparsedData = nullptr;
    GetCapsFn m_pfnGetCaps = nullptr;
};

struct Win32Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
    // Completion of this handle's one overlapped operation (manual reset).
    HANDLE ioEvent = nullptr;
    // Signalled by InterruptRead, cleared by the Read it ends.
    base::CWake interrupt;
    ReportLengths lengths;
    bool lengthsKnown = false;
    // Windows reads and writes whole reports only; reports go through
    // here when the caller's buffer is not exactly one report long.
    std::vector<std::uint8_t> buffer;
};

Win32Handle* Cast(Handle* h) { return reinterpret_cast<Win32Handle*>(h); }

void CloseWin32Handle(Win32Handle* h)
{
    if (h->file != INVALID_HANDLE_VALUE) {
        CancelIoEx(h->file, nullptr);
        CloseHandle(h->file);
    }
    if (h->ioEvent) CloseHandle(h->ioEvent);
    delete h;
}

OpenError Classify(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED: return OpenError::PermissionDenied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NO_SUCH_DEVINST: return OpenError::NotFound;
    default: return OpenError::Other;
    }
}

// Ends an overlapped operation that is still pending and says what it did:
// the bytes it moved if it completed after all, else 0. The buffer is the
// OS's until then, so this always waits for the cancellation to land.
DWORD CancelAndCollect(HANDLE file, OVERLAPPED& ov)
{
    CancelIoEx(file, &ov);
    DWORD done = 0;
    if (GetOverlappedResult(file, &ov, &done, TRUE)) return done;
    return 0;
}

// The first string of a device's hardware-ID list, "" when unreadable.
std::u16string FirstHardwareId(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    std::vector<BYTE> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD needed = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type,
                                              buffer.data(), static_cast<DWORD>(buffer.size()),
                                              &needed)) {
            if (type != REG_MULTI_SZ && type != REG_SZ) return {};
            // The value need not end in a terminator: read no further than
            // its length.
            const auto* text = reinterpret_cast<const char16_t*>(buffer.data());
            std::size_t units = std::min<std::size_t>(needed, buffer.size()) / sizeof(char16_t);
            return std::u16string(text, std::find(text, text + units, u'\0'));
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return {};
        buffer.resize(needed);
    }
    return {};
}

class Win32Platform : public Platform {
public:
    std::vector<DeviceInfo> Enumerate() override
    {
        std::vector<DeviceInfo> list;
        GUID guid;
        if (!m_hid.GetHidGuid(guid)) return list;
        HDEVINFO set =
            SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) return list;

        std::vector<BYTE> detailBuffer(512);
        for (DWORD i = 0;; ++i) {
            SP_DEVICE_INTERFACE_DATA iface{};
            iface.cbSize = sizeof iface;
            if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &iface)) break;

            // The device is taken from the interface itself, not from the
            // device list at the same index: the two lists need not line up.
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof device;
            DWORD needed = 0;
            SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &needed, nullptr);
            if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
            // Room for a terminator the OS might leave out.
            if (detailBuffer.size() < needed + sizeof(wchar_t)) detailBuffer.resize(needed + sizeof(wchar_t));
            std::fill(detailBuffer.begin(), detailBuffer.end(), 0);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, needed, nullptr, &device))
                continue;
            const auto* path = reinterpret_cast<const char16_t*>(detail->DevicePath);
            if (!*path) continue;

            list.push_back({std::u16string(path), FirstHardwareId(set, device)});
        }
        SetupDiDestroyDeviceInfoList(set);
        return list;
    }

    // Device notifications need a window or a service and were not reliable
    // under Wine: every tick scans afresh (bench/win32 measures the cost).
    bool TakeChanged() override { return true; }

    Handle* Open(const std::u16string& path, Access access, OpenError* error) override
    {
        if (error) *error = OpenError::Other;
        // Without the capabilities no report could be sized as Windows
        // wants it.
        if (path.empty() || path.find(u'\0') != std::u16string::npos || !m_hid.CanGetCaps())
            return nullptr;

        const DWORD desired = access == Access::Read ? GENERIC_READ : GENERIC_WRITE;
        HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), desired,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (error) *error = Classify(GetLastError());
            return nullptr;
        }
        auto* h = new Win32Handle;
        h->file = file;
        h->ioEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!h->ioEvent || !h->interrupt.Valid()) {
            CloseWin32Handle(h);
            return nullptr;
        }
        h->lengthsKnown = m_hid.GetCaps(file, h->lengths);
        if (error) *error = OpenError::None;
        return reinterpret_cast<Handle*>(h);
    }

    bool GetReportLengths(Handle* handle, ReportLengths& lengths) override
    {
        Win32Handle* h = Cast(handle);
        if (!h || !h->lengthsKnown) return false;
        lengths = h->lengths;
        return true;
    }

    int Read(Handle* handle, std::uint8_t* buf, std::size_t size, int timeoutMs) override
    {
        Win32Handle* h = Cast(handle);
        if (!h || !buf || size == 0) return -1;
        // An interrupt that came while no read was waiting ends this one.
        if (h->interrupt.Clear()) return 0;

        // ReadFile wants room for a whole input report.
        const std::size_t report = h->lengthsKnown && h->lengths.input > 0
                                       ? static_cast<std::size_t>(h->lengths.input)
                                       : size;
        std::uint8_t* into = buf;
        if (size != report) {
            h->buffer.resize(report);
            into = h->buffer.data();
        }

        OVERLAPPED ov{};
        ov.hEvent = h->ioEvent;
        DWORD done = 0;
        if (!ReadFile(h->file, into, static_cast<DWORD>(report), nullptr, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return -1;
            HANDLE waits[2] = {h->ioEvent, reinterpret_cast<HANDLE>(h->interrupt.Native())};
            const DWORD r = WaitForMultipleObjects(2, waits, FALSE,
                                                   timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
            if (r == WAIT_OBJECT_0 + 1) h->interrupt.Clear();
            if (r != WAIT_OBJECT_0) {
                // Timed out or interrupted; a report that landed meanwhile
                // is still delivered, never dropped.
                done = CancelAndCollect(h->file, ov);
                if (done == 0) return r == WAIT_OBJECT_0 + 1 || r == WAIT_TIMEOUT ? 0 : -1;
            } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
                return -1;
            }
        } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
            return -1;
        }
        if (done == 0) return 0;
        const std::size_t n = std::min<std::size_t>(done, size);
        if (into != buf) std::copy(into, into + n, buf);
        return static_cast<int>(n);
    }

    void InterruptRead(Handle* handle) override
    {
        if (Win32Handle* h = Cast(handle)) h->interrupt.Signal();
    }

    int Write(Handle* handle, const std::uint8_t* buf, std::size_t size) override
    {
        Win32Handle* h = Cast(handle);
        if (!h || !buf || size == 0 || size > 0xFFFF) return -1;
        // Windows takes exactly one whole report: a shorter one is padded
        // with zeros (the text protocol's own filler).
        const std::uint8_t* from = buf;
        std::size_t length = size;
        if (h->lengthsKnown && h->lengths.output > 0 &&
            size < static_cast<std::size_t>(h->lengths.output)) {
            h->buffer.assign(buf, buf + size);
            h->buffer.resize(static_cast<std::size_t>(h->lengths.output), 0);
            from = h->buffer.data();
            length = h->buffer.size();
        }

        OVERLAPPED ov{};
        ov.hEvent = h->ioEvent;
        DWORD done = 0;
        if (!WriteFile(h->file, from, static_cast<DWORD>(length), nullptr, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return -1;
            if (WaitForSingleObject(h->ioEvent, kWriteTimeoutMs) != WAIT_OBJECT_0) {
                done = CancelAndCollect(h->file, ov);
                if (done == 0) return -1;
            } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
                return -1;
            }
        } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
            return -1;
        }
        if (done < length) return -1;
        return static_cast<int>(size);
    }

    void Close(Handle* handle) override
    {
        if (Win32Handle* h = Cast(handle)) CloseWin32Handle(h);
    }

private:
    HidLibrary m_hid;
};

}  // namespace

std::shared_ptr<Platform> SystemPlatform()
{
    return std::make_shared<Win32Platform>();
}

AccessFacts SystemAccessFacts()
{
    // No rule to install: access is refused here when another program
    // opened the board without sharing it.
    AccessFacts facts;
    facts.refusedWhileHeld = true;
    return facts;
}

}  // namespace hid
