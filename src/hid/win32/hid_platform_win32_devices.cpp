#include "hid_platform_win32_devices.h"

#include <setupapi.h>

#include <algorithm>

namespace hid::win32 {

namespace {

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

}  // namespace

std::vector<DeviceInfo> ListInterfaces(const GUID& guid)
{
    std::vector<DeviceInfo> list;
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
        if (detailBuffer.size() < needed + sizeof(wchar_t))
            detailBuffer.resize(needed + sizeof(wchar_t));
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

std::optional<ReportLengths> QueryLengths(const CHidLibrary& hid, const std::u16string& path)
{
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return std::nullopt;
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    ReportLengths lengths;
    const bool ok = hid.GetCaps(file, lengths);
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return lengths;
}

}  // namespace hid::win32
